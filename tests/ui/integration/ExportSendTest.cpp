// The export from the check to the bank with the real gpg and the local servers: what the
// bank receives, opened on the bank's side with its own key and an independent zip reader,
// and what the program records after the send, also when recording fails.

#include "../ExportDocuments.h"
#include "../RecordingView.h"
#include "../StoreRows.h"
#include "BankSide.h"

#include "documents/Charsets.h"
#include "documents/Common.h"
#include "platform/IniFiles.h"
#include "platform/Paths.h"
#include "platform/SysUtils.h"
#include "ui/ArbitraryWizard.h"
#include "ui/ExportWizard.h"
#include "ui/StoreModels.h"
#include "ui/UFrmJournal.h"
#include "ui/UFrmMain.h"

#include <QAction>
#include <QCoreApplication>

#include <unistd.h>

#include <cerrno>
#include <filesystem>

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

// The program's main window for the length of a scope.
struct TMainWindowGlobal {
    explicit TMainWindowGlobal(TFrmMain& window) { FrmMain = &window; }
    ~TMainWindowGlobal() { FrmMain = nullptr; }
};

class ExportSendTest : public TBankExchangeTest {
protected:
    TExportProfile& Kind(int kind) const { return *Profile->Profile().ExportProfiles.At(kind); }

    // The list of clients to close, of one record, sent to the HTTP bank.
    void SelectClientList(const AnsiString& counter)
    {
        SelectHttpProfile({"DelCli.FileCount=" + counter});
        Document = std::make_unique<TTestDocument>(Kind(2), Dir, std::vector<std::string>{"Иванов  Иван;12345"});
    }

    // Runs the wizard over the document from its start page to the comment page: check,
    // registry, comment.
    void ToCommentPage(TExportWizard& wizard)
    {
        wizard.SetView(&View);
        wizard.Start();
        wizard.Next();
        wizard.Next();
        ASSERT_THAT(U8(View.Page), ::testing::StartsWith("registry:")) << U8(View.Page);
        wizard.Next();
    }

    // Runs the wizard from its start page to the send; it stays on the page the send led to.
    void Export(TExportWizard& wizard, const AnsiString& comment)
    {
        ToCommentPage(wizard);
        View.Comment = comment;
        wizard.Next();
    }

    // Sends from the comment page as "Повтор" does, without storing the comment.
    void SendWithoutComment(TExportWizard& wizard)
    {
        ToCommentPage(wizard);
        wizard.State = TExportWizard::StateSendFailed;
        wizard.Next();
    }

    void ExpectSentPage(const AnsiString& baseName) const
    {
        EXPECT_ANSI_EQ(View.Page, "message:Файл успешно отправлен в банк.\nИмя файла: " + baseName);
        ExpectButtons(View.Buttons, "< Назад", "Выход", false, true);
    }

    // The file "письмо.txt" sent with the comment by the arbitrary-file wizard.
    void SendArbitraryFile(const AnsiString& comment)
    {
        WriteBytes(Dir.File("письмо.txt"), "Текст письма");
        TArbitraryWizard arbitrary;
        arbitrary.SetView(&View);
        arbitrary.Start();
        View.Name = Dir.File("письмо.txt");
        arbitrary.Next();
        View.Comment = comment;
        arbitrary.Next();
        EXPECT_ANSI_EQ(View.Page, "message:Файл успешно отправлен в банк.");
    }

    // The journal window, opened from the main window's menu on the profile.
    static void OpenJournal(TFrmMain& main)
    {
        main.show();
        main.SelectProfile(0);
        main.ItmJournal->trigger();
        QCoreApplication::processEvents();
        ASSERT_TRUE(FrmJournal);
    }

