// The SMTP sender and the POP3 and IMAP receivers over TLS, against the local servers
// with a certificate authority made by the test: STARTTLS and TLS from the start carry
// the login and the messages with no trace of the password on the wire, and a
// certificate that does not verify ends the exchange before anything of the login is
// sent. Relays between the client and the servers record what the client sends. Each
// test runs in a network namespace of its own, where the standard TLS ports are free.

#include "exchange/ExchangeProfile.h"
#include "exchange/RecordingRun.h"

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

    TTestAuthority Trusted;
    TTempDir Dir;
    TMailServer Mail{"client", "secret"};
    TScriptedDialogs Dialogs;
};

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

} // namespace
