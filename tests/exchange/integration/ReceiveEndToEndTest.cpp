// A receive from end to end: the bank seals a container with the real gpg and mails it to
// the client's mailbox (our SMTP sender, in a profile of the bank's side) or leaves it at
// its exchange script; the client's receiver of the profile fetches it, the container is
// opened and dispatched into the stores, and the message is gone from the server.

#include "../BankContainers.h"
#include "../GpgHome.h"
#include "exchange/ExchangeProfile.h"
#include "exchange/RecordingRun.h"

#include "documents/Internals.h"
#include "exchange/MailMessage.h"
#include "exchange/Transport.h"
#include "platform/Paths.h"
#include "support/ScriptedDialogs.h"
#include "support/TestServers.h"

#include <gmock/gmock.h>

#include <filesystem>
#include <memory>

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const AnsiString SalTitle = EtalonTypeInfos[0].Title;
const AnsiString ReplyTitle = ReplyDocTypes[0].Title;

class ReceiveEndToEndTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        FKeys = std::make_unique<TGpgParties>();
    }
    static void TearDownTestSuite()
    {
        FKeys.reset();
    }

    // The members zipped, signed by the bank and encrypted for the client.
    static std::string Sealed(const std::vector<std::string>& members)
    {
        return FKeys->Bank.SealFor(FKeys->Client, BankArchive(members));
    }

    // The bank's side mails the container with the subject for the prefix, from the address.
    void MailFromBank(const AnsiString& prefix, const AnsiString& fileName, const std::string& container,
                      const AnsiString& from = "bank@example.test")
    {
        TTempDir bankSide;
        TExchangeProfile bank(bankSide, {"Prefix=" + prefix, "SendHost=127.0.0.1",
                                         "SendPort=" + std::to_string(Mail.Ports().Smtp), "EMail=" + from,
                                         "BankEMail=client@example.test"});
        TMemoryStream data;
        data.WriteString(container);
        Sender.Get()->Send("Выписка", fileName, &data);
    }

    // The bank's message of the container as the server keeps it: the text, the date (none
    // when empty) and the boundary as given, so that two messages may differ in their
    // container alone.
    static std::string BankMessage(const AnsiString& text, const AnsiString& date, const std::string& container)
    {
        const TMailContent content{"bank@example.test", "client@example.test", "ABC", text, "ABC000001.TLB", container};
        std::string mail = ComposeMail(content, TMailFrame{date, "batch"});
        if (date.empty())
            mail.erase(mail.find("Date: \r\n"), 8);
        return mail;
    }

    // The client's profile with these keys first.
    std::unique_ptr<TExchangeProfile> Client(std::initializer_list<AnsiString> keys)
    {
        std::vector<AnsiString> lines(keys);
        lines.insert(lines.end(), {"BankEMail=bank@example.test", "PgpKeyPath=" + FKeys->Client.Path,
                                   "BankPgpKey=" + FKeys->Bank.KeyId()});
        return std::make_unique<TExchangeProfile>(Dir, lines);
    }

    // The rows of the message store: title, report and failed lines.
    std::vector<std::string> MessageRows() const
    {
        TMessages store;
        store.LoadFromFile(Dir.File("Cache/ABC.MESSAGES"));
        std::vector<std::string> rows;
        for (store.First(); !store.Eof(); store.Next())
            rows.push_back(store.CurRecord()->Get(TMessages::TitleField) + "|" +
                           store.CurRecord()->Get(TMessages::ReportField) + "|" +
                           store.CurRecord()->Get(TMessages::FailedField));
        return rows;
    }

    TTempDir Dir;
    TMailServer Mail{"client", "secret"};
    TScriptedDialogs Dialogs;
    static inline std::unique_ptr<TGpgParties> FKeys;
};

