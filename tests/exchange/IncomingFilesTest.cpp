// The containers that the bank sends, opened through the current cipher (a fake gpg that
// passes the bytes through and reports the bank's good signature): the dispatch of their
// members, the attachments of a message, and the retry of the rejected ones.

#include "BankContainers.h"
#include "CipherSupport.h"
#include "exchange/ExchangeProfile.h"

#include "documents/Internals.h"
#include "documents/Charsets.h"
#include "exchange/HeldMessages.h"
#include "exchange/Incoming.h"
#include "exchange/MailMessage.h"
#include "exchange/ReceivedMail.h"
#include "platform/Paths.h"
#include "support/ScriptedDialogs.h"

#include <gmock/gmock.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr char BankKey[] = "0123456789ABCDEF";

struct TTestReceiver : TReceiver {
    void Receive() override {}
    using TReceiver::BeginRun;   // what every receiver does first
};

class IncomingFilesTest : public ::testing::Test {
protected:
    IncomingFilesTest() { Gpg.ScriptWithStatus(GoodSignatureStatus(BankKey)); }

    // Processes the container; the report lines.
    std::vector<AnsiString> Process(const std::string& container)
    {
        TMemoryStream stream;
        stream.WriteString(container);
        stream.SetPosition(0);
        TStringList report;
        Receiver.ProcessFile(stream, report);
        return report.Items();
    }

    static TMailPart Attachment(const AnsiString& name, const std::string& content)
    {
        return TMailPart{TMailPart::mpAttachment, "", name, content};
    }

    // The bank's message as the server gives it, read: the text "Выписка", the attachment
    // ABC000001.TLB, a fixed date and boundary, and a Message-ID header when one is given.
    static TReceivedMail ServerMail(const std::string& attachment, const std::string& messageId = "")
    {
        const TMailContent content{"bank@example.test", "client@example.test", "ABC",
                                   "Выписка",           "ABC000001.TLB",       attachment};
        const std::string header = messageId.empty() ? std::string() : "Message-ID: <" + messageId + ">\r\n";
        return ReadMail(header + ComposeMail(content, TMailFrame{"Tue, 05 Mar 2024 09:07:02 +0300", "boundary"}));
    }

    // A symbolic link at `link` (its folder made) that names `target`.
    static void PlantLink(const AnsiString& target, const AnsiString& link)
    {
        ForceDirectories(ExtractFilePath(link));
        ASSERT_EQ(symlink(ToSystemPath(target).c_str(), ToSystemPath(link).c_str()), 0) << link;
    }
    // A regular file stands at the name itself (a link to one does not count).
    static bool IsRegularFile(const AnsiString& path)
    {
        struct stat info {};
        return lstat(ToSystemPath(path).c_str(), &info) == 0 && S_ISREG(info.st_mode);
    }

    TTempDir Dir;
    TFakeGpg Gpg{Dir.File("bin/")};
    TExchangeProfile Profile{Dir, {"PgpKeyPath=" + Dir.File("keys/"), AnsiString("BankPgpKey=") + BankKey}};
    TTestReceiver Receiver;
    TScriptedDialogs Dialogs;
};

TEST_F(IncomingFilesTest, AnUpdateBecomesAnExecutableOfItsVersionReplacingAnEarlierOne)
{
    EXPECT_THAT(Process(BankContainer({UpdateMember("5.4", "program")})), ElementsAre("Обновления ПО до версии 5.4"));
    EXPECT_EQ(ReadBytes(Dir.File("Updates/Updates-5.4.exe")), "program");
    Process(BankContainer({BankMember({"FILE_TYPE=UPDATES", "VERSION= 5.4 "}, "newer")}));
    EXPECT_EQ(ReadBytes(Dir.File("Updates/Updates-5.4.exe")), "newer");
    EXPECT_EQ(access(ToSystemPath(Dir.File("Updates/Updates-5.4.exe")).c_str(), X_OK), 0);
    EXPECT_EQ(Receiver.Updates, 2);
}