    // "Повторно" in the open journal window, answered Yes, ending in the success message.
    static void ResendSelectedRow()
    {
        TScriptedDialogs dialogs;
        dialogs.ExpectMessage("Отправить файл повторно?", MessageBoxAnswer::Yes,
                              MessageBoxFlags::YesNo | MessageBoxFlags::IconQuestion | MessageBoxFlags::DefaultButton2);
        dialogs.ExpectMessage("Файл успешно отправлен в банк.", MessageBoxAnswer::Ok,
                              MessageBoxFlags::Ok | MessageBoxFlags::IconInformation);
        FrmJournal->BtnRepeatClick();
    }

    std::unique_ptr<TTestDocument> Document;
    TRecordingView View;
};

TEST_F(ExportSendTest, SalaryListMailedToTheBankIsRecordedAndTheNextExportTakesTheNextNumber)
{
    SelectMailProfile({"Salary.FileCount=42", "Salary.EtalonTypes=SAL", "Salary.EtalonExpire=30"});
    StoreSalaryEtalon(Dir, SalaryEtalonRows);
    TTestDocument document(Kind(0), Dir, SalaryLines);

    TExportWizard wizard(document);
    Export(wizard, "Зарплата за март");
    ExpectSentPage("ABC000042");

    const std::vector<TMailFile> mailed = Mail.Messages();
    ASSERT_EQ(mailed.size(), 1u) << Mail.Logs();
    const TReceivedMail message = ReadMail(mailed[0].Bytes);
    EXPECT_EQ(Hex(message.Parts[0].Content), Hex(AnsiToKoi8("Список на зачисление (ABC000042)\r\n")));
    const std::string container = Attachment(mailed[0].Bytes, "ABC000042.TLB");
    EXPECT_EQ(Hex(OpenAtBank(container)),
              Hex(IniText({"FILE_TYPE=SALARY", "ARM_VERSION=" + GetShortFileVersion(), "PREFIX=ABC",
                          "FILE_NAME=ABC000042", "FILE_COMMENT=Зарплата за март", "TOTAL_COUNT_B=2",
                          "TOTAL_SUM_B=1750.50", "TOTAL_COUNT_E=0", "TOTAL_SUM_E=0.00", "<DATA>"}) +
                  SalaryPayload));

    EXPECT_THAT(Ini(), HasSubstr("\r\nSalary.FileCount=43\r\n"));
    EXPECT_THAT(Ini(), HasSubstr("\r\nSalary.Comment=Зарплата за март\r\n"));
    EXPECT_TRUE(ReadBytes(Dir.File("Sent/ABC000042.TLB")) == container);
    auto rows = JournalRows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_TRUE(std::regex_match(rows[0][6], JournalMoment)) << rows[0][6];
    rows[0][6] = "moment";
    EXPECT_THAT(rows[0], ElementsAre("ABC000042", "Salary", "2", "1750.50", "", "Зарплата за март", "moment",
                                     "ABC000042.TLB"));

    // The next list holds an external payment: its record, with the recipient's account and
    // without a service-provider account, counts in the debit totals as well. A profile's
    // map feeds no salary field beyond the three declared ones, so the kind gets the whole
    // map of its ten columns here.
    Kind(0).FieldIndexes.SetCount(10);
    for (int field = 0; field < 10; ++field)
        Kind(0).FieldIndexes.Set(field, field);
    TTestDocument payments(Kind(0), Dir, {SalaryLines[0],
                                          "петров  петр;000000012346;500;за май;;044525225;;ООО Вода;7707083893;"
                                          "40702810000000000009"});
    TExportWizard second(payments);
    Export(second, "Зарплата за март");
    ExpectSentPage("ABC000043");
    ASSERT_EQ(Mail.Messages().size(), 2u);
    const std::string next = OpenAtBank(Attachment(Mail.Messages()[1].Bytes, "ABC000043.TLB"));
    EXPECT_THAT(next, HasSubstr("FILE_NAME=ABC000043\r\n"));
    EXPECT_THAT(next, HasSubstr("\r\nTOTAL_COUNT_B=2\r\nTOTAL_SUM_B=1500.50\r\nTOTAL_COUNT_E=1\r\nTOTAL_SUM_E=500.00\r\n"));
    rows = JournalRows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1][4], "500.00");
    EXPECT_TRUE(FileExists(Dir.File("Sent/ABC000042.TLB")));
    EXPECT_THAT(Ini(), HasSubstr("\r\nSalary.FileCount=44\r\n"));
}

