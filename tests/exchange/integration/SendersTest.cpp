// The SMTP and HTTP senders against the local servers: what the SMTP server stores, what
// the bank's script receives, what the proxy sees, and what the protocol log records.

#include "exchange/ExchangeProfile.h"

#include "documents/Charsets.h"
#include "exchange/HttpSender.h"
#include "exchange/ReceivedMail.h"
#include "exchange/SmtpSender.h"
#include "platform/Classes.h"
#include "platform/Paths.h"
#include "platform/SysUtils.h"
#include "support/TestServers.h"

#include <cstdlib>
#include <regex>

#include <gmock/gmock.h>

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

const AnsiString SalaryText = "Список на зачисление";
const AnsiString SalarySubject = "Subject: ZEM_TLB_MESSAGE ABC =?KOI8-R?B?89DJ08/LIM7BINrB3snTzMXOycU=?=";

// A container of every byte value, left positioned at its end.
class TContainer : public TMemoryStream {
public:
    TContainer()
    {
        for (int round = 0; round < 20; ++round)
            for (int value = 0; value < 256; ++value)
                Bytes.push_back(static_cast<char>(value ^ round));
        WriteString(Bytes);
    }
    std::string Bytes;
};

// The header lines of the message that begin with "Subject:".
std::vector<std::string> SubjectLines(const std::string& message)
{
    std::vector<std::string> subjects;
    const std::string header = message.substr(0, message.find("\r\n\r\n") + 2);
    for (size_t start = 0, end; (end = header.find("\r\n", start)) != std::string::npos; start = end + 2)
        if (header.compare(start, 8, "Subject:") == 0)
            subjects.push_back(header.substr(start, end - start));
    return subjects;
}

// The message with its Date line and its boundary replaced by fixed texts.
std::string WithoutDateAndBoundary(const std::string& message)
{
    std::smatch boundary;
    std::string result = message;
    if (std::regex_search(message, boundary, std::regex("boundary=\"([^\"]+)\"")))
        for (size_t at = result.find(boundary[1].str()); at != std::string::npos;
             at = result.find(boundary[1].str(), at))
            result.replace(at, boundary[1].length(), "BOUNDARY");
    return std::regex_replace(result, std::regex("\r\nDate: [^\r]*\r\n"), "\r\nDate: DATE\r\n");
}

// ---- SMTP ----

class SmtpSenderTest : public ::testing::Test {
protected:
    AnsiString SmtpKeys() const { return "SendPort=" + std::to_string(Mail.Ports().Smtp); }
    TTempDir Dir;
    TMailServer Mail{"client", "secret"};
    TContainer Container;
};

TEST_F(SmtpSenderTest, TheDialogueIsLoggedWithoutThePasswordAndARefusalAWrongPasswordOrAClosedPortRaise)
{
    Mail.RefuseRecipient("nobody@example.test");
    Mail.StartSmtp();
    {
        TExchangeProfile profile(Dir, {"SendHost=127.0.0.1", SmtpKeys(), "EMail=client@example.test"});
        SetProtocolLogging(true);
        Sender.Get()->Send(SalaryText, "ABC000001.TLB", &Container);
    }
    const std::string first = ReadBytes(Dir.File("Log/ABC.LOG"));
    EXPECT_THAT(first, HasSubstr("> MAIL FROM:<client@example.test>"));
    EXPECT_THAT(first, HasSubstr("> " + SalarySubject + "\r\n"));
    EXPECT_THAT(first, HasSubstr("AUTH "));
    EXPECT_THAT(first, Not(HasSubstr("secret")));
    EXPECT_THAT(first, Not(HasSubstr(EncodeBase64("secret"))));
    EXPECT_THAT(first, Not(HasSubstr(EncodeBase64(std::string("\0client\0secret", 14)))));
    {
        TExchangeProfile profile(Dir, {"SendHost=127.0.0.1", SmtpKeys(), "BankEMail=nobody@example.test"});
        try {
            Sender.Get()->Send(SalaryText, "ABC000001.TLB", &Container);
            ADD_FAILURE() << "no error";
        } catch (const Exception& error) {
            EXPECT_EQ(error.Message().rfind("Ошибка обмена с сервером: ", 0), 0u) << U8(error.Message());
            EXPECT_THAT(error.Message(),
                        HasSubstr("(ответ сервера: 550 5.1.1 <nobody@example.test>: Recipient address rejected)"));
        }
        EXPECT_EQ(Mail.Messages().size(), 1u);
    }
    {
        TExchangeProfile profile(Dir, {"SendHost=127.0.0.1", SmtpKeys(), "SendPass=wrong"});
        EXPECT_RAISES_PREFIX(Sender.Get()->Send(SalaryText, "ABC000001.TLB", &Container), Exception,
                             "Сервер отказал во входе: неверное имя пользователя или пароль");
    }
    const AnsiString port = IntToStr(Mail.Ports().Smtp);
    Mail.Stop();
    TExchangeProfile profile(Dir, {"SendHost=127.0.0.1", "SendPort=" + port});
    SetProtocolLogging(true);
    EXPECT_RAISES(Sender.Get()->Send(SalaryText, "ABC000001.TLB", &Container), Exception,
                  "Не удалось соединиться с сервером: соединение отвергнуто (сервер 127.0.0.1, порт " + port + ")");
    const std::string all = ReadBytes(Dir.File("Log/ABC.LOG"));
    EXPECT_EQ(all.substr(0, first.size()), first);   // appended
    EXPECT_THAT(all.substr(first.size()), HasSubstr("Failed to connect to 127.0.0.1"));
}