// A symbolic link planted at the name of a received file: the received bytes replace the
// link and never reach the file it names, nor create one there.
TEST_F(IncomingFilesTest, AReceivedFileReplacesALinkAtItsNameAndNeverWritesThroughIt)
{
    ForceDirectories(Dir.File("outside/"));
    WriteBytes(Dir.File("outside/program"), "mine");
    chmod(ToSystemPath(Dir.File("outside/program")).c_str(), 0600);
    PlantLink(Dir.File("outside/program"), Dir.File("Updates/Updates-5.0.exe"));
    PlantLink(Dir.File("outside/new"), Dir.File("Updates/Updates-6.0.exe"));
    {
        TReplyFiles outsideStore;
        outsideStore.LoadFromFile(Dir.File("outside/replies"));
        outsideStore.SaveToFile(AnsiString());
    }
    const std::string outsideReplies = ReadBytes(Dir.File("outside/replies"));
    PlantLink(Dir.File("outside/replies"), Dir.File("Cache/ABC.NEWCLIREPLY"));
    PlantLink(Dir.File("outside/lists"), Dir.File("Cache/ABC.ETALONS"));

    Process(BankContainer({UpdateMember("5.0", "received"), UpdateMember("6.0", "also received"),
                           ReplyMember("ABC000001N.TXT", "reply"), EtalonMember("ABC", "SAL", "list")}));

    EXPECT_EQ(ReadBytes(Dir.File("outside/program")), "mine");
    EXPECT_NE(access(ToSystemPath(Dir.File("outside/program")).c_str(), X_OK), 0);
    EXPECT_EQ(ReadBytes(Dir.File("outside/replies")), outsideReplies);
    EXPECT_EQ(SystemNames(Dir.File("outside/")), (std::vector<std::string>{"program", "replies"}));
    for (const char* name : {"Updates/Updates-5.0.exe", "Updates/Updates-6.0.exe", "Cache/ABC.NEWCLIREPLY",
                             "Cache/ABC.ETALONS"})
        EXPECT_TRUE(IsRegularFile(Dir.File(name))) << name;
    EXPECT_EQ(ReadBytes(Dir.File("Updates/Updates-5.0.exe")), "received");
    EXPECT_EQ(ReadBytes(Dir.File("Updates/Updates-6.0.exe")), "also received");
    // Nor does the file the link named lend the new one its permissions.
    struct stat replaced {}, created {};
    ASSERT_EQ(stat(ToSystemPath(Dir.File("Updates/Updates-5.0.exe")).c_str(), &replaced), 0);
    ASSERT_EQ(stat(ToSystemPath(Dir.File("Updates/Updates-6.0.exe")).c_str(), &created), 0);
    EXPECT_EQ(replaced.st_mode, created.st_mode);
    EXPECT_EQ(access(ToSystemPath(Dir.File("Updates/Updates-5.0.exe")).c_str(), X_OK), 0);
    EXPECT_THAT(Rows<TReplyFiles>(Dir.File("Cache/ABC.NEWCLIREPLY")), ElementsAre("reply|ABC000001N.TXT"));
    EXPECT_THAT(Rows<TEtalons>(Dir.File("Cache/ABC.ETALONS")), ElementsAre("list|SAL|01/03/2024"));
}

const AnsiString SalTitle = EtalonTypeInfos[0].Title;
const AnsiString NnsTitle = EtalonTypeInfos[1].Title;

TEST_F(IncomingFilesTest, AReferenceListReplacesTheListOfItsTypeForEachPrefix)
{
    EXPECT_THAT(Process(BankContainer({EtalonMember("ABC", "SAL", "first\r\nlist")})), ElementsAre(SalTitle));
    EXPECT_THAT(Process(BankContainer({EtalonMember("abc", "NNS", "nns list", "1/3/24")})), ElementsAre(NnsTitle));
    // The key and the type in any case; the type and the date are stored as received.
    EXPECT_THAT(Process(BankContainer({BankMember({"file_type=etalon", "Prefix= abc , xyz ", "ETALON_TYPE=sal",
                                                    "ETALON_DATE=02/03/2024"}, std::string("second\0list", 11))})),
                ElementsAre(SalTitle + " (abc , xyz)"));

    EXPECT_THAT(Rows<TEtalons>(Dir.File("Cache/ABC.ETALONS")),
                ElementsAre("nns list|NNS|1/3/24", std::string("second\0list|sal|02/03/2024", 26)));
    EXPECT_THAT(Rows<TEtalons>(Dir.File("Cache/XYZ.ETALONS")),
                ElementsAre(std::string("second\0list|sal|02/03/2024", 26)));
    EXPECT_EQ(Receiver.Etalons, 3);
}

TEST_F(IncomingFilesTest, AReferenceListIsCheckedBeforeAnythingIsStoredAndEachPrefixInItsTurn)
{
    EXPECT_RAISES(Process(BankContainer({EtalonMember("ABC", "SAL", "x", "31/02/2024")})), Exception,
                  "Неверная дата эталонного списка: 31/02/2024");
    EXPECT_RAISES(Process(BankContainer({EtalonMember("ABC", "XXX", "x")})), Exception,
                  "Неверный тип эталонного списка: XXX");
    EXPECT_RAISES(Process(BankContainer({BankMember({"FILE_TYPE=ETALON", "PREFIX=ABC", "ETALON_TYPE=SAL"}, "x")})),
                  Exception, "Отсутствует параметр ETALON_DATE");
    EXPECT_RAISES(Process(BankContainer({EtalonMember("AB", "SAL", "x")})), Exception, "Неверный префикс: AB");
    EXPECT_FALSE(DirectoryExists(Dir.File("Cache/")));

    EXPECT_RAISES(Process(BankContainer({EtalonMember("ABC,", "SAL", "x")})), Exception, "Неверный префикс: ");
    EXPECT_RAISES(Process(BankContainer({EtalonMember("XYZ,../A", "SAL", "y")})), Exception, "Неверный префикс: ../A");
    EXPECT_THAT(Rows<TEtalons>(Dir.File("Cache/ABC.ETALONS")), ElementsAre("x|SAL|01/03/2024"));
    EXPECT_THAT(Rows<TEtalons>(Dir.File("Cache/XYZ.ETALONS")), ElementsAre("y|SAL|01/03/2024"));
    EXPECT_EQ(Receiver.Etalons, 0);
}

