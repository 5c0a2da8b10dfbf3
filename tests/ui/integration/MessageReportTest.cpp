// The report of one message as the user gets it from the messages window: saved as RTF and
// read back by LibreOffice, printed to a PDF and read back by pdftotext.

#include "exchange/ExchangeProfile.h"
#include "exchange/RunProgram.h"

#include "documents/Internals.h"
#include "support/ScriptedDialogs.h"
#include "ui/QtText.h"
#include "ui/Reports.h"
#include "ui/UFrmMessages.h"

#include <QApplication>
#include <QPrinter>

#include <algorithm>

namespace {

std::string Collapsed(std::string text)
{
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}

void ExpectAll(const std::string& text, std::initializer_list<const char*> expected)
{
    for (const char* part : expected)
        EXPECT_NE(text.find(AnsiToUtf8(part)), std::string::npos) << U8(part) << "\n" << text;
}

}  // namespace

TEST(MessageReport, SavedAsRtfAndPrintedToPdfWithEveryPartOfTheMessage)
{
    TTempDir dir;
    TExchangeProfile profile(dir, {});
    {
        TMessages store;
        store.LoadFromFile(dir.File("Cache/ABC.MESSAGES"));
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
    auto* window = new TFrmMessages;
    window->show();
    QApplication::processEvents();

    dialogs.ExpectSaveFile(dir.File("message"));
    window->BtnSaveClick();
    const TProgramRun office = RunProgram({"soffice", "-env:UserInstallation=file://" + dir.Path() + "profile",
                                           "--headless", "--convert-to", "txt:Text (encoded):UTF8", "--outdir",
                                           dir.Path(), dir.File("message.rtf")});
    ASSERT_EQ(office.ExitCode, 0) << office.Errors;
    const std::string text = ReadBytes(dir.File("message.txt"));
    ExpectAll(text, {"Тема: Выписка за март", "Дата создания: 01/03/2024 10:00:00",
                     "Дата приема: 02/03/2024 11:30:00", "Вложения:", "Эталонный список",
                     "Список добавленных клиентов (ABC000007N.TXT)", "ABC000002.TLB: Неверный формат",
                     "Уважаемый клиент {ООО \"Ромашка\"}!", "Остаток: 100%"});
    EXPECT_NE(text.find(std::string(100, '-')), std::string::npos);
    // The failed attachment's line is dark red.
    EXPECT_NE(ReadBytes(dir.File("message.rtf")).find("\\red128\\green0\\blue0;"), std::string::npos);

    const AnsiString pdf = dir.File("message.pdf");
    SetPrinterChooser([&](QPrinter& printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(ToQString(pdf));
        return true;
    });
    window->BtnPrintClick();
    SetPrinterChooser(nullptr);
    const TProgramRun reader = RunProgram({"pdftotext", "-layout", pdf, "-"});
    ASSERT_EQ(reader.ExitCode, 0) << reader.Errors;
    ExpectAll(Collapsed(reader.Output), {"Тема: Выписка за март", "Дата приема: 02/03/2024 11:30:00",
                                         "ABC000002.TLB: Неверный формат", "Остаток: 100%"});
    delete window;
}
