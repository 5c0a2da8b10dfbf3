// The report side of the screen: the save dialog's question and printing to a PDF file.

#include "ui/Reports.h"

#include "exchange/RunProgram.h"
#include "platform/SysUtils.h"
#include "support/ScriptedDialogs.h"

#include <QPrinter>

TEST(AskSaveFileName, CompletesTheExtensionAndAsksBeforeReplacing)
{
    TTempDir dir;
    WriteBytes(dir.File("errors.rtf"), "old");
    TFileDialogRequest request;
    request.DefaultExt = "rtf";
    {
        TScriptedDialogs dialogs;
        dialogs.ExpectSaveFile(dir.File("new"));
        EXPECT_EQ(AskSaveFileName(request), dir.File("new.rtf"));
    }
    {
        TScriptedDialogs dialogs;
        dialogs.ExpectSaveFile(dir.File("errors"))
            .ExpectMessage(dir.File("errors.rtf") + " уже существует.\nЗаменить?", MessageBoxAnswer::No, 0x134)
            .ExpectSaveFile(dir.File("errors.rtf"))
            .ExpectMessage(dir.File("errors.rtf") + " уже существует.\nЗаменить?", MessageBoxAnswer::Yes, 0x134);
        EXPECT_EQ(AskSaveFileName(request), dir.File("errors.rtf"));
        // The dialog came back with the name the user had chosen.
        EXPECT_EQ(dialogs.Asked()[2].Request.FileName, dir.File("errors.rtf"));
    }
    {
        TScriptedDialogs dialogs;
        dialogs.ExpectSaveFile(std::nullopt);
        EXPECT_FALSE(AskSaveFileName(request));
    }
    EXPECT_EQ(ReadBytes(dir.File("errors.rtf")), "old");
}

TEST(PrintRichText, PrintsEveryPageInsideTheMarginsToAPdf)
{
    TTempDir dir;
    TRichText text("Courier New", 10);
    text.Font().Bold = true;
    text.Add("Тема: первая строка\n");
    text.Font().Bold = false;
    for (int line = 1; line <= 150; ++line)
        text.Add("Строка " + IntToStr(line) + "\n");

    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromUtf8(AnsiToUtf8(dir.File("report.pdf"))));
    PrintRichText(text, printer, "Экспорт: отчёт");

    const TProgramRun pdf = RunProgram({"pdftotext", "-layout", dir.File("report.pdf"), "-"});
    ASSERT_EQ(pdf.ExitCode, 0) << pdf.Errors;
    const std::string shown = pdf.Output;
    EXPECT_NE(shown.find(AnsiToUtf8("Тема: первая строка")), std::string::npos);
    EXPECT_NE(shown.find(AnsiToUtf8("Строка 150")), std::string::npos);
    EXPECT_NE(shown.find('\f'), shown.size() - 1) << "150 lines of 10 points take more than one page";
}