TEST_F(IncomingFilesTest, RepliesAreAppendedToTheStoreOfTheirNamesFirstThreeCharacters)
{
    const AnsiString title = ReplyDocTypes[0].Title;
    const std::string container = BankContainer({ReplyMember("abc000001N.TXT", "reply;1"), EtalonMember("ABC", "SAL", "list")});
    EXPECT_THAT(Process(container), ElementsAre(title + " (abc000001N.TXT)", SalTitle));
    // A reply of a name already held, with other bytes, is a further row.
    EXPECT_THAT(Process(BankContainer({ReplyMember("abc000001N.TXT", "reply;2")})),
                ElementsAre(title + " (abc000001N.TXT)"));
    // The same bytes under another name are another reply.
    EXPECT_THAT(Process(BankContainer({ReplyMember("abc000002N.TXT", "reply;2")})),
                ElementsAre(title + " (abc000002N.TXT)"));
    EXPECT_THAT(Process(BankContainer({ReplyMember("AB", "short")})), ElementsAre(title + " (AB)"));
    EXPECT_RAISES(Process(BankContainer({ReplyMember("A/B.TXT", "x")})), Exception, "Неверное имя файла ответа: A/B.TXT");

    EXPECT_THAT(Rows<TReplyFiles>(Dir.File("Cache/ABC.NEWCLIREPLY")),
                ElementsAre("reply;1|abc000001N.TXT", "reply;2|abc000001N.TXT", "reply;2|abc000002N.TXT"));
    EXPECT_THAT(Rows<TReplyFiles>(Dir.File("Cache/AB.NEWCLIREPLY")), ElementsAre("short|AB"));
    EXPECT_EQ(Receiver.ListsAdded[0], 4);
    EXPECT_EQ(Receiver.Etalons, 1);
}

TEST_F(IncomingFilesTest, AReplyNameWithAControlCharacterIsRefusedBeforeAnythingIsStored)
{
    for (const std::string name : {"ABC\a01.TXT", "ABC000001\x1b[2J.TXT", "ABC00\b1.TXT", "ABC000001.TXT\x7f"}) {
        AnsiString shown = name;
        std::replace_if(shown.begin(), shown.end(), IsControlChar, '?');
        EXPECT_RAISES(Process(BankContainer({ReplyMember(name, "x")})), Exception, "Неверное имя файла ответа: " + shown);
    }
    EXPECT_FALSE(DirectoryExists(Dir.File("Cache/")));
    EXPECT_EQ(Receiver.ListsAdded[0], 0);
}

TEST_F(IncomingFilesTest, EveryMemberNeedsAKnownTypeAndTheFirstFailingOneEndsTheWalkKeepingThoseBefore)
{
    // The type of every member is required and known.
    EXPECT_RAISES(Process(BankContainer({BankMember({"FILE_TYPE="}, "x")})), Exception, "Не задан тип файла");
    // The key is found whatever its case; the value is taken as it stands.
    EXPECT_RAISES(Process(BankContainer({BankMember({"file_type= UPDATES", "VERSION=1"}, "x")})), Exception,
                  "Неизвестный тип файла:  UPDATES");

    const std::string container =
        BankContainer({UpdateMember("1.1", "one"), UpdateMember("1.2/..", "two"), UpdateMember("1.3", "three")});
    EXPECT_RAISES(Process(container), Exception, "Неверная версия обновления: 1.2/..");
    EXPECT_TRUE(FileExists(Dir.File("Updates/Updates-1.1.exe")));
    EXPECT_FALSE(FileExists(Dir.File("Updates/Updates-1.3.exe")));
    EXPECT_EQ(Receiver.Updates, 1);
}