TEST_F(ReceiveEndToEndTest, Pop3DispatchesTheBanksContainerAndLeavesOtherMessages)
{
    Mail.Start();
    MailFromBank("ABC", "ABC000001.TLB",
                 Sealed({EtalonMember("ABC", "SAL", "40817810000000000001;Иванов\r\n"),
                         ReplyMember("ABC000007N.TXT", "40817810000000000002;Петров\r\n")}));
    MailFromBank("XYZ", "XYZ000001.TLB", Sealed({EtalonMember("XYZ", "SAL", "theirs")}));
    MailFromBank("ABC", "ABC000002.TLB", Sealed({EtalonMember("ABC", "NNS", "not from the bank")}),
                 "someone@example.test");
    ASSERT_EQ(Mail.Messages().size(), 3u) << Mail.Logs();
    const std::string theirs = Mail.Messages()[1].Name;
    const std::string foreign = Mail.Messages()[2].Name;

    const auto profile = Client({"RecvType=POP3", "RecvHost=127.0.0.1", "RecvPort=" + std::to_string(Mail.Ports().Pop3)});
    Receiver.Get()->Receive();

    EXPECT_ANSI_EQ(Receiver.Get()->SummaryText(), "Принято сообщений: 1\nЭталонных списков: 1\nСписков добавленных: 1\n");
    EXPECT_THAT(Rows<TEtalons>(Dir.File("Cache/ABC.ETALONS")),
                ElementsAre("40817810000000000001;Иванов\r\n|SAL|01/03/2024"));
    EXPECT_THAT(Rows<TReplyFiles>(Dir.File("Cache/ABC.NEWCLIREPLY")),
                ElementsAre("40817810000000000002;Петров\r\n|ABC000007N.TXT"));
    EXPECT_THAT(MessageRows(), ElementsAre(std::string("Выписка|") + SalTitle + "\r\n" + ReplyTitle +
                                           " (ABC000007N.TXT)\r\n|"));
    EXPECT_FALSE(FileExists(Dir.File("Cache/XYZ.ETALONS")));

    std::vector<std::string> left;
    for (const TMailFile& message : Mail.Messages())
        left.push_back(message.Name);
    EXPECT_THAT(left, ElementsAre(theirs, foreign));
}

// A POP3 connection that ends without QUIT undoes its deletions: the messages recorded by
// that receive come again with the next one, which deletes them and records nothing twice.
TEST_F(ReceiveEndToEndTest, Pop3MessagesLeftOnTheServerAfterTheirRecordAreStoredOnce)
{
    Mail.StartDovecot();
    Mail.PutMessage(BankMail("ABC", "Выписка", "first"));
    Mail.PutMessage(BankMail("ABC", "Ответ", "second"));
    {
        const auto profile = Client({"RecvType=POP3", "RecvHost=127.0.0.1",
                                     "RecvPort=" + std::to_string(Mail.RefuseCommand("pop3", "QUIT"))});
        Receiver.Get()->Receive();
        EXPECT_EQ(Receiver.Get()->Messages, 2);
    }
    ASSERT_EQ(Mail.Messages().size(), 2u) << Mail.Logs();

    const auto profile = Client({"RecvType=POP3", "RecvHost=127.0.0.1", "RecvPort=" + std::to_string(Mail.Ports().Pop3)});
    Receiver.Get()->Receive();
    EXPECT_ANSI_EQ(Receiver.Get()->SummaryText(), "");
    EXPECT_THAT(MessageRows(), ElementsAre("Выписка||", "Ответ||"));
    EXPECT_THAT(Mail.Messages(), IsEmpty()) << Mail.Logs();
}

// Messages with the same subject, date and text that differ in their container are all
// stored: a reference list of type SAL and one of type NNS sent at the same second, and the
// replies of a batch job, which writes no date and no text.
TEST_F(ReceiveEndToEndTest, Pop3StoresEveryMessageThatDiffersInItsBytesOnlyAfterTheStoreIsSaved)
{
    Mail.StartDovecot();
    const AnsiString date = "Tue, 05 Mar 2024 09:07:02 +0300";
    Mail.PutMessage(BankMessage("Выписка", date, Sealed({EtalonMember("ABC", "SAL", "sal list")})));
    Mail.PutMessage(BankMessage("Выписка", date, Sealed({EtalonMember("ABC", "NNS", "nns list")})));
    Mail.PutMessage(BankMessage("", "", Sealed({ReplyMember("ABC000001N.TXT", "first reply")})));
    Mail.PutMessage(BankMessage("", "", Sealed({ReplyMember("ABC000002N.TXT", "second reply")})));
    const auto profile = Client({"RecvType=POP3", "RecvHost=127.0.0.1", "RecvPort=" + std::to_string(Mail.Ports().Pop3)});
    // A folder stands where the message store's file belongs: nothing is deleted.
    ForceDirectories(Dir.File("Cache/ABC.MESSAGES/inner/"));
    EXPECT_THROW(Receiver.Get()->Receive(), Exception);
    EXPECT_EQ(Mail.Messages().size(), 4u);

    std::filesystem::remove_all(ToSystemPath(Dir.File("Cache/ABC.MESSAGES")));
    Receiver.Get()->Receive();

    const AnsiString nnsTitle = EtalonTypeInfos[1].Title;
    const std::string firstReply = ReplyTitle + " (ABC000001N.TXT)\r\n";
    const std::string secondReply = ReplyTitle + " (ABC000002N.TXT)\r\n";
    EXPECT_THAT(MessageRows(), ElementsAre("Выписка|" + SalTitle + "\r\n|", "Выписка|" + nnsTitle + "\r\n|",
                                           "|" + firstReply + "|", "|" + secondReply + "|"));
    EXPECT_THAT(Rows<TEtalons>(Dir.File("Cache/ABC.ETALONS")),
                ElementsAre("sal list|SAL|01/03/2024", "nns list|NNS|01/03/2024"));
    EXPECT_THAT(Rows<TReplyFiles>(Dir.File("Cache/ABC.NEWCLIREPLY")),
                ElementsAre("first reply|ABC000001N.TXT", "second reply|ABC000002N.TXT"));
    EXPECT_THAT(Mail.Messages(), IsEmpty()) << Mail.Logs();
}