TEST_F(ExportSendTest, ClientListPostedToTheBankHasNoTotals)
{
    SelectClientList("6");
    // A link planted at the name of the next archive copy: the name is taken, the link is
    // never written through.
    ForceDirectories(Dir.File("Sent/"));
    WriteBytes(Dir.File("elsewhere"), "mine");
    ASSERT_EQ(symlink(ToSystemPath(Dir.File("elsewhere")).c_str(), ToSystemPath(Dir.File("Sent/ABC000006D.TLB")).c_str()), 0);
    TExportWizard wizard(*Document);
    Export(wizard, "Закрытие счетов");
    ExpectSentPage("ABC000007D");

    const std::vector<std::string> posted = Posted();
    ASSERT_EQ(posted.size(), 1u) << Bank.Logs();
    const std::string container = Attachment(posted[0], "ABC000007D.TLB");
    EXPECT_EQ(Hex(OpenAtBank(container)),
              Hex(IniText({"FILE_TYPE=DELCLI", "ARM_VERSION=" + GetShortFileVersion(), "PREFIX=ABC",
                          "FILE_NAME=ABC000007D", "FILE_COMMENT=Закрытие счетов", "<DATA>"}) +
                  "ИВАНОВ ИВАН;000000012345\r\n"));
    EXPECT_TRUE(ReadBytes(Dir.File("Sent/ABC000007D.TLB")) == container);
    EXPECT_TRUE(std::filesystem::is_symlink(ToSystemPath(Dir.File("Sent/ABC000006D.TLB"))));
    EXPECT_EQ(ReadBytes(Dir.File("elsewhere")), "mine");
    auto rows = JournalRows();
    ASSERT_EQ(rows.size(), 1u);
    rows[0][6] = "moment";
    EXPECT_THAT(rows[0], ElementsAre("ABC000007D", "DelCli", "1", "", "", "Закрытие счетов", "moment",
                                     "ABC000007D.TLB"));
    EXPECT_EQ(Kind(2).FileCount, 8);
}

// The journal window as the main window opens it: every send shows its row at once, and a
// resend adds its row to the journal file as it is, keeping also a row that reached the
// file since the window last read it.
TEST_F(ExportSendTest, TheOpenJournalShowsEachSendAtOnceAndAResendKeepsEveryRow)
{
    SelectClientList("7");
    TFrmMain main;
    const TMainWindowGlobal global(main);
    ASSERT_NO_FATAL_FAILURE(OpenJournal(main));
    const TStoreModel& list = *FrmJournal->JournalModel;
    EXPECT_EQ(list.rowCount(), 0);

    TExportWizard wizard(*Document);
    Export(wizard, "Закрытие счетов");
    ExpectSentPage("ABC000007D");
    ASSERT_EQ(list.rowCount(), 1);
    EXPECT_ANSI_EQ(list.Text(0, 0), "ABC000007D");

    SendArbitraryFile("Письмо");
    ASSERT_EQ(list.rowCount(), 2);
    EXPECT_ANSI_EQ(list.Text(0, 0), "письмо.txt");
    EXPECT_ANSI_EQ(list.Text(0, 1), "Произвольный файл");

    AppendStoreRow<TJournal>(Dir.File("Sent/ABC.JOURNAL"),
                             {"ABC000001", "Salary", "1", "5.00", "", "Другая программа", "01/03/2024 10:00:00"});
    FrmJournal->SelectItem(1);
    ResendSelectedRow();
    ASSERT_EQ(Posted().size(), 3u) << Bank.Logs();
    Attachment(Posted()[2], "ABC000007D.TLB");
    auto rows = JournalRows();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0][0], "ABC000007D");
    EXPECT_EQ(rows[1][0], "письмо.txt");
    EXPECT_EQ(rows[2][0], "ABC000001");
    rows[0][6] = rows[3][6] = "moment";
    EXPECT_EQ(rows[3], rows[0]);
    ASSERT_EQ(list.rowCount(), 4);
    EXPECT_EQ(FrmJournal->SelectedItem(), 0);
}

