// The POP3, IMAP4 and HTTP receivers against dovecot and the bank's script stand-in, with
// a recording run in place of the message store: which messages are fetched and handed
// on, which are deleted on the server and when, and what a failure leaves behind.

#include "exchange/ExchangeProfile.h"
#include "exchange/RecordingRun.h"

#include "exchange/HttpReceiver.h"
#include "exchange/Imap4Receiver.h"
#include "exchange/Pop3Receiver.h"
#include "platform/Paths.h"
#include "support/ScriptedDialogs.h"
#include "support/TestServers.h"

#include <gmock/gmock.h>

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

const char* const Skipped = ".\nСообщение пропущено.";

// The base names of the messages left in the mailbox; with marked, only those flagged
// \Deleted, else only those that are not.
std::vector<std::string> Names(const TMailServer& mail, bool marked = false)
{
    std::vector<std::string> names;
    for (const TMailFile& message : mail.Messages())
        if ((message.Flags.find('T') != std::string::npos) == marked)
            names.push_back(message.Name);
    return names;
}

// ---- POP3 and IMAP over one mailbox ----

class MailReceiverTest : public ::testing::Test {
protected:
    void SetUp() override { Mail.StartDovecot(); }

    std::unique_ptr<TExchangeProfile> Profile(const char* type, int port, const AnsiString& bankEMail = "bank@example.test")
    {
        return std::make_unique<TExchangeProfile>(
            Dir, std::initializer_list<AnsiString>{AnsiString("RecvType=") + type, "RecvHost=127.0.0.1",
                                                   "RecvPort=" + std::to_string(port), "BankEMail=" + bankEMail});
    }

    // The bank's message for ABC, one for another client, one from someone else, one in
    // other letter cases whose processing fails, and one more for ABC.
    void PutMixedMailbox()
    {
        Ours = Mail.PutMessage(BankMail("ABC", "Выписка", "ours"));
        Theirs = Mail.PutMessage(BankMail("XYZ", "Выписка", "theirs"));
        Foreign = Mail.PutMessage(BankMail("ABC", "Выписка", "foreign", "someone@example.test"));
        Failing = Mail.PutMessage(BankMail("ABC", "сбой", "failing", "BANK@Example.TEST"));
        Second = Mail.PutMessage(BankMail("abc", "Ответ", "second"));
    }

    // Another mail client removes the message once the run has processed the body.
    void RemoveWhenProcessed(TRunLog& log, const std::string& body, const std::string& message)
    {
        log.OnProcess = [this, body, message](const TReceivedMail& mail) {
            if (mail.Body == body)
                Mail.RemoveMessage(message);
        };
    }

    TTempDir Dir;
    TMailServer Mail{"client", "secret"};
    TScriptedDialogs Dialogs;
    std::string Ours, Theirs, Foreign, Failing, Second;
};

TEST_F(MailReceiverTest, Pop3HandsOnTheBanksMessagesAndDeletesTheRecordedOnesOnlyAfterTheSave)
{
    PutMixedMailbox();
    const auto profile = Profile("POP3", Mail.Ports().Pop3);
    {
        TRecordingReceiver<TPop3Receiver> failing;
        failing.Log.FailSave = true;
        Dialogs.ExpectMessage("Сбой обработки" + AnsiString(Skipped));
        EXPECT_RAISES(failing.Receive(), Exception, "Не удалось сохранить");
        EXPECT_EQ(Names(Mail).size(), 5u);
        EXPECT_EQ(failing.BadMessages, 1);   // the counters as far as the run got
    }
    TRecordingReceiver<TPop3Receiver> receiver;
    receiver.Log.OnSave = [&] { EXPECT_EQ(Mail.Messages().size(), 5u); };
    Dialogs.ExpectMessage("Сбой обработки" + AnsiString(Skipped), MessageBoxAnswer::Ok, 0x30);

    receiver.Receive();

    EXPECT_THAT(receiver.Log.Bodies(), ElementsAre("ours\r\n", "theirs\r\n", "failing\r\n", "second\r\n"));
    EXPECT_EQ(receiver.Log.Saves, 1);
    EXPECT_EQ(receiver.BadMessages, 1);
    EXPECT_THAT(Names(Mail), ElementsAre(Theirs, Foreign, Failing)) << Mail.Logs();
}

