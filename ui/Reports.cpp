#include "ui/Reports.h"

#include "documents/Common.h"
#include "documents/Profiles.h"
#include "platform/Exception.h"
#include "platform/Paths.h"
#include "ui/Common.h"
#include "ui/QtText.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

namespace {

TPrinterChooser& PrinterChooser()
{
    static TPrinterChooser chooser;
    return chooser;
}

Qt::Alignment QtAlignment(TRichAlignment alignment)
{
    switch (alignment) {
    case TRichAlignment::Center: return Qt::AlignHCenter;
    case TRichAlignment::Right: return Qt::AlignRight;
    default: return Qt::AlignLeft;
    }
}

QTextCharFormat CharFormat(const TRichFont& font)
{
    QTextCharFormat format;
    format.setFontFamilies({ToQString(font.Name)});
    format.setFontPointSize(font.Size);
    format.setFontWeight(font.Bold ? QFont::Bold : QFont::Normal);
    format.setFontItalic(font.Italic);
    format.setFontUnderline(font.Underline);
    format.setForeground(font.Color == RichAutoColor ? QColor(Qt::black) : ToQColor(font.Color));
    return format;
}

QTextBlockFormat BlockFormat(const TRichParagraph& paragraph)
{
    QTextBlockFormat format;
    format.setAlignment(QtAlignment(paragraph.Alignment));
    format.setTextIndent(paragraph.FirstIndent);
    return format;
}

bool HasExtension(const AnsiString& fileName)
{
    return !ExtractFileExt(fileName).empty();
}

}  // namespace

std::unique_ptr<QTextDocument> ToTextDocument(const TRichText& text)
{
    auto document = std::make_unique<QTextDocument>();
    document->setDocumentMargin(0);
    QTextCursor cursor(document.get());
    bool first = true;
    for (const TRichParagraph& paragraph : text.Paragraphs()) {
        if (first)
            cursor.setBlockFormat(BlockFormat(paragraph));
        else
            cursor.insertBlock(BlockFormat(paragraph));
        first = false;
        for (const TRichRun& run : paragraph.Runs)
            cursor.insertText(QString::fromStdString(run.Utf8Text), CharFormat(run.Font));
    }
    return document;
}

void PrintRichText(const TRichText& text, QPrinter& printer, const AnsiString& jobTitle)
{
    printer.setDocName(ToQString(jobTitle));
    const QRect area = GetPrintableRect(printer, ReportMarginLeft, ReportMarginRight, ReportMarginTop,
                                        ReportMarginBottom);
    std::unique_ptr<QTextDocument> document = ToTextDocument(text);
    // Lay the text out in printer pixels, one page the height of the printable rectangle.
    document->documentLayout()->setPaintDevice(&printer);
    document->setPageSize(QSizeF(std::max(area.width(), 1), std::max(area.height(), 1)));
    QPainter painter;
    if (!painter.begin(&printer))
        throw Exception("Не удалось начать печать");
    const int pageCount = document->pageCount();
    for (int page = 0; page < pageCount; ++page) {
        if (page > 0)
            printer.newPage();
        const QRectF pageRect(0, double(page) * area.height(), area.width(), area.height());
        painter.save();
        painter.translate(area.left(), area.top() - pageRect.top());
        painter.setClipRect(pageRect);
        document->drawContents(&painter, pageRect);
        painter.restore();
    }
    painter.end();
}

bool ChoosePrinter(QPrinter& printer)
{
    if (PrinterChooser())
        return PrinterChooser()(printer);
    QPrintDialog dialog(&printer, QApplication::activeWindow());
    SetDialogBorder(&dialog);
    // The dialog has taken the printer's file name as its suggestion for a print to a
    // file; without it the printer goes back to the default one, which the dialog offers
    // first.
    if (!printer.outputFileName().isEmpty())
        printer.setOutputFileName(QString());
    return dialog.exec() == QDialog::Accepted;
}

void SetPrinterChooser(TPrinterChooser chooser)
{
    PrinterChooser() = std::move(chooser);
}

AnsiString DialogStartFolder(const AnsiString& fileName)
{
    if (!fileName.empty())
        return ExtractFilePath(fileName);
    const TProfile* profile = Profiles.Get()->Current();
    return profile ? IncludeTrailingPathDelimiter(profile->DataPath) : AnsiString();
}

std::optional<AnsiString> AskSaveFileName(TFileDialogRequest request)
{
    if (request.InitialDir.empty())
        request.InitialDir = DialogStartFolder(request.FileName);
    while (true) {
        std::optional<AnsiString> chosen = Dialogs().SaveFileName(request);
        if (!chosen)
            return std::nullopt;
        AnsiString fileName = *chosen;
        if (!HasExtension(fileName) && !request.DefaultExt.empty())
            fileName += "." + request.DefaultExt;
        if (!FileExists(fileName) ||
            AppMessageBox(fileName + " уже существует.\nЗаменить?",
                          MessageBoxFlags::YesNo | MessageBoxFlags::IconWarning | MessageBoxFlags::DefaultButton2) ==
                MessageBoxAnswer::Yes)
            return fileName;
        request.FileName = fileName;
    }
}

bool SaveReportAs(const TRichText& text, const AnsiString& suggestedName, const AnsiString& initialDir)
{
    TFileDialogRequest request;
    request.Filter = RtfFileFilter;
    request.DefaultExt = "rtf";
    request.FileName = suggestedName;
    request.InitialDir = initialDir;
    const std::optional<AnsiString> fileName = AskSaveFileName(request);
    if (!fileName)
        return false;
    SaveRichTextAsRtf(text, *fileName);
    return true;
}

bool PrintReport(const TRichText& text, const AnsiString& jobTitle, const AnsiString& suggestedPdf)
{
    QPrinter printer(QPrinter::HighResolution);
    if (!suggestedPdf.empty())
        printer.setOutputFileName(ToQString(MapDrivePath(suggestedPdf)));
    if (!ChoosePrinter(printer))
        return false;
    PrintRichText(text, printer, jobTitle);
    return true;
}