TEST_F(IncomingFilesTest, FailedCopiesOfOneOverlongNameAreKeptApartAndRetriedAndAnUnwritableRejectRaises)
{
    // A name longer than a file name may be: the copies must still be kept, each under
    // its own name, and under names that the retry recognises as its own.
    Gpg.Script("cat >/dev/null\necho 'gpg: bad' >&2\nexit 2\n");
    const AnsiString longName = AnsiString(300, 'A') + ".TLB";
    const AnsiString first = AnsiString(76, 'A') + ".TLB";
    const AnsiString second = AnsiString(73, 'A') + "(1).TLB";
    for (const AnsiString& name : {first, second})
        Dialogs.ExpectMessage("Ошибка обработки файла " + name + ":\ngpg: bad.\nФайл пропущен.");
    TReceivedMail mail;
    mail.Parts = {Attachment(longName, "x"), Attachment(longName, "y")};
    TStringList report;
    TStringList failed;
    Receiver.ProcessAttachments(mail, report, failed);
    EXPECT_THAT(failed.Items(), ElementsAre(first + ": gpg: bad", second + ": gpg: bad"));
    EXPECT_EQ(ReadBytes(Dir.File("Reject/" + first)), "x");
    EXPECT_EQ(ReadBytes(Dir.File("Reject/" + second)), "y");
    Gpg.ScriptWithStatus(GoodSignatureStatus(BankKey));
    WriteBytes(Dir.File("Reject/" + first), BankContainer({UpdateMember("3.0", "fixed")}));
    WriteBytes(Dir.File("Reject/" + second), BankContainer({UpdateMember("3.1", "fixed too")}));
    Receiver.ProcessStoredFiles(report, failed);
    EXPECT_THAT(failed.Items(), IsEmpty());
    EXPECT_EQ(Receiver.Updates, 2);

    // No copy can be kept where the folder cannot be made: the run stops.
    RemoveFolderTree(Dir.File("Reject/"));
    WriteBytes(Dir.File("Reject"), "a file in the folder's place");
    EXPECT_THROW(Receiver.ProcessAttachments(mail, report, failed), Exception);
}

// Two instances receive failed attachments of one name into one "Reject/" at the same
// moment: each copy keeps a file of its own, none is written over another.
TEST_F(IncomingFilesTest, TwoReceivesAtOnceKeepEveryFailedCopyUnderANameOfItsOwn)
{
    // Answers every notice, so that the children's receives go on without a script.
    struct TAnswerAll : TDialogService {
        int MessageBox(const AnsiString&, const AnsiString&, unsigned) override { return MessageBoxAnswer::Ok; }
        std::optional<AnsiString> OpenFileName(const TFileDialogRequest&) override { return std::nullopt; }
        std::optional<AnsiString> SaveFileName(const TFileDialogRequest&) override { return std::nullopt; }
        std::optional<AnsiString> BrowseFolder(const AnsiString&, const AnsiString&) override { return std::nullopt; }
    };
    constexpr int CopiesEach = 60;
    Gpg.Script("cat >/dev/null\necho 'gpg: bad' >&2\nexit 2\n");
    std::vector<pid_t> children;
    for (const char* writer : {"A", "B"}) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            TAnswerAll answers;
            SetDialogService(&answers);
            TReceivedMail mail;
            for (int i = 0; i < CopiesEach; ++i)
                mail.Parts.push_back(Attachment("ABC000001.TLB", writer + std::to_string(i)));
            TStringList report;
            TStringList failed;
            try {
                Receiver.ProcessAttachments(mail, report, failed);
            } catch (...) {
                _exit(1);
            }
            _exit(failed.Count() == CopiesEach ? 0 : 2);
        }
        children.push_back(child);
    }
    for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    std::set<std::string> kept;
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(ToSystemPath(Dir.File("Reject/")))) {
        std::ifstream file(entry.path(), std::ios::binary);
        kept.insert(std::string(std::istreambuf_iterator<char>(file), {}));
        ++files;
    }
    EXPECT_EQ(files, 2 * CopiesEach);
    EXPECT_EQ(kept.size(), 2u * CopiesEach);
}

TEST_F(IncomingFilesTest, AFailedAttachmentTakesANameAtWhichNothingStandsNotEvenALink)
{
    Gpg.Script("cat >/dev/null\necho 'gpg: bad' >&2\nexit 2\n");
    ForceDirectories(Dir.File("outside/"));
    WriteBytes(Dir.File("outside/kept"), "mine");
    PlantLink(Dir.File("outside/gone"), Dir.File("Reject/ABC000001.TLB"));
    PlantLink(Dir.File("outside/kept"), Dir.File("Reject/ABC000002.TLB"));
    Dialogs.ExpectMessage("Ошибка обработки файла ABC000001(1).TLB:\ngpg: bad.\nФайл пропущен.")
        .ExpectMessage("Ошибка обработки файла ABC000002(1).TLB:\ngpg: bad.\nФайл пропущен.");
    TReceivedMail mail;
    mail.Parts = {Attachment("ABC000001.TLB", "x"), Attachment("ABC000002.TLB", "y")};
    TStringList report;
    TStringList failed;
    Receiver.ProcessAttachments(mail, report, failed);

    EXPECT_THAT(failed.Items(), ElementsAre("ABC000001(1).TLB: gpg: bad", "ABC000002(1).TLB: gpg: bad"));
    EXPECT_EQ(SystemNames(Dir.File("outside/")), std::vector<std::string>{"kept"});
    EXPECT_EQ(ReadBytes(Dir.File("outside/kept")), "mine");
    EXPECT_TRUE(IsRegularFile(Dir.File("Reject/ABC000001(1).TLB")));
    EXPECT_EQ(ReadBytes(Dir.File("Reject/ABC000001(1).TLB")), "x");
    EXPECT_EQ(ReadBytes(Dir.File("Reject/ABC000002(1).TLB")), "y");
}