TEST_F(MailReceiverTest, Pop3AddressesMessagesByTheirIdentifiersAcrossReconnectsAndLogsNoPassword)
{
    const std::string first = Mail.PutMessage(BankMail("ABC", "1", "first"));
    const std::string gone = Mail.PutMessage(BankMail("ABC", "2", "gone"));
    const std::string kept = Mail.PutMessage(BankMail("XYZ", "3", "kept"));
    Mail.PutMessage(BankMail("ABC", "4", "fourth"));
    Mail.PutMessage(BankMail("ABC", "5", "fifth"));
    const auto profile = Profile("POP3", Mail.Ports().Pop3);
    SetProtocolLogging(true);
    TRecordingReceiver<TPop3Receiver> receiver;
    // Another client removes the second message while the first is processed: the server
    // refuses it, libcurl closes that connection, and in the next one the later messages
    // have moved up by one number.
    RemoveWhenProcessed(receiver.Log, "first\r\n", gone);
    // While the store is saved, another client removes the first message and the server
    // drops the connection: it refuses the first deletion, and in the next connection
    // the later messages have moved up by one number again.
    receiver.Log.OnSave = [&] {
        Mail.RemoveMessage(first);
        Mail.KickUser();
    };
    Dialogs.ExpectMessage("Ошибка приема заголовка почтового сообщения" + AnsiString(Skipped));
    Dialogs.ExpectMessage("Ошибка удаления почтового сообщения" + AnsiString(Skipped));
    receiver.Receive();
    EXPECT_THAT(receiver.Log.Bodies(), ElementsAre("first\r\n", "kept\r\n", "fourth\r\n", "fifth\r\n")) << Mail.Logs();
    EXPECT_THAT(Names(Mail), ElementsAre(kept));

    const std::string log = ReadBytes(Dir.File("Log/ABC.LOG"));
    EXPECT_THAT(log, HasSubstr("> UIDL"));
    EXPECT_THAT(log, HasSubstr("> DELE "));
    EXPECT_THAT(log, Not(HasSubstr("secret")));
    EXPECT_THAT(log, Not(HasSubstr("AGNsaWVudABzZWNyZXQ")));   // nor in Base64 ("\0client\0secret")
}

// While the store is saved, another client removes the first message and the connection
// breaks without a word: the deletion goes to a new connection, where the first number
// names the next message. That mark is undone, and the message stays.
TEST_F(MailReceiverTest, Pop3UndoesADeletionThatANewConnectionAppliedToAnotherMessage)
{
    const std::string first = Mail.PutMessage(BankMail("ABC", "1", "first"));
    const std::string kept = Mail.PutMessage(BankMail("XYZ", "2", "kept"));
    Mail.PutMessage(BankMail("ABC", "3", "third"));
    const auto profile = Profile("POP3", Mail.Ports().Pop3);
    TRecordingReceiver<TPop3Receiver> receiver;
    receiver.Log.OnSave = [&] {
        Mail.RemoveMessage(first);
        Mail.CutUser();
    };
    receiver.Receive();
    EXPECT_THAT(receiver.Log.Bodies(), ElementsAre("first\r\n", "kept\r\n", "third\r\n"));
    EXPECT_EQ(receiver.BadMessages, 0);
    EXPECT_THAT(Names(Mail), ElementsAre(kept)) << Mail.Logs();
}

TEST_F(MailReceiverTest, Pop3WithoutUidlNamesTheMessagesByTheirNumbersInTheOneConnection)
{
    PutMixedMailbox();
    const auto profile = Profile("POP3", Mail.RefuseCommand("pop3", "UIDL"));
    TRecordingReceiver<TPop3Receiver> receiver;
    Dialogs.ExpectMessage("Сбой обработки" + AnsiString(Skipped), MessageBoxAnswer::Ok, 0x30);
    receiver.Receive();
    EXPECT_THAT(receiver.Log.Bodies(), ElementsAre("ours\r\n", "theirs\r\n", "failing\r\n", "second\r\n"));
    EXPECT_THAT(Names(Mail), ElementsAre(Theirs, Foreign, Failing)) << Mail.Logs();
}