// ---- HTTP ----

class HttpSenderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Bank.AddUser("client", "p&ss=1");
        Bank.Start();
    }
    TTempDir Dir;
    TBankHttpServer Bank;
    TContainer Container;
};

TEST_F(HttpSenderTest, SmtpMailsAndHttpPostsInItsFourFieldsOneMessageWithTheSubjectTheTextAndTheContainer)
{
    TMailServer mail("client", "p&ss=1");
    const int smtpPort = mail.StartSmtp();
    const AnsiString from = "EMail=client@example.test", to = "BankEMail=Bank <bank@example.test>";
    {
        TExchangeProfile profile(Dir, {"SendHost=127.0.0.1", "SendPort=" + std::to_string(smtpPort),
                                       "SendPass=p&ss=1", from, to});
        Sender.Get()->Send(SalaryText, "ABC000001.TLB", &Container);
    }
    const std::vector<TMailFile> mailed = mail.Messages();
    ASSERT_EQ(mailed.size(), 1u) << mail.Logs();
    EXPECT_THAT(SubjectLines(mailed[0].Bytes), ElementsAre(SalarySubject));
    EXPECT_EQ(mailed[0].Envelope.MailFrom, "client@example.test");
    EXPECT_THAT(mailed[0].Envelope.Recipients, ElementsAre("bank@example.test"));
    EXPECT_EQ(mailed[0].Envelope.Login, "client");
    const TReceivedMail received = ReadMail(mailed[0].Bytes);
    ASSERT_EQ(received.Parts.size(), 2u) << mailed[0].Bytes;
    EXPECT_EQ(received.Parts[0].Kind, TMailPart::mpText);
    EXPECT_EQ(received.Parts[0].CharSet, "KOI8-R");
    EXPECT_EQ(Hex(received.Parts[0].Content), Hex(AnsiToKoi8(SalaryText + "\r\n")));
    EXPECT_EQ(received.Parts[1].FileName, "ABC000001.TLB");
    EXPECT_EQ(received.Parts[1].Content, Container.Bytes);   // the whole stream, from wherever it stood
    EXPECT_FALSE(DirectoryExists(Dir.Path() + "Log/"));   // the protocol log is off

    TExchangeProfile profile(Dir, {"SendType=HTTP", "SendHost=" + Bank.Host(), "SendPort=8080", "SendPass=p&ss=1",
                                   from, to});
    Sender.Get()->Send(SalaryText, "ABC000001.TLB", &Container);

    const std::vector<TUpload> uploads = Bank.Uploads();
    ASSERT_EQ(uploads.size(), 1u) << Bank.Logs();
    std::vector<std::string> names;
    for (const TFormPart& part : uploads[0].Parts)
        names.push_back(part.Name);
    EXPECT_THAT(names, ElementsAre("action", "user1", "pwd1", "file"));
    EXPECT_EQ(uploads[0].Field("action"), "put");
    EXPECT_EQ(uploads[0].Field("user1"), "client");
    EXPECT_EQ(uploads[0].Field("pwd1"), "p&ss=1");
    EXPECT_EQ(uploads[0].Part("file")->Header("Content-Type"), "message/rfc822");
    EXPECT_THAT(uploads[0].Part("file")->Headers, Not(HasSubstr("filename")));
    EXPECT_EQ(uploads[0].Part("action")->Header("Content-Type"), "");
    const std::string posted = uploads[0].Field("file");
    EXPECT_EQ(WithoutDateAndBoundary(posted), WithoutDateAndBoundary(mailed[0].Bytes));
    EXPECT_NE(posted, mailed[0].Bytes);   // a fresh boundary for every message
}