TEST_F(IncomingFilesTest, StoredFilesThatSucceedNowLoseTheirLineAndTheirFile)
{
    ForceDirectories(Dir.File("Reject/"));
    WriteBytes(Dir.File("Reject/ABC000001.TLB"), "still garbage");
    WriteBytes(Dir.File("Reject/ABC000002.TLB"), BankContainer({UpdateMember("3.0", "fixed")}));
    WriteBytes(Dir.File("Reject/ABC000004.TLB"), BankContainer({UpdateMember("3.1", "fixed too")}));
    TStringList failed;
    failed.Add("ABC000001.TLB: Неверная сигнатура блока ZIP-файла");
    failed.Add("ABC000002.TLB: Подпись банка не найдена либо некорректна");
    failed.Add("no name here");
    failed.Add("ABC000003.TLB: gone");
    failed.Add("ABC000004.TLB: Подпись банка не найдена либо некорректна");
    failed.Add("../secret: not ours");
    TStringList report;
    report.Add("earlier line");
    Receiver.BadMessages = 5;
    Dialogs.ExpectMessage("Ошибка обработки файла ABC000001.TLB:\nНеверная сигнатура блока ZIP-файла.\nФайл пропущен.")
        .ExpectMessage("Ошибка обработки файла ABC000003.TLB:\nНе удается открыть файл \"" + Dir.File("Reject/ABC000003.TLB") +
                       "\". " + SysErrorMessage(ENOENT) + ".\nФайл пропущен.");

    Receiver.ProcessStoredFiles(report, failed);

    EXPECT_THAT(failed.Items(), ElementsAre("ABC000001.TLB: Неверная сигнатура блока ZIP-файла", "no name here",
                                            "ABC000003.TLB: gone", "../secret: not ours"));
    EXPECT_THAT(report.Items(),
                ElementsAre("earlier line", "Обновления ПО до версии 3.0", "Обновления ПО до версии 3.1"));
    EXPECT_FALSE(FileExists(Dir.File("Reject/ABC000002.TLB")));
    EXPECT_FALSE(FileExists(Dir.File("Reject/ABC000004.TLB")));
    EXPECT_TRUE(FileExists(Dir.File("Reject/ABC000001.TLB")));
    EXPECT_EQ(Receiver.Updates, 2);
    EXPECT_EQ(Receiver.BadFiles, 2);
    EXPECT_EQ(Receiver.BadMessages, 0);
    EXPECT_ANSI_EQ(Receiver.SummaryText(), "Обновлений ПО: 2\nОшибочных файлов: 2\n");
}

// ---- The message ----

TEST_F(IncomingFilesTest, AMessageForTheClientIsRecordedWithItsTextReportAndFailedAttachmentsKeptInReject)
{
    TReceivedMail mail;
    mail.Subject = "ZEM_TLB_MESSAGE abc " + EncodeSubjectWord("Выписка за май");
    mail.Date = EncodeDate(2024, 3, 5) + EncodeTime(9, 7, 2, 0);
    mail.Parts = {TMailPart{TMailPart::mpText, "KOI8-R", "", AnsiToKoi8("Добрый день\nсписки во вложении")},
                  Attachment("ABC000001.TLB", BankContainer({EtalonMember("ABC", "SAL", "list"), UpdateMember("5.4", "p")})),
                  TMailPart{TMailPart::mpText, "", "", "second text"},
                  Attachment("../ABC000002.TLB", "garbage"),
                  Attachment("", "more garbage")};
    Dialogs.ExpectMessage("Ошибка обработки файла ABC000002.TLB:\nНеверная сигнатура блока ZIP-файла.\nФайл пропущен.",
                          MessageBoxAnswer::Ok, 0x30)
        .ExpectMessage("Ошибка обработки файла attachment.tlb:\nНеверная сигнатура блока ZIP-файла.\nФайл пропущен.");
    TMessages store;
    store.LoadFromFile(MessagesFileName("ABC"));
    const AnsiString before = DateTimeToStr(Now());

    EXPECT_TRUE(Receiver.ProcessMessage(mail, store));
    const AnsiString after = DateTimeToStr(Now());

    EXPECT_ANSI_EQ(mail.Subject, "Выписка за май");
    ASSERT_EQ(store.RecordCount(), 1);
    const TFileRecord& row = *store.CurRecord();
    EXPECT_ANSI_EQ(row.Get(0), "Добрый день\r\nсписки во вложении\r\n");
    EXPECT_ANSI_EQ(row.Get(1), SalTitle + "\r\nОбновления ПО до версии 5.4\r\n");
    EXPECT_ANSI_EQ(row.Get(2), "ABC000002.TLB: Неверная сигнатура блока ZIP-файла\r\n"
                               "attachment.tlb: Неверная сигнатура блока ZIP-файла\r\n");
    EXPECT_ANSI_EQ(row.Get(3), "Выписка за май");
    EXPECT_EQ(row.Get(4), "05/03/2024 09:07:02");
    EXPECT_TRUE(row.Get(5) == before || row.Get(5) == after) << row.Get(5);
    EXPECT_EQ(Receiver.Messages, 1);
    EXPECT_EQ(Receiver.BadFiles, 2);
    EXPECT_EQ(Receiver.Etalons, 1);
    EXPECT_EQ(Receiver.Updates, 1);
    EXPECT_EQ(ReadBytes(Dir.File("Reject/ABC000002.TLB")), "garbage");
    EXPECT_EQ(ReadBytes(Dir.File("Reject/attachment.tlb")), "more garbage");
    EXPECT_FALSE(FileExists(Dir.File("ABC000002.TLB")));
}