TEST_F(MailReceiverTest, Pop3WithoutUidlLeavesEveryMessageAloneOnceTheConnectionIsGone)
{
    const std::string first = Mail.PutMessage(BankMail("ABC", "1", "first"));
    const std::string gone = Mail.PutMessage(BankMail("ABC", "2", "gone"));
    const std::string third = Mail.PutMessage(BankMail("ABC", "3", "third"));
    const auto profile = Profile("POP3", Mail.RefuseCommand("pop3", "UIDL"));
    TRecordingReceiver<TPop3Receiver> receiver;
    // The refusal of the vanished message ends the connection whose numbers held; in a
    // new one they may name other messages, so neither the third message nor the
    // deletion of the first is tried.
    RemoveWhenProcessed(receiver.Log, "first\r\n", gone);
    const AnsiString lost = "Соединение с почтовым сервером прервано, а сервер не поддерживает команду UIDL" + AnsiString(Skipped);
    Dialogs.ExpectMessage("Ошибка приема заголовка почтового сообщения" + AnsiString(Skipped));
    Dialogs.ExpectMessage(lost);
    Dialogs.ExpectMessage(lost);
    receiver.Receive();
    EXPECT_THAT(receiver.Log.Bodies(), ElementsAre("first\r\n"));
    EXPECT_THAT(Names(Mail), ElementsAre(first, third)) << Mail.Logs();
}

TEST_F(MailReceiverTest, Pop3EmptyMailboxAndRefusedLogins)
{
    {
        const auto profile = Profile("POP3", Mail.Ports().Pop3);
        TRecordingReceiver<TPop3Receiver> receiver;
        receiver.Receive();
        EXPECT_THAT(receiver.Log.Processed, IsEmpty());
        EXPECT_EQ(receiver.Log.Saves, 1);
        EXPECT_EQ(receiver.SummaryText(), "");
    }
    TExchangeProfile wrong(Dir, {"RecvHost=127.0.0.1", "RecvPort=" + std::to_string(Mail.Ports().Pop3), "RecvPass=wrong"});
    TRecordingReceiver<TPop3Receiver> receiver;
    EXPECT_RAISES_PREFIX(receiver.Receive(), Exception, "Сервер отказал во входе");
    EXPECT_EQ(receiver.Log.Saves, 0);
}

// A failed save leaves every message unmarked: ReceiveEndToEndTest.
TEST_F(MailReceiverTest, ImapHandsOnTheMessagesOfEveryBankAddressSkipsAVanishedOneAndExpungesAfterTheSave)
{
    PutMixedMailbox();
    // The server's FROM matches a part of the sender's address: neither bank address is
    // part of the other, so each one's messages are found by its own criterion only.
    const std::string gone = Mail.PutMessage(BankMail("ABC", "2", "gone", "clearing@example.test"));
    Mail.PutMessage(BankMail("ABC", "3", "third", "clearing@example.test"));
    const auto profile = Profile("IMAP4", Mail.Ports().Imap, "Bank <bank@example.test>, clearing@example.test");
    TRecordingReceiver<TImap4Receiver> receiver;
    RemoveWhenProcessed(receiver.Log, "ours\r\n", gone);
    receiver.Log.OnSave = [&] {
        EXPECT_THAT(Names(Mail, true), IsEmpty());
        EXPECT_EQ(Mail.Messages().size(), 6u);
    };
    Dialogs.ExpectMessage("Сбой обработки" + AnsiString(Skipped), MessageBoxAnswer::Ok, 0x30)
        .ExpectMessage("Ошибка приема почтового сообщения" + AnsiString(Skipped));

    receiver.Receive();

    // The server's search leaves the other sender's message alone.
    EXPECT_THAT(receiver.Log.Bodies(),
                ElementsAre("ours\r\n", "theirs\r\n", "failing\r\n", "second\r\n", "third\r\n"))
        << Mail.Logs();
    EXPECT_EQ(receiver.BadMessages, 2);
    EXPECT_THAT(Names(Mail), ElementsAre(Theirs, Foreign, Failing)) << Mail.Logs();
    EXPECT_THAT(Names(Mail, true), IsEmpty());
}

