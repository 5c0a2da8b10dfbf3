// The SMTP sender and the POP3 and IMAP receivers over TLS, against the local servers
// with a certificate authority made by the test: STARTTLS and TLS from the start carry
// the login and the messages with no trace of the password on the wire, and a
// certificate that does not verify ends the exchange before anything of the login is
// sent. The same for the HTTP sender and receiver with an "https://" host. Relays
// between the client and the servers record what the client sends. Each test runs in a
// network namespace of its own, where the standard TLS ports are free.

#include "exchange/ExchangeProfile.h"
#include "exchange/RecordingRun.h"

#include "exchange/HttpReceiver.h"
#include "exchange/Imap4Receiver.h"
#include "exchange/Pop3Receiver.h"
#include "exchange/SmtpSender.h"
#include "platform/Classes.h"
#include "support/ScriptedDialogs.h"
#include "support/TestServers.h"

#include <cstdlib>

#include <gmock/gmock.h>

namespace {

using ::testing::AnyOf;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

// The client's bytes on the wire hold nothing of the login or the envelope: neither the
// password nor its Base64 forms (AUTH PLAIN, AUTH LOGIN), nor a command that carries them.
void ExpectNothingInClear(const std::string& bytes)
{
    EXPECT_THAT(bytes, AnyOf(HasSubstr("STARTTLS"), HasSubstr("STLS")));
    EXPECT_THAT(bytes, Not(HasSubstr("secret")));
    EXPECT_THAT(bytes, Not(HasSubstr(EncodeBase64("secret"))));
    EXPECT_THAT(bytes, Not(HasSubstr(EncodeBase64(std::string("\0client\0secret", 14)))));
    for (const char* command : {"AUTH", "USER", "PASS", "LOGIN", "MAIL FROM"})
        EXPECT_THAT(bytes, Not(HasSubstr(command)));
}

class TlsTest : public ::testing::Test {
protected:
    TlsTest()
    {
        EnterOwnNetwork();
        setenv("SSL_CERT_FILE", Trusted.Certificate().c_str(), 1);
    }
    ~TlsTest() override { unsetenv("SSL_CERT_FILE"); }

    void StartServers(const TServerCertificate& certificate)
    {
        Mail.UseTls(certificate);
        Mail.Start();
    }

    void Send(int port)
    {
        TExchangeProfile profile(Dir, {"SendHost=127.0.0.1", "SendPort=" + std::to_string(port),
                                       "EMail=client@example.test"});
        TMemoryStream container;
        container.WriteString("container");
        Sender.Get()->Send("Список", "ABC000001.TLB", &container);
    }

    // The bodies that a receiver of the kind hands on.
    template <typename TKind>
    std::vector<std::string> Receive(const char* type, int port)
    {
        TExchangeProfile profile(Dir, {AnsiString("RecvType=") + type, "RecvHost=127.0.0.1",
                                       "RecvPort=" + std::to_string(port), "BankEMail=bank@example.test"});
        TRecordingReceiver<TKind> receiver;
        receiver.Receive();
        return receiver.Log.Bodies();
    }

    // Sends over SMTP, then receives a message of the bank by POP3 and another by IMAP.
    void SendAndReceive(const TMailPorts& ports)
    {
        Send(ports.Smtp);
        ASSERT_EQ(Mail.Messages().size(), 1u) << Mail.Logs();
        EXPECT_EQ(Mail.Messages()[0].Envelope.Login, "client");
        Mail.PutMessage(BankMail("ABC", "Выписка", "first"));
        EXPECT_THAT(Receive<TPop3Receiver>("POP3", ports.Pop3), ElementsAre("first\r\n"));
        Mail.PutMessage(BankMail("ABC", "Выписка", "second"));
        EXPECT_THAT(Receive<TImap4Receiver>("IMAP4", ports.Imap), ElementsAre("second\r\n"));
    }

    // Sends to the bank's script on the host, as the HTTP sender.
    void SendOverHttp(const AnsiString& host)
    {
        TExchangeProfile profile(Dir, {"SendType=HTTP", "SendHost=" + host});
        TMemoryStream container;
        container.WriteString("container");
        Sender.Get()->Send("Список", "ABC000001.TLB", &container);
    }

    // The bodies that the HTTP receiver hands on from the bank's script on the host,
    // with the further profile keys.
    std::vector<std::string> ReceiveOverHttp(const AnsiString& host, std::vector<AnsiString> keys = {})
    {
        keys.insert(keys.end(), {"RecvType=HTTP", "RecvHost=" + host});
        TExchangeProfile profile(Dir, keys);
        TRecordingReceiver<THttpReceiver> receiver;
        receiver.Receive();
        return receiver.Log.Bodies();
    }

