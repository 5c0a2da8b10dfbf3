// The reports as users get them: saved as RTF and read back by LibreOffice, printed to a
// PDF file and read back by pdftotext. The rich text writer with its attributes; the
// export's error list and registry; the report of one message from the messages window.

#include "../ExportDocuments.h"
#include "../RecordingView.h"
#include "exchange/ExchangeProfile.h"
#include "exchange/RunProgram.h"

#include "documents/Internals.h"
#include "support/ScriptedDialogs.h"
#include "ui/ExportActions.h"
#include "ui/ExportWizard.h"
#include "ui/QtText.h"
#include "ui/Reports.h"
#include "ui/UFrmMessages.h"

#include <QApplication>
#include <QPrinter>

#include <algorithm>

#include <gmock/gmock.h>

namespace {

using ::testing::HasSubstr;

class ReportsReadBackTest : public ::testing::Test {
protected:
    void TearDown() override { SetPrinterChooser(nullptr); }

    // The file "<name>.rtf" of the folder converted by LibreOffice to the filter's format,
    // as UTF-8 with line breaks as blanks (its writers wrap long lines).
    std::string OfficeText(const AnsiString& name, const std::string& extension, const std::string& filter)
    {
        const TProgramRun office = RunProgram({"soffice", "-env:UserInstallation=file://" + Dir.Path() + "office",
                                               "--headless", "--convert-to", extension + ":" + filter, "--outdir",
                                               Dir.Path(), Dir.File(name + ".rtf")});
        EXPECT_EQ(office.ExitCode, 0) << office.Errors;
        return ReadBytes(Dir.File(name + "." + extension));
    }
    static std::string Collapsed(std::string text)
    {
        std::replace(text.begin(), text.end(), '\n', ' ');
        return text;
    }

    // The next print goes to the PDF file "<name>.pdf" of the folder.
    void PrintTo(const AnsiString& name)
    {
        SetPrinterChooser([pdf = Dir.File(name + ".pdf")](QPrinter& printer) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(ToQString(pdf));
            return true;
        });
    }
    // The text of "<name>.pdf" as pdftotext lays it out.
    std::string PdfText(const AnsiString& name)
    {
        const TProgramRun reader = RunProgram({"pdftotext", "-layout", Dir.File(name + ".pdf"), "-"});
        EXPECT_EQ(reader.ExitCode, 0) << reader.Errors;
        return reader.Output;
    }

    static void ExpectAll(const std::string& text, std::initializer_list<const char*> expected)
    {
        for (const char* part : expected)
            EXPECT_THAT(text, HasSubstr(AnsiToUtf8(part))) << U8(part);
    }

    TTempDir Dir;
};

TEST_F(ReportsReadBackTest, LibreOfficeReadsTheTextAndItsAttributes)
{
    TRichText text("Times New Roman", 12);
    text.SetAlignment(TRichAlignment::Center);
    text.Font().Underline = true;
    text.Add("Ошибки экспорта: ООО {Ромашка} \\ 100%\n");
    text.Font().Underline = false;
    text.SetAlignment(TRichAlignment::Left);
    text.Font().Bold = true;
    text.Add("Тема: ");
    text.Font().Bold = false;
    text.Font().Italic = true;
    text.Font().Color = 0x000080;
    text.Add("Ёлки, №5 «ёж»\n");
    SaveRichTextAsRtf(text, Dir.File("report.rtf"));

    const std::string html = Collapsed(OfficeText("report", "html", "HTML (StarWriter):UTF8"));
    ExpectAll(html, {"Ошибки экспорта: ООО {Ромашка} \\ 100%", "Тема: ", "Ёлки, №5 «ёж»"});
    for (const char* attribute : {"<u>", "<b>", "<i>", "#800000", "center"})
        EXPECT_THAT(html, HasSubstr(attribute));
}

class ExportReportsReadBackTest : public ReportsReadBackTest {
protected:
    void SetUp() override
    {
        Profile = std::make_unique<TExchangeProfile>(
            Dir, std::vector<AnsiString>{"Caption=ООО \"Ромашка\" {Москва}", "Salary.Fields=2,1,3"});
        // The name comes from the second column.
        Document = std::make_unique<TTestDocument>(
            *Profile->Profile().ExportProfiles.At(0), Dir,
            std::vector<std::string>{"12345;Иванов Иван;1000.5", "12346;Петров\\Пётр;10", "12347;Сидоров {Сид};1"});
        Wizard = std::make_unique<TExportWizard>(*Document);
        Wizard->SetView(&View);
        Wizard->Start();
        Wizard->Next();
    }

    std::unique_ptr<TExchangeProfile> Profile;
    std::unique_ptr<TTestDocument> Document;
    TRecordingView View;
    std::unique_ptr<TExportWizard> Wizard;
};