TEST_F(MailReceiverTest, ImapIgnoresARefusedCloseAndNeverFetchesAMarkedMessageAgain)
{
    // Marked by a run whose CLOSE did not go through; the next run marks the second.
    Mail.PutMessage(BankMail("ABC", "1", "marked"), "T");
    Mail.PutMessage(BankMail("ABC", "2", "second"));
    {
        const auto profile = Profile("IMAP4", Mail.RefuseCommand("imap", "CLOSE"));
        TRecordingReceiver<TImap4Receiver> receiver;
        receiver.Receive();
        EXPECT_THAT(receiver.Log.Bodies(), ElementsAre("second\r\n"));
        EXPECT_EQ(Names(Mail, true).size(), 2u) << Mail.Logs();
    }
    const auto profile = Profile("IMAP4", Mail.Ports().Imap);
    TRecordingReceiver<TImap4Receiver> receiver;
    receiver.Receive();
    EXPECT_THAT(receiver.Log.Processed, IsEmpty());
    EXPECT_TRUE(Mail.Messages().empty());
}

TEST_F(MailReceiverTest, ImapRemovesSeveralHundredMessagesInOneRun)
{
    for (int i = 0; i < 300; ++i)
        Mail.PutMessage(BankMail("ABC", "Выписка", std::to_string(i)));
    const auto profile = Profile("IMAP4", Mail.Ports().Imap);
    TRecordingReceiver<TImap4Receiver> receiver;
    receiver.Receive();
    EXPECT_EQ(receiver.Log.Processed.size(), 300u);
    EXPECT_TRUE(Mail.Messages().empty());
}

// ---- HTTP ----

class HttpReceiverTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Bank.AddUser("client", "p&ss=1 %");
        Bank.Start();
    }
    std::unique_ptr<TExchangeProfile> Profile()
    {
        return std::make_unique<TExchangeProfile>(
            Dir, std::initializer_list<AnsiString>{"RecvType=HTTP", "RecvHost=" + Bank.Host(), "RecvPort=8080",
                                                   "RecvPass=p&ss=1 %"});
    }
    std::vector<std::string> Actions(size_t first = 0) const { return Bank.Actions(first); }

    TTempDir Dir;
    TBankHttpServer Bank;
    TScriptedDialogs Dialogs;
};

TEST_F(HttpReceiverTest, ListsGetsAndDeletesTheRecordedMessagesOnlyAfterTheSave)
{
    Bank.AddMessage("client", "ABC", BankMail("ABC", "Выписка", "ours"));
    Bank.AddMessage("client", "ABC", BankMail("XYZ", "Выписка", "theirs"));
    Bank.AddMessage("client", "ABC", BankMail("ABC", "сбой", "failing"));
    Bank.AddMessage("client", "ABC", BankMail("ABC", "Ответ", "second"));
    Bank.AddMessage("client", "XYZ", BankMail("XYZ", "Выписка", "other prefix"));
    const auto profile = Profile();
    const std::vector<std::string> fetched = {"list  200", "get 1 200", "get 2 200", "get 3 200", "get 4 200"};
    {
        TRecordingReceiver<THttpReceiver> failing;
        failing.Log.FailSave = true;
        Dialogs.ExpectMessage("Сбой обработки" + AnsiString(Skipped));
        EXPECT_RAISES(failing.Receive(), Exception, "Не удалось сохранить");
        EXPECT_EQ(Actions(), fetched);
    }
    TRecordingReceiver<THttpReceiver> receiver;
    receiver.Log.OnSave = [&] { EXPECT_EQ(Bank.MessageIds("client", "ABC").size(), 4u); };
    Dialogs.ExpectMessage("Сбой обработки" + AnsiString(Skipped));
    // The reply to "del" is not looked at, however long.
    Bank.ReplyWith(std::string(LongestListReply * 100, 'x'), "del");

    receiver.Receive();

    EXPECT_THAT(receiver.Log.Bodies(), ElementsAre("ours\r\n", "theirs\r\n", "failing\r\n", "second\r\n"));
    std::vector<std::string> actions = fetched;
    actions.insert(actions.end(), {"del 1 200", "del 4 200"});
    EXPECT_EQ(Actions(fetched.size()), actions);
    EXPECT_THAT(Bank.MessageIds("client", "ABC"), ElementsAre("2", "3"));
    // The password with "&", "=", a blank and "%" arrived whole, and "del" names no prefix.
    for (const TBankRequest& request : Bank.Requests())
        EXPECT_EQ(request.Field("pwd1"), "p&ss=1 %");
    EXPECT_FALSE(Bank.Requests().back().Has("prefix"));
    EXPECT_EQ(Bank.Requests().front().Field("prefix"), "ABC");
}

