// The window helpers: list colours and the printable rectangle of reports.

#include "ui/Common.h"

#include "support/TestSupport.h"

#include "ui/QtText.h"

#include <QApplication>
#include <QCoreApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QImage>
#include <QPalette>
#include <QPrinter>
#include <QStandardItemModel>
#include <QTableView>
#include <QToolTip>

TEST(GridColors, OnWhiteRowsAlternateTintsAndLinesAreGrayAndNoChannelBorrows)
{
    EXPECT_EQ(StripeColor(0xFFFFFF, 0), 0xF7F7E7u);
    EXPECT_EQ(StripeColor(0xFFFFFF, 1), 0xFFFFEFu);
    EXPECT_EQ(GridLineColor(0xFFFFFF), 0xBFBFBFu);
    EXPECT_EQ(GrayOf(0x102030), 0x202020u);
    // A dark background stops at zero in each channel. Red 8, green 0x20, blue 0: subtracting whole values would borrow across channels.
    EXPECT_EQ(StripeColor(0x002008, 1), 0x002000u);
    EXPECT_EQ(StripeColor(0x002008, 0), 0x001800u);
    EXPECT_EQ(GridLineColor(0x302010), 0u);
    EXPECT_EQ(DarkenPerChannel(0x000000, 0x404040), 0u);
}

TEST(GridColors, ASelectedRowWithoutTheFocusTurnsNeutral)
{
    QPalette palette;
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::Text, Qt::black);
    palette.setColor(QPalette::Highlight, Qt::darkBlue);
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::Button, Qt::lightGray);

    const TRowColors focused = RowColors(palette, 3, true, true);
    EXPECT_EQ(focused.Background, QColor(Qt::darkBlue));
    EXPECT_EQ(focused.Text, QColor(Qt::white));
    const TRowColors unfocused = RowColors(palette, 3, true, false);
    EXPECT_EQ(unfocused.Background, QColor(Qt::lightGray));
    EXPECT_EQ(unfocused.Text, QColor(Qt::black));
    EXPECT_EQ(ColorOf(RowColors(palette, 0, false, true).Background), 0xF7F7E7u);
}

// Margins of 25, 10, 10 and 20 mm from the paper edge in printer pixels at 600 dpi (25 mm
// = 590 px, 10 mm = 236 px, 20 mm = 472 px, truncated): never negative, never beyond the
// page, never inside out.
TEST(PrintableRect, MarginsFromThePaperEdgeInPrinterPixels)
{
    struct TCase {
        const char* What;
        TPrinterGeometry Printer;
        QRect Expected;
    };
    const TCase cases[] = {
        {"A4, unprintable border of 100 px", {600, 600, 100, 100, 4960, 7016, 4760, 6816},
         QRect(QPoint(490, 136), QPoint(4960 - 100 - 236 - 1, 7016 - 100 - 472 - 1))},
        {"a border wider than the top margin, a page smaller than the paper less the margins",
         {600, 600, 300, 300, 4960, 7016, 4000, 6000}, QRect(290, 0, 4000 - 290, 6000)},
        {"paper 30 mm wide: the margins overlap", {600, 600, 0, 0, 708, 7016, 708, 7016},
         QRect(590, 236, 0, 7016 - 472 - 236)},
    };
    for (const TCase& test : cases)
        EXPECT_EQ(PrintableRect(test.Printer, 25, 10, 10, 20), test.Expected) << test.What;
}

TEST(PrintableRect, ReadsTheGeometryOfARealPrinter)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setResolution(300);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageMargins(QMarginsF(5, 5, 5, 5), QPageLayout::Millimeter);
    const TPrinterGeometry geometry = PrinterGeometry(printer);
    EXPECT_EQ(geometry.DpiX, 300);
    EXPECT_NEAR(geometry.PhysicalWidth, 2480, 1);
    EXPECT_NEAR(geometry.OffsetX, 59, 1);
    EXPECT_NEAR(geometry.PageWidth, 2480 - 2 * 59, 2);
    const QRect rect = GetPrintableRect(printer, 25, 10, 10, 20);
    EXPECT_EQ(rect.left(), 295 - geometry.OffsetX);
}