TEST_F(IncomingFilesTest, ADamagedMessageStoreStopsTheReceiveNamingTheFileAndIsLeftAsItIs)
{
    const AnsiString fileName = MessagesFileName("ABC");
    TReceivedMail mail;
    mail.Subject = "ABC";
    {
        const std::unique_ptr<TReceiveRun> run = Receiver.BeginRun();
        ASSERT_TRUE(run->Process(mail));
        run->Save();
    }
    const std::string whole = ReadBytes(fileName);
    const auto damagedText = [&fileName](const AnsiString& detail) {
        return "Файл сообщений " + fileName + " поврежден: " + detail +
               ". Переместите его в другую папку, чтобы снова принимать сообщения; сообщения остаются на сервере.";
    };
    std::string flipped = whole;
    flipped[flipped.size() / 2] ^= 0x55;
    for (const auto& [bytes, detail] : {std::pair{whole.substr(0, whole.size() - 3), "Ошибка чтения потока"},
                                        std::pair{flipped, "Несовпадение CRC32"}}) {
        WriteBytes(fileName, bytes);
        EXPECT_RAISES(Receiver.BeginRun(), Exception, damagedText(detail));
        EXPECT_EQ(ReadBytes(fileName), bytes);
    }
}

// A message whose row could not be saved stays on the server and comes again with the
// next receive: what it carries is held once, and the rows other writers added meanwhile
// stay.
TEST_F(IncomingFilesTest, AMessageThatComesAgainAfterAFailedSaveStoresItsListsOnceBesideOtherWritersRows)
{
    const std::string container =
        BankContainer({ReplyMember("ABC000001N.TXT", "reply;1"), EtalonMember("ABC", "SAL", "list")});
    const auto receive = [&](bool saveFails) {
        TReceivedMail mail;
        mail.Subject = "ABC";
        mail.Parts = {Attachment("ABC000001.TLB", container)};
        const std::unique_ptr<TReceiveRun> run = Receiver.BeginRun();
        ASSERT_TRUE(run->Process(mail));
        if (saveFails) {
            const TFileSizeLimit limit(16);
            EXPECT_THROW(run->Save(), Exception);
        } else {
            run->Save();
        }
    };
    receive(true);
    Process(BankContainer({EtalonMember("ABC", "NNS", "other")}));
    // Another program receives a message while this run goes on.
    const std::unique_ptr<TReceiveRun> run = Receiver.BeginRun();
    TReceivedMail first;
    first.Subject = "ABC " + EncodeSubjectWord("Другое");
    ASSERT_TRUE(run->Process(first));
    receive(false);
    run->Save();

    EXPECT_THAT(Rows<TReplyFiles>(Dir.File("Cache/ABC.NEWCLIREPLY")), ElementsAre("reply;1|ABC000001N.TXT"));
    EXPECT_THAT(Rows<TEtalons>(Dir.File("Cache/ABC.ETALONS")),
                ElementsAre("list|SAL|01/03/2024", "other|NNS|01/03/2024"));
    TMessages messages;
    messages.LoadFromFile(MessagesFileName("ABC"));
    ASSERT_EQ(messages.RecordCount(), 2);
    EXPECT_ANSI_EQ(messages.RowField(0, 3), "");
    EXPECT_ANSI_EQ(messages.RowField(1, 3), "Другое");
}