// Every error status comes with a page longer than a list may be: the status is told.
TEST_F(HttpReceiverTest, AFailedListEndsTheReceiveAndAFailedGetOrDelSkipsTheMessage)
{
    Bank.AddMessage("client", "ABC", BankMail("ABC", "Выписка", "ours"));
    const auto profile = Profile();
    {
        Bank.FailWith("503", "list");
        TRecordingReceiver<THttpReceiver> unavailable;
        EXPECT_RAISES(unavailable.Receive(), Exception, "Сервер ответил ошибкой HTTP 503 Service Unavailable");
        Bank.FailWith("500 Broken", "list");
        TRecordingReceiver<THttpReceiver> receiver;
        EXPECT_RAISES(receiver.Receive(), Exception, "Сервер ответил ошибкой HTTP 500 Internal Server Error");
        EXPECT_EQ(receiver.Log.Saves, 0);
        Bank.ClearFailures();
    }
    {
        Bank.FailWith("503", "get");
        TRecordingReceiver<THttpReceiver> receiver;
        Dialogs.ExpectMessage("Сервер ответил ошибкой HTTP 503 Service Unavailable" + AnsiString(Skipped));
        receiver.Receive();
        EXPECT_EQ(receiver.BadMessages, 1);
        EXPECT_EQ(receiver.Log.Saves, 1);
        Bank.ClearFailures();
    }
    Bank.FailWith("500", "del");
    TRecordingReceiver<THttpReceiver> receiver;
    Dialogs.ExpectMessage("Сервер ответил ошибкой HTTP 500 Internal Server Error" + AnsiString(Skipped));
    receiver.Receive();
    EXPECT_EQ(receiver.Log.Processed.size(), 1u);
    EXPECT_EQ(receiver.BadMessages, 1);
    EXPECT_THAT(Bank.MessageIds("client", "ABC"), ElementsAre("1"));
}

// The bank's server refuses the name and password (403) or asks for a login (401): the
// receive ends before any message is fetched, and the message says what to check.
TEST_F(HttpReceiverTest, ARefusedLoginEndsTheReceiveAndSaysToCheckTheNameAndPassword)
{
    Bank.AddMessage("client", "ABC", BankMail("ABC", "Выписка", "ours"));
    {
        TExchangeProfile profile(Dir, {"RecvType=HTTP", "RecvHost=" + Bank.Host(), "RecvPass=wrong"});
        TRecordingReceiver<THttpReceiver> receiver;
        EXPECT_RAISES(receiver.Receive(), Exception,
                      "Сервер ответил ошибкой HTTP 403 Forbidden. Проверьте имя и пароль в профиле.");
        EXPECT_EQ(receiver.Log.Saves, 0);
    }
    Bank.FailWith("401", "list");
    const auto profile = Profile();
    TRecordingReceiver<THttpReceiver> receiver;
    EXPECT_RAISES(receiver.Receive(), Exception,
                  "Сервер ответил ошибкой HTTP 401 Unauthorized. Проверьте имя и пароль в профиле.");
    EXPECT_THAT(receiver.Log.Processed, IsEmpty());
    EXPECT_THAT(Actions(), ElementsAre("list  403", "list  401"));
    EXPECT_THAT(Bank.MessageIds("client", "ABC"), ElementsAre("1"));
}