// Two profiles of the prefix ABC on one data folder, one posting, one mailing, both
// counting from 0: no container takes a name whose copy stands in "Sent/" already, each
// profile's counter goes on past the number it took, no archive copy is replaced, and the
// resend of the first row sends the first container.
TEST_F(ExportSendTest, TwoProfilesOfOnePrefixNeverGiveTwoContainersOneName)
{
    SelectHttpProfile({});
    WriteBytes(Dir.File("velton.ini"),
               Ini() + "[M]\r\nSendHost=127.0.0.1\r\nSendPort=" + std::to_string(Mail.StartSmtp()) +
                   "\r\nPgpKeyPath=" + Keys->Client.Path + "\r\nBankPgpKey=" + Keys->Bank.KeyId() +
                   "\r\nPrefix=ABC\r\nRecvUser=client\r\nRecvPass=secret\r\nDataPath=" + Dir.Path() + "\r\n");
    Profiles.Get()->Open(Dir.File("velton.ini"));
    TFrmMain main;
    const TMainWindowGlobal global(main);
    main.SelectProfile(1);
    TTestDocument mailed(Kind(2), Dir, {"Иванов  Иван;12345"});
    TExportWizard first(mailed);
    Export(first, "Почтой");
    ExpectSentPage("ABC000000D");
    ASSERT_EQ(Mail.Messages().size(), 1u) << Mail.Logs();
    const std::string firstContainer = Attachment(Mail.Messages()[0].Bytes, "ABC000000D.TLB");

    main.SelectProfile(0);
    TTestDocument posted(Kind(2), Dir, {"Петров  Петр;12346"});
    TExportWizard second(posted);
    Export(second, "По HTTP");
    ExpectSentPage("ABC000001D");
    // Another instance sent the next arbitrary file already.
    WriteBytes(Dir.File("Sent/ABC000000A.TLB"), "another instance's container");
    SendArbitraryFile("");
    ASSERT_EQ(Posted().size(), 2u) << Bank.Logs();
    EXPECT_THAT(OpenAtBank(Attachment(Posted()[0], "ABC000001D.TLB")), HasSubstr("FILE_NAME=ABC000001D\r\n"));
    Attachment(Posted()[1], "ABC000001A.TLB");
    const TIniFile ini(Dir.File("velton.ini"));
    EXPECT_EQ(ini.ReadString("P", "DelCli.FileCount", ""), "2");
    EXPECT_EQ(ini.ReadString("P", "Arbitrary.FileCount", ""), "2");
    EXPECT_EQ(ini.ReadString("M", "DelCli.FileCount", ""), "1");
    EXPECT_TRUE(ReadBytes(Dir.File("Sent/ABC000000D.TLB")) == firstContainer);
    EXPECT_EQ(ReadBytes(Dir.File("Sent/ABC000000A.TLB")), "another instance's container");
    const auto rows = JournalRows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0][7], "ABC000000D.TLB");
    EXPECT_EQ(rows[1][7], "ABC000001D.TLB");
    EXPECT_EQ(rows[2][7], "ABC000001A.TLB");

    main.ItmJournal->trigger();
    QCoreApplication::processEvents();
    ASSERT_TRUE(FrmJournal);
    FrmJournal->SelectItem(2);
    ResendSelectedRow();
    ASSERT_EQ(Posted().size(), 3u) << Bank.Logs();
    EXPECT_TRUE(Attachment(Posted()[2], "ABC000000D.TLB") == firstContainer);
}