TEST_F(HttpSenderTest, AnyStatusButSuccessRaises)
{
    TExchangeProfile profile(Dir, {"SendType=HTTP", "SendHost=" + Bank.Host(), "SendPass=wrong"});
    EXPECT_RAISES(Sender.Get()->Send(SalaryText, "ABC000001.TLB", &Container), Exception,
                  "Сервер ответил ошибкой HTTP 403 Forbidden. Проверьте имя и пароль в профиле.");
    Bank.AddUser("client", "wrong");
    Bank.FailWith("500", "put");
    EXPECT_RAISES(Sender.Get()->Send(SalaryText, "ABC000001.TLB", &Container), Exception,
                  "Сервер ответил ошибкой HTTP 500 Internal Server Error");
    Bank.FailWith("503", "put");
    EXPECT_RAISES(Sender.Get()->Send(SalaryText, "ABC000001.TLB", &Container), Exception,
                  "Сервер ответил ошибкой HTTP 503 Service Unavailable");
    // A redirect is no success either: the container has not reached the bank.
    Bank.FailWith("302 Found", "put");
    EXPECT_RAISES(Sender.Get()->Send(SalaryText, "ABC000001.TLB", &Container), Exception,
                  "Сервер ответил ошибкой HTTP 302 Found");
    EXPECT_TRUE(Bank.Uploads().empty());
}

TEST_F(HttpSenderTest, GoesOnlyThroughTheProfilesProxyWithBasicAuthenticationAndLogsNoCredentials)
{
    TProxyServer proxy(TProxyAccounts{{"proxyuser", "proxy pass"}, {"", ""}});
    proxy.Start();
    auto send = [&](std::vector<AnsiString> keys) {
        keys.insert(keys.end(), {"SendType=HTTP", "SendHost=" + Bank.Host(), "SendPass=p&ss=1"});
        TExchangeProfile profile(Dir, keys);
        SetProtocolLogging(true);
        Sender.Get()->Send(SalaryText, "ABC000001.TLB", &Container);
    };
    const AnsiString proxyHost = "ProxyHost=127.0.0.1", proxyPort = "ProxyPort=" + std::to_string(proxy.Port());
    setenv("no_proxy", "127.0.0.1", 1);   // the profile's proxy holds for every host
    send({proxyHost, proxyPort, "ProxyUser=proxyuser", "ProxyPass=proxy pass"});
    send({proxyHost, proxyPort, "ProxyUser=", "ProxyPass="});   // an empty user authenticates all the same
    unsetenv("no_proxy");
    // A proxy of the environment is not taken.
    const std::string proxyUrl = "http://127.0.0.1:" + std::to_string(proxy.Port());
    setenv("http_proxy", proxyUrl.c_str(), 1);
    send({});
    unsetenv("http_proxy");

    const std::vector<TProxyRequest> requests = proxy.Requests();
    ASSERT_EQ(requests.size(), 2u) << proxy.Logs();
    EXPECT_EQ(requests[0].RequestLine, "POST " + Bank.Url() + " HTTP/1.1");
    EXPECT_EQ(requests[0].Header("Proxy-Authorization"), "Basic " + EncodeBase64("proxyuser:proxy pass"));
    EXPECT_EQ(requests[1].Header("Proxy-Authorization"), "Basic " + EncodeBase64(":"));
    EXPECT_EQ(Bank.Uploads().size(), 3u);

    const std::string log = ReadBytes(Dir.File("Log/ABC.LOG"));
    EXPECT_THAT(log, HasSubstr("> POST " + Bank.Url() + " HTTP/1.1"));
    EXPECT_THAT(log, HasSubstr("> Proxy-Authorization: Basic ****"));
    EXPECT_THAT(log, HasSubstr("> Content-Disposition: form-data; name=\"pwd1\""));
    EXPECT_THAT(log, HasSubstr("< OK"));
    EXPECT_THAT(log, Not(HasSubstr("p&ss=1")));
    EXPECT_THAT(log, Not(HasSubstr(EncodeBase64("proxyuser:proxy pass"))));
}

TEST_F(HttpSenderTest, CredentialsTheProxyRefusesSendNothingAndNameTheProxy)
{
    TProxyServer proxy(TProxyAccounts{{"proxyuser", "proxy pass"}});
    proxy.Start();
    TExchangeProfile profile(Dir, {"SendType=HTTP", "SendHost=" + Bank.Host(), "ProxyHost=127.0.0.1",
                                   "ProxyPort=" + IntToStr(proxy.Port()), "ProxyUser=proxyuser", "ProxyPass=expired"});
    EXPECT_RAISES(Sender.Get()->Send(SalaryText, "ABC000001.TLB", &Container), Exception,
                  "Прокси-сервер 127.0.0.1:" + IntToStr(proxy.Port()) +
                      " не принял имя и пароль (HTTP 407 Proxy Authentication Required). "
                      "Проверьте параметры прокси в профиле");
    EXPECT_EQ(proxy.Requests().size(), 1u) << proxy.Logs();
    EXPECT_TRUE(Bank.Uploads().empty());
}

} // namespace