TEST_F(ExportReportsReadBackTest, TheSavedErrorListReadsBackInLibreOffice)
{
    ASSERT_ANSI_EQ(View.Page, "end-prepare:3/2");
    WriteBytes(Dir.File("errors.rtf"), "old");
    {
        TScriptedDialogs dialogs;
        dialogs.ExpectSaveFile(Dir.File("errors"))
            .ExpectMessage(Dir.File("errors.rtf") + " уже существует.\nЗаменить?", MessageBoxAnswer::Yes);
        SaveExportErrors(*Document);
    }
    std::string text = OfficeText("errors", "txt", "Text (encoded):UTF8");
    text.erase(0, text.find(AnsiToUtf8("Ошибки")));   // the byte-order mark
    EXPECT_EQ(text, AnsiToUtf8("Ошибки экспорта: ООО \"Ромашка\" {Москва}\n\n"
                               "Ошибка в строке 2 (Петров\\Пётр):\n"
                               "ФИО: Обнаружен недопустимый символ: \\\n\n"
                               "Ошибка в строке 3 (Сидоров {Сид}):\n"
                               "ФИО: Обнаружен недопустимый символ: {\n\n"));
}

TEST_F(ExportReportsReadBackTest, TheRegistryPrintsItsColumnsAndTotalsToAPdf)
{
    Wizard->Next();
    ASSERT_ANSI_EQ(View.Page, "registry:1 1000.50 0.00");
    PrintTo("registry");
    Wizard->LinkClick("PrintRegistry");
    EXPECT_ANSI_EQ(View.Page, "registry:1 1000.50 0.00");
    ExpectAll(PdfText("registry"),
              {"Список на зачисление: ООО \"Ромашка\" {Москва}",
               "ФИО                                         |        Счет        |       Сумма",
               "ИВАНОВ ИВАН                                  000000012345              1000.50",
               "Итого сумма зачисления:                                                1000.50"});
}

// The check names a letter of a UTF-8 list that CP1251 lacks; the saved and the printed
// error list show that letter, as the screen does.
TEST_F(ReportsReadBackTest, TheErrorListShowsALetterCp1251LacksSavedAndPrinted)
{
    const std::string schwa = "\xD3\x98";   // "Ә"
    TExchangeProfile profile(Dir, {"Salary.Charset=UTF8", "Salary.Fields=2,1,3"});
    TTestDocument document(*profile.Profile().ExportProfiles.At(0), Dir,
                           {AnsiToUtf8("12345;") + schwa + AnsiToUtf8("лмира Иванова;10")});
    TRecordingView view;
    TExportWizard wizard(document);
    wizard.SetView(&view);
    wizard.Start();
    wizard.Next();
    const std::string message = AnsiToUtf8("ФИО: символа \"") + schwa + AnsiToUtf8("\" нет в кодировке Windows-1251");
    ASSERT_EQ(document.Marks().ErrorText(0), message);

    {
        TScriptedDialogs dialogs;
        dialogs.ExpectSaveFile(Dir.File("errors"));
        SaveExportErrors(document);
    }
    EXPECT_THAT(OfficeText("errors", "txt", "Text (encoded):UTF8"), HasSubstr(message));
    PrintTo("errors");
    PrintExportErrors(document);
    EXPECT_THAT(PdfText("errors"), HasSubstr(message));
}

TEST_F(ReportsReadBackTest, TheMessageIsSavedAsRtfAndPrintedToPdfWhole)
{
    TExchangeProfile profile(Dir, {});
    {
        TMessages store;
        store.LoadFromFile(Dir.File("Cache/ABC.MESSAGES"));
        store.Append();
        store.CurRecord()->Set(0, "Уважаемый клиент {ООО \"Ромашка\"}!\r\nОстаток: 100%\r\n");
        store.CurRecord()->Set(1, "Эталонный список\r\nСписок добавленных клиентов (ABC000007N.TXT)\r\n");
        store.CurRecord()->Set(2, "ABC000002.TLB: Неверный формат\r\n");
        store.CurRecord()->Set(3, "Выписка за март");
        store.CurRecord()->Set(4, "01/03/2024 10:00:00");
        store.CurRecord()->Set(5, "02/03/2024 11:30:00");
        store.SaveToFile(AnsiString());
    }
    TScriptedDialogs dialogs;
    auto window = std::make_unique<TFrmMessages>();
    window->show();
    QApplication::processEvents();

    dialogs.ExpectSaveFile(Dir.File("message"));
    window->BtnSaveClick();
    const std::string text = OfficeText("message", "txt", "Text (encoded):UTF8");
    ExpectAll(text, {"Тема: Выписка за март", "Дата создания: 01/03/2024 10:00:00",
                     "Дата приема: 02/03/2024 11:30:00", "Вложения:", "Эталонный список",
                     "Список добавленных клиентов (ABC000007N.TXT)", "ABC000002.TLB: Неверный формат",
                     "Уважаемый клиент {ООО \"Ромашка\"}!", "Остаток: 100%"});
    EXPECT_THAT(text, HasSubstr(std::string(100, '-')));
    // The failed attachment's line is dark red.
    EXPECT_THAT(ReadBytes(Dir.File("message.rtf")), HasSubstr("\\red128\\green0\\blue0;"));

    PrintTo("message");
    window->BtnPrintClick();
    ExpectAll(Collapsed(PdfText("message")), {"Тема: Выписка за март", "Дата приема: 02/03/2024 11:30:00",
                                              "ABC000002.TLB: Неверный формат", "Остаток: 100%"});
}

}  // namespace