// The last number: refused first, then sent by the retry; the next export overflows.
TEST_F(ExportSendTest, ARefusedSendRecordsNothingRetrySendsTheSameNumberAndTheNextOverflowsTheCounter)
{
    SelectClientList("999999");
    TExportWizard wizard(*Document);
    Bank.FailWith("500", "put");
    {
        TScriptedDialogs dialogs;
        dialogs.ExpectMessage("Сервер ответил ошибкой HTTP 500 Internal Server Error.", MessageBoxAnswer::Ok, ErrorBox);
        Export(wizard, "Закрытие");
    }
    EXPECT_ANSI_EQ(View.Page, "message:Произошла ошибка при отправке файла.");
    ExpectButtons(View.Buttons, "< Назад", "Повтор", true, true);
    EXPECT_THAT(Ini(), HasSubstr("\r\nDelCli.FileCount=999999\r\n"));
    EXPECT_FALSE(DirectoryExists(Dir.File("Sent/")));

    Bank.ClearFailures();
    wizard.Next();
    ExpectSentPage("ABC999999D");
    ASSERT_EQ(Posted().size(), 1u);
    Attachment(Posted()[0], "ABC999999D.TLB");
    EXPECT_THAT(Ini(), HasSubstr("\r\nDelCli.FileCount=1000000\r\n"));

    TExportWizard next(*Document);
    {
        TScriptedDialogs dialogs;
        dialogs.ExpectMessage("Переполнение счетчика выходного файла.", MessageBoxAnswer::Ok, ErrorBox);
        Export(next, "");
    }
    EXPECT_ANSI_EQ(View.Page, "message:Произошла ошибка при отправке файла.");
    EXPECT_EQ(Posted().size(), 1u);
    EXPECT_EQ(JournalRows().size(), 1u);
}

// Once the container is at the bank no failure may lead to the retry page, whose retry
// would send the same records under a new number: the user is warned of what could not
// be recorded, every other record is still made, and the wizard shows the sent file.
TEST_F(ExportSendTest, ACounterThatCannotBeStoredIsWarnedOfAndNotGivenToTheNextContainer)
{
    auto CounterWarning = [&](const AnsiString& baseName, const AnsiString& next) {
        return "Файл " + baseName + ".TLB отправлен в банк, но не удалось сохранить:\n- номер следующего файла: " +
               "Не удается открыть файл \"" + Dir.File("velton.ini") + "\". " + SysErrorMessage(EISDIR) +
               "\n\nФайл уже в банке: отправлять его еще раз не нужно.\n\nПеред следующей отправкой проверьте номер " +
               "следующего файла в профиле: он должен быть " + next + ".";
    };
    SelectClientList("7");
    TExportWizard wizard(*Document);
    // The profiles file can no longer be written.
    DeleteFile(Dir.File("velton.ini"));
    ForceDirectories(Dir.File("velton.ini/"));
    {
        TScriptedDialogs dialogs;
        dialogs.ExpectMessage(CounterWarning("ABC000007D", "8"), MessageBoxAnswer::Ok, WarningBox);
        SendWithoutComment(wizard);
    }
    ExpectSentPage("ABC000007D");
    EXPECT_TRUE(FileExists(Dir.File("Sent/ABC000007D.TLB")));
    EXPECT_EQ(JournalRows().size(), 1u);

    TExportWizard next(*Document);
    {
        TScriptedDialogs dialogs;
        dialogs.ExpectMessage(CounterWarning("ABC000008D", "9"), MessageBoxAnswer::Ok, WarningBox);
        SendWithoutComment(next);
    }
    ExpectSentPage("ABC000008D");
    ASSERT_EQ(Posted().size(), 2u);
    Attachment(Posted()[1], "ABC000008D.TLB");
}