// A message that comes again byte for byte (it stayed on the server, or the server holds
// it twice) is neither processed nor counted again; it is reported as recorded, so that the
// server deletes it. One that differs in its Message-ID alone is another message.
TEST_F(IncomingFilesTest, OnlyAMessageOfTheSameBytesCountsAsRecorded)
{
    const AnsiString notAZip = ":\nНеверная сигнатура блока ZIP-файла.\nФайл пропущен.";
    Dialogs.ExpectMessage("Ошибка обработки файла ABC000001.TLB" + notAZip)
        .ExpectMessage("Ошибка обработки файла ABC000001(1).TLB" + notAZip);
    TReceivedMail mail = ServerMail("garbage");
    TReceivedMail again = ServerMail("garbage");
    TReceivedMail other = ServerMail("garbage", "2@bank.test");
    const std::unique_ptr<TReceiveRun> run = Receiver.BeginRun();
    EXPECT_TRUE(run->Process(mail));
    EXPECT_TRUE(run->Process(again));
    EXPECT_TRUE(run->Process(other));
    run->Save();
    EXPECT_EQ(Receiver.Messages, 2);
    EXPECT_EQ(Rows<TMessages>(MessagesFileName("ABC")).size(), 2u);
    EXPECT_FALSE(FileExists(Dir.File("Reject/ABC000001(2).TLB")));
}

// Two receives at once: one fetches a message twice, the other the same message and one
// that looks like it (the same subject, date and text, another list). The one that saves
// last finds the first recorded and keeps the other.
TEST_F(IncomingFilesTest, TwoReceivesAtOnceRecordEachMessageOnceAndKeepTheOnesThatLookAlike)
{
    const std::string salList = BankContainer({EtalonMember("ABC", "SAL", "sal")});
    TReceivedMail mail = ServerMail(salList);
    TReceivedMail again = ServerMail(salList);
    TReceivedMail copy = ServerMail(salList);
    TReceivedMail other = ServerMail(BankContainer({EtalonMember("ABC", "NNS", "nns")}));
    const std::unique_ptr<TReceiveRun> first = Receiver.BeginRun();
    const std::unique_ptr<TReceiveRun> second = Receiver.BeginRun();
    ASSERT_TRUE(first->Process(mail));
    ASSERT_TRUE(first->Process(again));
    ASSERT_TRUE(second->Process(copy));
    ASSERT_TRUE(second->Process(other));
    first->Save();
    second->Save();
    EXPECT_THAT(Rows<TMessages>(MessagesFileName("ABC")),
                ElementsAre(testing::StartsWith("Выписка\r\n|" + SalTitle + "\r\n||Выписка|"),
                            testing::StartsWith("Выписка\r\n|" + NnsTitle + "\r\n||Выписка|")));
    EXPECT_THAT(Rows<TEtalons>(Dir.File("Cache/ABC.ETALONS")),
                ElementsAre("sal|SAL|01/03/2024", "nns|NNS|01/03/2024"));
}

// The identities of the messages reach the disk only after their rows: when they cannot
// be written, the store holds the rows already and the messages stay on the server.
TEST_F(IncomingFilesTest, TheRowsOfAReceiveAreSavedBeforeTheIdentitiesOfTheirMessages)
{
    TReceivedMail mail = ServerMail(BankContainer({ReplyMember("ABC000001N.TXT", "reply")}));
    const std::unique_ptr<TReceiveRun> run = Receiver.BeginRun();
    ASSERT_TRUE(run->Process(mail));
    ForceDirectories(HeldMessagesFileName(MessagesFileName("ABC")) + "/inner/");
    EXPECT_THROW(run->Save(), Exception);
    EXPECT_EQ(Rows<TMessages>(MessagesFileName("ABC")).size(), 1u);
}

// A message counts as recorded only while its row stands: once the user has deleted the
// row, the message is stored again when it comes again.
TEST_F(IncomingFilesTest, AMessageWhoseRowIsGoneIsStoredAgainWhenItComesAgain)
{
    const std::string container = BankContainer({ReplyMember("ABC000001N.TXT", "reply")});
    const auto receive = [&] {
        TReceivedMail mail = ServerMail(container);
        const std::unique_ptr<TReceiveRun> run = Receiver.BeginRun();
        ASSERT_TRUE(run->Process(mail));
        run->Save();
    };
    receive();
    receive();
    EXPECT_EQ(Rows<TMessages>(MessagesFileName("ABC")).size(), 1u);
    TMessages store;
    UpdateMessageStore(store, MessagesFileName("ABC"), [&] { store.Delete(); });
    receive();
    EXPECT_EQ(Rows<TMessages>(MessagesFileName("ABC")).size(), 1u);

    // Two messages whose rows read the same (processed in one second): once one row is
    // deleted, neither identity counts, since nothing tells which message the row left records.
    const AnsiString heldFile = HeldMessagesFileName(MessagesFileName("ABC"));
    const std::string first = ServerMail(container).Identity, second = Sha256("second");
    THeldMessages alike;
    UpdateMessageStore(store, MessagesFileName("ABC"), [&] {
        alike.Load(heldFile, store);
        store.Append();
        for (int field = TMessages::TextField; field <= TMessages::ReceivedField; ++field)
            store.CurRecord()->Set(field, store.RowField(0, field));
        alike.Add(second, store, 1);
    });
    alike.Save();
    THeldMessages both;
    both.Load(heldFile, store);
    ASSERT_TRUE(both.Holds(first) && both.Holds(second));
    UpdateMessageStore(store, MessagesFileName("ABC"), [&] { store.Delete(); });
    THeldMessages held;
    held.Load(heldFile, store);
    EXPECT_FALSE(held.Holds(first));
    EXPECT_FALSE(held.Holds(second));
}