TEST_F(ReceiveEndToEndTest, ImapLeavesTheMessageWhenTheStoreCannotBeSaved)
{
    Mail.Start();
    MailFromBank("ABC", "ABC000001.TLB", Sealed({UpdateMember("5.4", "new program")}));
    const auto profile = Client({"RecvType=IMAP4", "RecvHost=127.0.0.1", "RecvPort=" + std::to_string(Mail.Ports().Imap)});
    // A folder stands where the message store's file belongs.
    ForceDirectories(Dir.File("Cache/ABC.MESSAGES/inner/"));
    EXPECT_THROW(Receiver.Get()->Receive(), Exception);
    ASSERT_EQ(Mail.Messages().size(), 1u);
    EXPECT_EQ(Mail.Messages()[0].Flags.find('T'), std::string::npos);
    EXPECT_EQ(Receiver.Get()->Messages, 1);   // as far as the run got

    std::filesystem::remove_all(ToSystemPath(Dir.File("Cache/ABC.MESSAGES")));
    Receiver.Get()->Receive();
    EXPECT_TRUE(Mail.Messages().empty());
    EXPECT_EQ(ReadBytes(Dir.File("Updates/Updates-5.4.exe")), "new program");
    EXPECT_THAT(MessageRows(), ElementsAre("Выписка|Обновления ПО до версии 5.4\r\n|"));
}

TEST_F(ReceiveEndToEndTest, HttpKeepsAGarbageAttachmentInRejectUntilAGoodFileTakesItsPlace)
{
    TBankHttpServer bank;
    bank.AddUser("client", "secret");
    bank.Start();
    const TMailContent garbage{"bank@example.test", "client@example.test", "ABC", "Выписка", "ABC000003.TLB",
                               "not a container"};
    bank.AddMessage("client", "ABC", ComposeMail(garbage, NewMailFrame()));
    const auto profile = Client({"RecvType=HTTP", "RecvHost=" + bank.Host(), "RecvPort=80"});
    // gpg tells its failure in two lines.
    const AnsiString gpgError = "gpg: no valid OpenPGP data found.\ngpg: decrypt_message failed: Unknown system error";
    Dialogs.ExpectMessage("Ошибка обработки файла ABC000003.TLB:\n" + gpgError + ".\nФайл пропущен.");
    Receiver.Get()->Receive();

    EXPECT_THAT(bank.MessageIds("client", "ABC"), IsEmpty());
    EXPECT_EQ(ReadBytes(Dir.File("Reject/ABC000003.TLB")), "not a container");
    TMessages store;
    store.LoadFromFile(Dir.File("Cache/ABC.MESSAGES"));
    ASSERT_EQ(store.RecordCount(), 1);
    TStringList report;
    TStringList failed;
    failed.SetText(store.CurRecord()->Get(2));
    EXPECT_THAT(failed.Items(), ElementsAre("ABC000003.TLB: gpg: no valid OpenPGP data found.<EOL>"
                                            "gpg: decrypt_message failed: Unknown system error"));

    WriteBytes(Dir.File("Reject/ABC000003.TLB"), Sealed({ReplyMember("ABC000009N.TXT", "added")}));
    Receiver.Get()->ProcessStoredFiles(report, failed);
    EXPECT_THAT(failed.Items(), IsEmpty());
    EXPECT_THAT(report.Items(), ElementsAre(ReplyTitle + " (ABC000009N.TXT)"));
    EXPECT_FALSE(FileExists(Dir.File("Reject/ABC000003.TLB")));
    EXPECT_ANSI_EQ(Receiver.Get()->SummaryText(), "Списков добавленных: 1\n");
}

} // namespace