namespace {

// A list in the common look over one row of cells, with captions, at the given widths.
class GridTextTest : public ::testing::Test {
protected:
    GridTextTest()
    {
        Model.setHorizontalHeaderLabels({ToQString("Имя файла"), ToQString("Комментарий к файлу")});
        Model.appendRow({new QStandardItem(ToQString("письмо в банк о зарплате.txt")), new QStandardItem(ToQString("ок"))});
        ApplyListLook(&List, &Model, 19);
        SetColumnWidths(&List, {85, 60}, 1);
        List.resize(400, 200);
        List.show();
    }

    // The tooltip over the cell (an empty text when none shows).
    QString TooltipOver(int column)
    {
        const QRect cell = List.visualRect(Model.index(0, column));
        QHelpEvent event(QEvent::ToolTip, cell.center(), List.viewport()->mapToGlobal(cell.center()));
        QCoreApplication::sendEvent(List.viewport(), &event);
        return event.isAccepted() ? QToolTip::text() : QString();
    }

    // The tooltip over a header section (an empty text when none shows): a tip shown
    // before keeps its text when the header shows none.
    QString TooltipOverHeader(int section)
    {
        QHeaderView* header = List.horizontalHeader();
        const QPoint point(header->sectionViewportPosition(section) + 5, header->height() / 2);
        const QString before = QStringLiteral("-");
        QToolTip::showText(header->mapToGlobal(point), before, header);
        QHelpEvent event(QEvent::ToolTip, point, header->viewport()->mapToGlobal(point));
        QCoreApplication::sendEvent(header->viewport(), &event);
        return QToolTip::text() == before ? QString() : QToolTip::text();
    }

    // The label that shows the tooltip.
    static QWidget* TooltipLabel()
    {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (widget->inherits("QTipLabel") && widget->isVisible())
                return widget;
        return nullptr;
    }

    // The header as drawn, from its left edge to the width given.
    QImage HeaderStart(int sectionWidth, int width)
    {
        List.horizontalHeader()->resizeSection(0, sectionWidth);
        return List.horizontalHeader()->grab().toImage().copy(0, 0, width, List.horizontalHeader()->height());
    }

    QStandardItemModel Model;
    QTableView List;
};

}  // namespace

TEST_F(GridTextTest, ACutCellShowsItsWholeTextAsATooltipAndAWholeOneNone)
{
    const QString tip = TooltipOver(0);
    EXPECT_TRUE(tip.contains(ToQString("письмо в банк о зарплате.txt"))) << tip.toStdString();
    EXPECT_TRUE(TooltipOver(1).isEmpty());

    // Text that looks like markup is shown as written.
    Model.item(0, 0)->setText(QStringLiteral("<b>a very long name of a file</b>"));
    EXPECT_TRUE(TooltipOver(0).contains(QStringLiteral("&lt;b&gt;"))) << TooltipOver(0).toStdString();
    QToolTip::hideText();
}

TEST_F(GridTextTest, ACutCaptionShowsItselfWholeAsATooltipAndAWholeOneNone)
{
    Model.setHorizontalHeaderLabels({ToQString("Комментарий к файлу"), ToQString("Имя")});
    EXPECT_TRUE(TooltipOverHeader(0).contains(ToQString("Комментарий к файлу"))) << TooltipOverHeader(0).toStdString();
    EXPECT_TRUE(TooltipOverHeader(1).isEmpty());
    QToolTip::hideText();
}

TEST_F(GridTextTest, ATooltipKeepsItsTextOnOneLineWhileItFitsTheScreen)
{
    const QString name = ToQString("Эталонный список получателей с 12-значными номерами счетов");
    Model.item(0, 0)->setText(name);
    ASSERT_TRUE(TooltipOver(0).contains(name));
    const QWidget* label = TooltipLabel();
    ASSERT_NE(label, nullptr);
    EXPECT_LT(label->height(), 2 * QFontMetrics(QToolTip::font()).lineSpacing());
    EXPECT_GT(label->width(), QFontMetrics(QToolTip::font()).horizontalAdvance(name));
    QToolTip::hideText();
}

TEST_F(GridTextTest, ACaptionTooLongForItsColumnIsCutAtItsEndOnly)
{
    // The caption's beginning is drawn alike in a column that cuts it and in one that
    // holds it whole.
    Model.setHorizontalHeaderLabels({ToQString("Комментарий к файлу"), ToQString("Имя")});
    const QImage narrow = HeaderStart(60, 30);
    const QImage wide = HeaderStart(300, 30);
    EXPECT_EQ(narrow, wide);
}