// Number 999999 is the counter's last, and its name is taken in "Sent/" already: the send
// is refused as the counter's overflow, nothing reaches the bank, and the file that holds
// the name stays as it is.
TEST_F(ExportSendTest, WhenTheLastNumbersNameIsTakenTheCounterOverflowsAndNothingIsSent)
{
    SelectClientList("999999");
    ForceDirectories(Dir.File("Sent/"));
    WriteBytes(Dir.File("Sent/ABC999999D.TLB"), "another instance's container");
    TExportWizard wizard(*Document);
    {
        TScriptedDialogs dialogs;
        dialogs.ExpectMessage("Переполнение счетчика выходного файла.", MessageBoxAnswer::Ok, ErrorBox);
        Export(wizard, "Закрытие");
    }
    EXPECT_ANSI_EQ(View.Page, "message:Произошла ошибка при отправке файла.");
    EXPECT_TRUE(Posted().empty());
    EXPECT_EQ(SystemNames(Dir.File("Sent/")), std::vector<std::string>{"ABC999999D.TLB"});
    EXPECT_EQ(ReadBytes(Dir.File("Sent/ABC999999D.TLB")), "another instance's container");
}

// A journal row whose copy in "Sent/" is an empty file (a name held by a send whose copy
// was never stored): "Повторно" refuses it and sends nothing.
TEST_F(ExportSendTest, AResendOfARowWhoseArchiveCopyIsAnEmptyHeldFileIsRefused)
{
    SelectClientList("7");
    ForceDirectories(Dir.File("Sent/"));
    WriteBytes(Dir.File("Sent/ABC000006D.TLB"), "");
    AppendStoreRow<TJournal>(Dir.File("Sent/ABC.JOURNAL"), {"ABC000006D", "DelCli", "1", "", "", "Закрытие",
                                                           "01/03/2024 10:00:00", "ABC000006D.TLB"});
    TFrmMain main;
    const TMainWindowGlobal global(main);
    ASSERT_NO_FATAL_FAILURE(OpenJournal(main));
    FrmJournal->SelectItem(0);
    {
        TScriptedDialogs dialogs;
        dialogs.ExpectMessage("Отправить файл повторно?", MessageBoxAnswer::Yes);
        EXPECT_RAISES(FrmJournal->BtnRepeatClick(), Exception,
                      "Копия файла ABC000006D.TLB в папке Sent не сохранилась после отправки: отправить его "
                      "повторно нельзя");
    }
    EXPECT_TRUE(Posted().empty());
    EXPECT_EQ(JournalRows().size(), 1u);
}

// Another program puts a file of its own at the name that the send holds in "Sent/" while
// the container goes to the bank: the archive copy is refused with its reason, and that
// program's file stays as it is.
TEST_F(ExportSendTest, AnArchiveNameThatAnotherProgramReplacedDuringTheSendKeepsThatProgramsFile)
{
    SelectClientList("7");
    const AnsiString held = Dir.File("Sent/ABC000007D.TLB");
    Bank.ReplaceFileDuring("put", ToSystemPath(held), "another program's file");
    TExportWizard wizard(*Document);
    {
        TScriptedDialogs dialogs;
        dialogs.ExpectMessage("Файл ABC000007D.TLB отправлен в банк, но не удалось сохранить:\n- копию файла в папке "
                              "Sent: в папке Sent под именем ABC000007D.TLB теперь стоит другой файл (его записала "
                              "другая программа во время отправки); он оставлен как есть, копия этого файла не "
                              "сохранена\n\nФайл уже в банке: отправлять его еще раз не нужно.",
                              MessageBoxAnswer::Ok, WarningBox);
        Export(wizard, "Закрытие счетов");
    }
    ExpectSentPage("ABC000007D");
    EXPECT_EQ(Posted().size(), 1u);
    EXPECT_EQ(ReadBytes(held), "another program's file");
}

}  // namespace