// A store that may not be read is not damaged: the system's own reason is shown. Root may
// read any file, so the receive runs in a child process that gives up root first.
TEST_F(IncomingFilesTest, AMessageStoreThatMayNotBeReadGivesTheSystemsReason)
{
    const AnsiString fileName = MessagesFileName("ABC");
    ForceDirectories(Dir.File("Cache/"));
    WriteBytes(fileName, "");
    ASSERT_EQ(chmod(ToSystemPath(fileName).c_str(), 0), 0);
    for (const AnsiString& folder : {Dir.Path(), Dir.File("Cache/")})
        ASSERT_EQ(chmod(ToSystemPath(folder).c_str(), 0755), 0);
    const AnsiString expected = "Не удается открыть файл \"" + fileName + "\". " + SysErrorMessage(EACCES);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(10);
        try {
            Receiver.BeginRun();
        } catch (const Exception& error) {
            _exit(error.Message() == expected ? 0 : 11);
        }
        _exit(12);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(IncomingFilesTest, AMessageForAnotherClientIsNotRecorded)
{
    TMessages store;
    store.LoadFromFile(MessagesFileName("ABC"));
    TReceivedMail theirs;
    theirs.Subject = "ZEM_TLB_MESSAGE XYZ " + EncodeSubjectWord("Выписка");
    theirs.Parts = {Attachment("XYZ000001.TLB", "not for us")};
    EXPECT_FALSE(Receiver.ProcessMessage(theirs, store));
    EXPECT_ANSI_EQ(theirs.Subject, "XYZ Выписка");
    EXPECT_EQ(store.RecordCount(), 0);
    EXPECT_FALSE(DirectoryExists(Dir.File("Reject/")));

    // Only the prefix: an empty title; the message's own body as its text; no attachments.
    TReceivedMail plain;
    plain.Subject = "ABC";
    plain.Body = "text";
    EXPECT_TRUE(Receiver.ProcessMessage(plain, store));
    EXPECT_EQ(store.CurRecord()->Get(0), "text\r\n");
    EXPECT_EQ(store.CurRecord()->Get(1), "");
    EXPECT_EQ(store.CurRecord()->Get(2), "");
    EXPECT_EQ(store.CurRecord()->Get(3), "");
    EXPECT_EQ(store.CurRecord()->Get(4), "30/12/1899");
    EXPECT_EQ(Receiver.Messages, 1);
}

// The copy into "Reject/" fails after its name was held: the empty file that held the name
// goes again, so that no empty copy stands there for a retry to fail on.
TEST_F(IncomingFilesTest, ACopyIntoRejectThatFailsLeavesNoEmptyFileThere)
{
    Gpg.Script("cat >/dev/null\necho 'gpg: bad' >&2\nexit 2\n");
    Dialogs.ExpectMessage("Ошибка обработки файла ABC000001.TLB:\ngpg: bad.\nФайл пропущен.");
    TReceivedMail mail;
    mail.Parts = {Attachment("ABC000001.TLB", std::string(64, 'x'))};
    TStringList report;
    TStringList failed;
    {
        const TFileSizeLimit limit(16);
        EXPECT_THROW(Receiver.ProcessAttachments(mail, report, failed), Exception);
    }
    EXPECT_THAT(SystemNames(Dir.File("Reject/")), IsEmpty());
}

// The bank renews a list: the same list again with a newer date replaces the held one, so
// that the list's age counts from the renewal.
TEST_F(IncomingFilesTest, TheSameReferenceListWithANewerDateReplacesTheHeldOne)
{
    Process(BankContainer({EtalonMember("ABC", "SAL", "list", "01/03/2024")}));
    Process(BankContainer({EtalonMember("ABC", "SAL", "list", "02/04/2024")}));
    EXPECT_THAT(Rows<TEtalons>(Dir.File("Cache/ABC.ETALONS")), ElementsAre("list|SAL|02/04/2024"));
}

} // namespace