    TTestAuthority Trusted;
    TTempDir Dir;
    TMailServer Mail{"client", "secret"};
    TBankHttpServer Bank;
    TScriptedDialogs Dialogs;
};

// The client's bytes on the wire to the bank's script hold nothing of the requests.
void ExpectNothingOfTheRequestsInClear(const std::string& bytes)
{
    EXPECT_THAT(bytes, Not(HasSubstr("secret")));
    for (const char* piece : {"POST", "zem-export", "user1", "client", "action"})
        EXPECT_THAT(bytes, Not(HasSubstr(piece)));
}

TEST_F(TlsTest, StartTlsCarriesTheLoginAndTheMessagesWithNoTraceOfThePasswordOnTheWire)
{
    StartServers(Trusted.Issue("127.0.0.1"));
    TRecordingRelay smtp, pop3, imap;
    SendAndReceive({smtp.Start(Mail.Ports().Smtp), pop3.Start(Mail.Ports().Pop3), imap.Start(Mail.Ports().Imap)});
    for (const TRecordingRelay* relay : {&smtp, &pop3, &imap})
        ExpectNothingInClear(relay->ClientBytes());
}

TEST_F(TlsTest, TheStandardTlsPortsSpeakTlsFromTheStart)
{
    StartServers(Trusted.Issue("127.0.0.1"));
    SendAndReceive({Mail.Ports().Smtps, Mail.Ports().Pop3s, Mail.Ports().Imaps});
}

TEST_F(TlsTest, ACertificateThatDoesNotVerifyEndsTheExchangeBeforeTheLogin)
{
    TTestAuthority unknown;
    StartServers(unknown.Issue("127.0.0.1"));
    Mail.PutMessage(BankMail("ABC", "Выписка", "waiting"));
    TRecordingRelay smtp, pop3, imap;
    const AnsiString unknownIssuer = "Сертификат сервера выдан неизвестным удостоверяющим центром: ";
    EXPECT_RAISES_PREFIX(Send(smtp.Start(Mail.Ports().Smtp)), Exception, unknownIssuer);
    EXPECT_RAISES_PREFIX(Receive<TPop3Receiver>("POP3", pop3.Start(Mail.Ports().Pop3)), Exception, unknownIssuer);
    EXPECT_RAISES_PREFIX(Receive<TImap4Receiver>("IMAP4", imap.Start(Mail.Ports().Imap)), Exception, unknownIssuer);
    for (const TRecordingRelay* relay : {&smtp, &pop3, &imap})
        ExpectNothingInClear(relay->ClientBytes());
    EXPECT_EQ(Mail.Messages().size(), 1u);
}

TEST_F(TlsTest, ACertificateForAnotherNameIsRefused)
{
    StartServers(Trusted.Issue("mail.example.test"));
    Mail.PutMessage(BankMail("ABC", "Выписка", "waiting"));
    const AnsiString otherName = "Сертификат сервера выдан для другого имени сервера: ";
    EXPECT_RAISES_PREFIX(Send(Mail.Ports().Smtps), Exception, otherName);
    EXPECT_RAISES_PREFIX(Receive<TPop3Receiver>("POP3", Mail.Ports().Pop3), Exception, otherName);
    EXPECT_RAISES_PREFIX(Receive<TImap4Receiver>("IMAP4", Mail.Ports().Imaps), Exception, otherName);
    EXPECT_EQ(Mail.Messages().size(), 1u);
}

// The host written with its scheme in any letter case, with or without its port and a
// trailing "/": the sender's put and the receiver's list, get and del go over TLS, to
// the standard port 443 when the host names none.
TEST_F(TlsTest, AnHttpsHostCarriesTheExchangeWithTheBanksScriptWithNoTraceOfTheRequestsOnTheWire)
{
    Bank.UseTls(Trusted.Issue("127.0.0.1"));
    Bank.AddUser("client", "secret");
    const int port = Bank.Start();
    TRecordingRelay sendRelay, receiveRelay;
    SendOverHttp("HTTPS://127.0.0.1:" + IntToStr(sendRelay.Start(port)) + "/");
    ASSERT_EQ(Bank.Uploads().size(), 1u) << Bank.Logs();
    EXPECT_EQ(Bank.Uploads()[0].Field("pwd1"), "secret");
    Bank.AddMessage("client", "ABC", BankMail("ABC", "Выписка", "first"));
    Bank.AddMessage("client", "ABC", BankMail("ABC", "Выписка", "second"));
    EXPECT_THAT(ReceiveOverHttp("https://127.0.0.1:" + IntToStr(receiveRelay.Start(port))),
                ElementsAre("first\r\n", "second\r\n"));
    Bank.AddMessage("client", "ABC", BankMail("ABC", "Выписка", "third"));
    EXPECT_THAT(ReceiveOverHttp("Https://127.0.0.1"), ElementsAre("third\r\n"));
    EXPECT_THAT(Bank.Actions(), ElementsAre("put  200", "list  200", "get 1 200", "get 2 200", "del 1 200",
                                           "del 2 200", "list  200", "get 3 200", "del 3 200"));
    for (const TRecordingRelay* relay : {&sendRelay, &receiveRelay}) {
        EXPECT_FALSE(relay->ClientBytes().empty());
        ExpectNothingOfTheRequestsInClear(relay->ClientBytes());
    }
    // A refusal's status keeps its reason over TLS too.
    EXPECT_RAISES(ReceiveOverHttp("https://127.0.0.1", {"RecvPass=wrong"}), Exception,
                  "Сервер ответил ошибкой HTTP 403 Forbidden. Проверьте имя и пароль в профиле.");
}

// The script sees no request: the name and the password never left the client.
TEST_F(TlsTest, ACertificateOfAnotherAuthorityEndsTheHttpsExchangeBeforeTheRequest)
{
    TTestAuthority unknown;
    Bank.UseTls(unknown.Issue("127.0.0.1"));
    Bank.AddUser("client", "secret");
    const int port = Bank.Start();
    Bank.AddMessage("client", "ABC", BankMail("ABC", "Выписка", "waiting"));
    TRecordingRelay relay;
    const AnsiString relayPort = IntToStr(relay.Start(port));
    const AnsiString unknownIssuer = "Сертификат сервера выдан неизвестным удостоверяющим центром: ";
    EXPECT_RAISES(SendOverHttp("https://127.0.0.1:" + relayPort), Exception,
                  unknownIssuer + "сервер 127.0.0.1, порт " + relayPort);
    EXPECT_RAISES(ReceiveOverHttp("https://127.0.0.1"), Exception, unknownIssuer + "сервер 127.0.0.1, порт 443");
    EXPECT_THAT(Bank.Requests(), IsEmpty()) << Bank.Logs();
    EXPECT_THAT(Bank.MessageIds("client", "ABC"), ElementsAre("1"));
    ExpectNothingOfTheRequestsInClear(relay.ClientBytes());
}

// A tunnel through the profile's proxy carries TLS to the bank's server: the server's
// certificate is checked as without a proxy, a failure of TLS names the server, not the
// proxy, and credentials that the proxy refuses are named as for a plain request.
TEST_F(TlsTest, AnHttpsHostIsReachedThroughATunnelOfTheProfilesProxy)
{
    TProxyServer proxy(TProxyAccounts{{"office", "proxy pass"}});
    proxy.Start();
    auto receive = [&](int port, const AnsiString& proxyPassword) {
        return ReceiveOverHttp("https://127.0.0.1:" + IntToStr(port),
                               {"ProxyHost=127.0.0.1", "ProxyPort=" + IntToStr(proxy.Port()), "ProxyUser=office",
                                "ProxyPass=" + proxyPassword});
    };
    Bank.AddUser("client", "secret");
    Bank.AddMessage("client", "ABC", BankMail("ABC", "Выписка", "ours"));
    TTestAuthority unknown;
    Bank.UseTls(unknown.Issue("127.0.0.1"));
    int port = Bank.Start();
    EXPECT_RAISES(receive(port, "proxy pass"), Exception,
                  "Сертификат сервера выдан неизвестным удостоверяющим центром: сервер 127.0.0.1, порт " +
                      IntToStr(port));
    TBankHttpServer plain;
    const int plainPort = plain.Start();
    EXPECT_RAISES(receive(plainPort, "proxy pass"), Exception,
                  "Не удалось установить защищенное соединение с сервером: согласование TLS не удалось (сервер "
                  "127.0.0.1, порт " + IntToStr(plainPort) + ")");
    Bank.Stop();
    Bank.UseTls(Trusted.Issue("127.0.0.1"));
    port = Bank.Start();
    EXPECT_RAISES(receive(port, "expired"), Exception,
                  "Прокси-сервер 127.0.0.1:" + IntToStr(proxy.Port()) +
                      " не принял имя и пароль (HTTP 407 Proxy Authentication Required). "
                      "Проверьте параметры прокси в профиле");
    EXPECT_THAT(Bank.Requests(), IsEmpty()) << Bank.Logs();

    EXPECT_THAT(receive(port, "proxy pass"), ElementsAre("ours\r\n"));
    EXPECT_THAT(Bank.Actions(), ElementsAre("list  200", "get 1 200", "del 1 200"));
    const std::vector<TProxyRequest> requests = proxy.Requests();
    ASSERT_EQ(requests.size(), 4u) << proxy.Logs();
    EXPECT_EQ(requests[3].RequestLine, "CONNECT 127.0.0.1:" + std::to_string(port) + " HTTP/1.1");
    EXPECT_EQ(requests[3].Header("Proxy-Authorization"), "Basic " + EncodeBase64("office:proxy pass"));
}

} // namespace