// All three requests go through the profile's proxy with its credentials. Credentials the proxy refuses end the receive with a message that names the
// proxy; nothing is fetched, deleted or saved.
TEST_F(HttpReceiverTest, GoesThroughTheProfilesProxyWhichMayRefuseItsCredentials)
{
    TProxyServer proxy(TProxyAccounts{{"office", "proxy pass"}});
    proxy.Start();
    Bank.AddMessage("client", "ABC", BankMail("ABC", "Выписка", "ours"));
    auto profileWith = [&](const AnsiString& proxyPassword) {
        return std::make_unique<TExchangeProfile>(
            Dir, std::initializer_list<AnsiString>{"RecvType=HTTP", "RecvHost=" + Bank.Host(), "RecvPass=p&ss=1 %",
                                                   "ProxyHost=127.0.0.1", "ProxyPort=" + IntToStr(proxy.Port()),
                                                   "ProxyUser=office", "ProxyPass=" + proxyPassword});
    };
    {
        const auto profile = profileWith("expired");
        TRecordingReceiver<THttpReceiver> receiver;
        EXPECT_RAISES(receiver.Receive(), Exception,
                      "Прокси-сервер 127.0.0.1:" + IntToStr(proxy.Port()) +
                          " не принял имя и пароль (HTTP 407 Proxy Authentication Required). "
                          "Проверьте параметры прокси в профиле");
        EXPECT_EQ(receiver.Log.Saves, 0);
        EXPECT_TRUE(Bank.Requests().empty());
    }
    const auto profile = profileWith("proxy pass");
    TRecordingReceiver<THttpReceiver> receiver;
    receiver.Receive();
    EXPECT_THAT(receiver.Log.Bodies(), ElementsAre("ours\r\n"));
    EXPECT_THAT(Actions(), ElementsAre("list  200", "get 1 200", "del 1 200"));
    const std::vector<TProxyRequest> requests = proxy.Requests();
    ASSERT_EQ(requests.size(), 4u) << proxy.Logs();
    EXPECT_EQ(requests[3].Header("Proxy-Authorization"), "Basic " + EncodeBase64("office:proxy pass"));
}

TEST_F(HttpReceiverTest, AListOver2048CharactersIsRefusedBeforeAnyGet)
{
    // "<HTML><BODY>" + identifier + "<BR>" for each + "</BODY></HTML>": 30 characters
    // and 104 for each identifier of 100, so 19 of 100 and one of 38 make 2048. The
    // messages are for another client and stay.
    for (int i = 0; i < 19; ++i)
        Bank.AddMessage("client", "ABC", BankMail("XYZ", "Выписка", "theirs"), std::string(99, 'a' + i) + "1");
    Bank.AddMessage("client", "ABC", BankMail("XYZ", "Выписка", "theirs"), std::string(38, 'z'));
    const auto profile = Profile();
    {
        TRecordingReceiver<THttpReceiver> receiver;
        receiver.Receive();
        EXPECT_EQ(receiver.Log.Processed.size(), 20u);
    }
    Bank.AddMessage("client", "ABC", BankMail("ABC", "Выписка", "ours"), "1");
    TRecordingReceiver<THttpReceiver> receiver;
    EXPECT_RAISES(receiver.Receive(), Exception, "Слишком длинный ответ");
    EXPECT_THAT(receiver.Log.Processed, IsEmpty());
    EXPECT_EQ(Bank.Requests().back().Field("action"), "list");
}

TEST_F(HttpReceiverTest, AMessageOver64MegabytesIsSkipped)
{
    std::string huge = BankMail("ABC", "Выписка", "");
    huge.resize(LongestHttpMessage + 1, 'x');
    Bank.AddMessage("client", "ABC", huge);
    Bank.AddMessage("client", "ABC", BankMail("ABC", "Выписка", "small"));
    const auto profile = Profile();
    TRecordingReceiver<THttpReceiver> receiver;
    Dialogs.ExpectMessage("Слишком длинный ответ" + AnsiString(Skipped));
    receiver.Receive();
    EXPECT_THAT(receiver.Log.Bodies(), ElementsAre("small\r\n"));
    EXPECT_THAT(Bank.MessageIds("client", "ABC"), ElementsAre("1"));
}

} // namespace
