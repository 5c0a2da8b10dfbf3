// The export from the check to the bank with the real gpg and the local servers: what the
// bank receives, opened on the bank's side with its own key and an independent zip reader,
// and what the program records after the send, also when recording fails.

#include "../ExportDocuments.h"
#include "../RecordingView.h"
#include "BankSide.h"

#include "documents/Charsets.h"
#include "documents/Common.h"
#include "exchange/Incoming.h"
#include "platform/Paths.h"
#include "platform/SysUtils.h"
#include "ui/ExportWizard.h"

#include <unistd.h>

#include <cerrno>
#include <filesystem>

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

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

    TExportWizard second(document);
    Export(second, "Зарплата за март");
    ExpectSentPage("ABC000043");
    ASSERT_EQ(Mail.Messages().size(), 2u);
    EXPECT_THAT(OpenAtBank(Attachment(Mail.Messages()[1].Bytes, "ABC000043.TLB")), HasSubstr("FILE_NAME=ABC000043\r\n"));
    EXPECT_EQ(JournalRows().size(), 2u);
    EXPECT_TRUE(FileExists(Dir.File("Sent/ABC000042.TLB")));
    EXPECT_THAT(Ini(), HasSubstr("\r\nSalary.FileCount=44\r\n"));
}

TEST_F(ExportSendTest, ClientListPostedToTheBankHasNoTotals)
{
    SelectClientList("7");
    // A link planted at the name of the archive copy: the copy takes its place.
    ForceDirectories(Dir.File("Sent/"));
    WriteBytes(Dir.File("elsewhere"), "mine");
    ASSERT_EQ(symlink(ToSystemPath(Dir.File("elsewhere")).c_str(), ToSystemPath(Dir.File("Sent/ABC000007D.TLB")).c_str()), 0);
    int journalReloads = 0;
    StoreWindows.ReloadJournal = [&] { ++journalReloads; };
    TExportWizard wizard(*Document);
    Export(wizard, "Закрытие счетов");
    StoreWindows.ReloadJournal = nullptr;
    ExpectSentPage("ABC000007D");
    EXPECT_EQ(journalReloads, 1);

    const std::vector<std::string> posted = Posted();
    ASSERT_EQ(posted.size(), 1u) << Bank.Logs();
    const std::string container = Attachment(posted[0], "ABC000007D.TLB");
    EXPECT_EQ(Hex(OpenAtBank(container)),
              Hex(IniText({"FILE_TYPE=DELCLI", "ARM_VERSION=" + GetShortFileVersion(), "PREFIX=ABC",
                          "FILE_NAME=ABC000007D", "FILE_COMMENT=Закрытие счетов", "<DATA>"}) +
                  "ИВАНОВ ИВАН;000000012345\r\n"));
    EXPECT_TRUE(ReadBytes(Dir.File("Sent/ABC000007D.TLB")) == container);
    EXPECT_FALSE(std::filesystem::is_symlink(ToSystemPath(Dir.File("Sent/ABC000007D.TLB"))));
    EXPECT_EQ(ReadBytes(Dir.File("elsewhere")), "mine");
    auto rows = JournalRows();
    ASSERT_EQ(rows.size(), 1u);
    rows[0][6] = "moment";
    EXPECT_THAT(rows[0], ElementsAre("ABC000007D", "DelCli", "1", "", "", "Закрытие счетов", "moment",
                                     "ABC000007D.TLB"));
    EXPECT_EQ(Kind(2).FileCount, 8);
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
               "Не удается открыть файл \"" + Dir.File("velton.ini") + "\". " + SysErrorMessage(EISDIR) + "\n\nПеред следующей отправкой проверьте номер " +
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

}  // namespace
