// The export's reports as users get them: the error list saved as RTF and read back by
// LibreOffice, the registry printed to a PDF file and read back by pdftotext.

#include "../ExportDocuments.h"
#include "../RecordingView.h"
#include "exchange/ExchangeProfile.h"
#include "exchange/RunProgram.h"

#include "support/ScriptedDialogs.h"
#include "ui/ExportActions.h"
#include "ui/ExportWizard.h"
#include "ui/Reports.h"

#include <QPrinter>

#include <gmock/gmock.h>

namespace {

using ::testing::HasSubstr;

class ExportReportsReadBackTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Profile = std::make_unique<TExchangeProfile>(
            Dir, std::vector<AnsiString>{"Caption=ООО \"Ромашка\" {Москва}", "Salary.Fields=2,1,3"});
        // The name comes from the second column.
        Document = std::make_unique<TTestDocument>(
            *Profile->Profile().ExportProfiles.At(0), Dir,
            std::vector<std::string>{"12345;Иванов Иван;1000.5", "12346;Петров\\Пётр;10", "12347;Сидоров {Сид};1"});
    }
    void TearDown() override { SetPrinterChooser(nullptr); }

    TTempDir Dir;
    std::unique_ptr<TExchangeProfile> Profile;
    std::unique_ptr<TTestDocument> Document;
};

TEST_F(ExportReportsReadBackTest, TheSavedErrorListReadsBackInLibreOffice)
{
    TRecordingView view;
    TExportWizard wizard(*Document);
    wizard.SetView(&view);
    wizard.Start();
    wizard.Next();
    ASSERT_ANSI_EQ(view.Page, "end-prepare:3/2");

    WriteBytes(Dir.File("errors.rtf"), "old");
    {
        TScriptedDialogs dialogs;
        dialogs.ExpectSaveFile(Dir.File("errors"))
            .ExpectMessage(Dir.File("errors.rtf") + " уже существует.\nЗаменить?", MessageBoxAnswer::Yes);
        SaveExportErrors(*Document);
    }
    const TProgramRun office = RunProgram({"soffice", "-env:UserInstallation=file://" + Dir.Path() + "office",
                                           "--headless", "--convert-to", "txt:Text (encoded):UTF8", "--outdir",
                                           Dir.Path(), Dir.File("errors.rtf")});
    ASSERT_EQ(office.ExitCode, 0) << office.Errors;
    std::string text = ReadBytes(Dir.File("errors.txt"));
    text.erase(0, text.find(AnsiToUtf8("Ошибки")));   // the byte-order mark
    EXPECT_EQ(text, AnsiToUtf8("Ошибки экспорта: ООО \"Ромашка\" {Москва}\n\n"
                               "Ошибка в строке 2 (Петров\\Пётр):\n"
                               "ФИО: Обнаружен недопустимый символ: \\\n\n"
                               "Ошибка в строке 3 (Сидоров {Сид}):\n"
                               "ФИО: Обнаружен недопустимый символ: {\n\n"));
}

TEST_F(ExportReportsReadBackTest, TheRegistryPrintsItsColumnsAndTotalsToAPdf)
{
    SetPrinterChooser([this](QPrinter& printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromUtf8(AnsiToUtf8(Dir.File("registry.pdf"))));
        return true;
    });
    Document->Marks().Info(1).Selected = 0;
    Document->Marks().Info(2).Selected = 0;
    TRecordingView view;
    TExportWizard wizard(*Document);
    wizard.SetView(&view);
    wizard.Start();
    wizard.Next();
    wizard.Next();
    ASSERT_ANSI_EQ(view.Page, "registry:1 1000.50 0.00");
    wizard.LinkClick("PrintRegistry");
    EXPECT_ANSI_EQ(view.Page, "registry:1 1000.50 0.00");

    const TProgramRun pdf = RunProgram({"pdftotext", "-layout", Dir.File("registry.pdf"), "-"});
    ASSERT_EQ(pdf.ExitCode, 0) << pdf.Errors;
    for (const char* line : {"Список на зачисление: ООО \"Ромашка\" {Москва}",
                             "ФИО                                         |        Счет        |       Сумма",
                             "ИВАНОВ ИВАН                                  000000012345              1000.50",
                             "Итого сумма зачисления:                                                1000.50"})
        EXPECT_THAT(pdf.Output, HasSubstr(AnsiToUtf8(line)));
}

}  // namespace
