#include "ui/Common.h"

#include "ui/Guard.h"
#include "ui/Images.h"
#include "ui/QtText.h"
#include "ui/UFrmMain.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QColor>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeySequence>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPainter>
#include <QPalette>
#include <QPen>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QScreen>
#include <QStyle>
#include <QTableView>
#include <QToolBar>
#include <QMenu>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <QWidget>
#include <QWindow>

#include <algorithm>

void ShowAndRestore(QWidget* window)
{
    // A document window lives inside a frame of the multiple-document area: restore and
    // raise the frame, not the widget inside it.
    QWidget* frame = window;
    if (auto* subWindow = qobject_cast<QMdiSubWindow*>(window->parentWidget()))
        frame = subWindow;
    if (frame->isMinimized())
        frame->showNormal();
    else
        frame->show();
    frame->raise();
    frame->activateWindow();
    if (auto* subWindow = qobject_cast<QMdiSubWindow*>(frame); subWindow && subWindow->mdiArea())
        subWindow->mdiArea()->setActiveSubWindow(subWindow);
}

void CenterOverMain(QWidget* window)
{
    if (!FrmMain || window == FrmMain)
        return;
    const QRect main = FrmMain->frameGeometry();
    QRect own = window->frameGeometry();
    own.moveTo(main.left() + (main.width() - own.width()) / 2, main.top() + (main.height() - own.height()) / 2);
    // A dialog taller or wider than a small main window stays on the screen, its title
    // bar first.
    const QRect area = window->screen()->availableGeometry();
    own.moveLeft(std::max(area.left(), std::min(own.left(), area.right() + 1 - own.width())));
    own.moveTop(std::max(area.top(), std::min(own.top(), area.bottom() + 1 - own.height())));
    window->move(own.topLeft());
}

void SetDialogBorder(QWidget* dialog)
{
    // Without CustomizeWindowHint Qt adds the buttons it thinks a window wants; hints that
    // are not about buttons (staying on top, a fixed size) stay as the dialog set them.
    const Qt::WindowFlags kept = dialog->windowFlags() & (Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint);
    dialog->setWindowFlags(kept | Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint);
    ShowFocusFrames(dialog);
}

namespace {

// Qt hides the focus frames of a window each time it is shown, until Tab is pressed: the
// window says that the keyboard is in use as soon as it is shown.
class TFocusFramesShown : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show)
            static_cast<QWidget*>(watched)->setAttribute(Qt::WA_KeyboardFocusChange);
        return false;
    }
};

}  // namespace

void ShowFocusFrames(QWidget* window)
{
    window->installEventFilter(new TFocusFramesShown(window));
}

void SetReadOnlyText(QPlainTextEdit* text)
{
    text->setReadOnly(true);
    text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
}

namespace {

// The window manager's frame around a window: as it framed the window when it was shown,
// else a usual title bar and border.
QMargins FrameMargins(const QWidget* window)
{
    const QWindow* handle = window->windowHandle();
    if (handle && !handle->frameMargins().isNull())
        return handle->frameMargins();
    return QMargins(4, 30, 4, 4);
}

// The largest client size that keeps the window with its frame on the work area of its
// screen.
QSize AvailableClientSize(const QWidget* window)
{
    return window->screen()->availableGeometry().size().shrunkBy(FrameMargins(window));
}

}  // namespace

void FixClientSize(QWidget* window, QSize clientSize)
{
    QSize wanted = clientSize.expandedTo(window->minimumSizeHint());
    const QSize room = AvailableClientSize(window);
    // Cut in height, the content scrolls: its scroll bar needs width beside it.
    if (wanted.height() > room.height())
        wanted.rwidth() += window->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, window);
    window->setFixedSize(wanted.boundedTo(room));
}

TScrollingContent::TScrollingContent(QWidget* content, QWidget* parent) : QScrollArea(parent)
{
    setFrameShape(QFrame::NoFrame);
    // Tab goes from the content's last control to the buttons, never to the area itself.
    setFocusPolicy(Qt::NoFocus);
    setWidgetResizable(true);
    setWidget(content);
    // Whichever way the focus comes in (Tab from the buttons below, a mnemonic), the
    // control that gets it scrolls into view.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (now && widget()->isAncestorOf(now))
            ensureWidgetVisible(now);
    });
}

QSize TScrollingContent::minimumSizeHint() const
{
    return widget()->minimumSize().expandedTo(widget()->minimumSizeHint());
}

QSize TScrollingContent::sizeHint() const
{
    return minimumSizeHint().expandedTo(widget()->sizeHint());
}

// ---- Colours ----

namespace {

int Channel(TColor color, int index)
{
    return static_cast<int>((color >> (8 * index)) & 0xFF);
}

TColor FromChannels(int red, int green, int blue)
{
    return static_cast<TColor>(red) | static_cast<TColor>(green) << 8 | static_cast<TColor>(blue) << 16;
}

// The background of list rows and edits: the system's window colour.
TColor WindowColor()
{
    return ColorOf(QApplication::palette().color(QPalette::Active, QPalette::Base));
}

}  // namespace

TColor ColorOf(const QColor& color)
{
    return FromChannels(color.red(), color.green(), color.blue());
}

QColor ToQColor(TColor color)
{
    return QColor(Channel(color, 0), Channel(color, 1), Channel(color, 2));
}

TColor GrayOf(TColor color)
{
    const int gray = (Channel(color, 0) + Channel(color, 1) + Channel(color, 2)) / 3;
    return FromChannels(gray, gray, gray);
}

TColor DarkenPerChannel(TColor color, TColor amount)
{
    int channels[3];
    for (int i = 0; i < 3; ++i)
        channels[i] = std::max(Channel(color, i) - Channel(amount, i), 0);
    return FromChannels(channels[0], channels[1], channels[2]);
}

TColor GridLineColor(TColor windowColor)
{
    return GrayOf(DarkenPerChannel(windowColor, 0x404040));
}

TColor StripeColor(TColor windowColor, int row)
{
    // Odd rows lose a little red, even rows a little more of every channel: neighbouring
    // rows differ slightly in tint.
    return DarkenPerChannel(windowColor, row % 2 != 0 ? 0x000010 : 0x080818);
}

TColor GridLineColor()
{
    return GridLineColor(WindowColor());
}

TColor StripeColor(int row)
{
    return StripeColor(WindowColor(), row);
}

TRowColors RowColors(const QPalette& palette, int row, bool selected, bool focused)
{
    if (!selected)
        return {ToQColor(StripeColor(ColorOf(palette.color(QPalette::Active, QPalette::Base)), row)),
                palette.color(QPalette::Active, QPalette::Text)};
    if (focused)
        return {palette.color(QPalette::Active, QPalette::Highlight),
                palette.color(QPalette::Active, QPalette::HighlightedText)};
    return {palette.color(QPalette::Active, QPalette::Button), palette.color(QPalette::Active, QPalette::Text)};
}

bool ListHasFocus(const QWidget* list)
{
    if (list->hasFocus())
        return true;
    // A dialog over the list's window (the find dialog, a question about the row) holds
    // the focus that goes back to the list when it closes: the row it is about stays
    // plainly selected.
    const QWidget* active = QApplication::activeWindow();
    const QWidget* window = list->window();
    if (!active || active == window || window->focusWidget() != list)
        return false;
    for (const QWidget* owner = active->parentWidget(); owner; owner = owner->parentWidget())
        if (owner->window() == window)
            return true;
    return false;
}

namespace {

// A dotted frame inside the grid lines around the whole current row of a list with the
// focus, drawn cell by cell: the first and the last column on the screen close it.
void DrawRowFocusFrame(QPainter* painter, const QAbstractItemView& view, int column, const QRect& cell,
                       const QColor& color)
{
    const QRect frame = cell.adjusted(0, 0, -1, -1);
    const auto* table = qobject_cast<const QTableView*>(&view);
    const int shownAt = table ? table->horizontalHeader()->visualIndex(column) : 0;
    const int shownCount = table ? table->horizontalHeader()->count() : 1;
    painter->setPen(QPen(color, 1, Qt::DotLine));
    painter->drawLine(frame.topLeft(), frame.topRight());
    painter->drawLine(frame.bottomLeft(), frame.bottomRight());
    if (shownAt == 0)
        painter->drawLine(frame.topLeft(), frame.bottomLeft());
    if (shownAt == shownCount - 1)
        painter->drawLine(frame.topRight(), frame.bottomRight());
}

}  // namespace

void TGridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const auto* view = qobject_cast<const QAbstractItemView*>(option.widget);
    const bool focused = view ? ListHasFocus(view) : (option.state & QStyle::State_HasFocus);
    const bool selected = option.state & QStyle::State_Selected;
    TRowColors colors = RowColors(option.palette, index.row(), selected, focused);
    // On the highlight every row reads alike: the letters of a state (navy, maroon) would
    // not stand out from it.
    const QVariant letters = selected && focused ? QVariant() : index.data(Qt::ForegroundRole);
    if (letters.canConvert<QColor>())
        colors.Text = letters.value<QColor>();
    const QRect cell = option.rect;

    painter->save();
    painter->fillRect(cell, colors.Background);
    painter->setClipRect(cell);
    painter->setFont(option.font);
    painter->setPen(colors.Text);
    const QRect textRect = cell.adjusted(2, 2, 0, 0);
    painter->drawText(textRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                      index.data(Qt::DisplayRole).toString());
    painter->setPen(ToQColor(GridLineColor(ColorOf(option.palette.color(QPalette::Active, QPalette::Base)))));
    painter->drawLine(cell.bottomLeft(), cell.bottomRight());
    painter->drawLine(cell.bottomRight(), cell.topRight());
    if (view && view->hasFocus() && view->currentIndex().row() == index.row())
        DrawRowFocusFrame(painter, *view, index.column(), cell, colors.Text);
    painter->restore();
}

bool CellCutsText(const QFontMetrics& metrics, int cellWidth, const QString& text)
{
    // The text starts 2 pixels in; the grid line takes the last pixel.
    return metrics.horizontalAdvance(text) > cellWidth - 3;
}

bool TGridDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                              const QModelIndex& index)
{
    if (event->type() != QEvent::ToolTip || !index.isValid())
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    const QString text = index.data(Qt::DisplayRole).toString();
    if (!CellCutsText(option.fontMetrics, option.rect.width(), text)) {
        QToolTip::hideText();
        return false;
    }
    QToolTip::showText(event->globalPos(), ToolTipText(text, view), view->viewport(), option.rect);
    return true;
}

QString ToolTipText(const QString& text, const QWidget* where)
{
    // Qt lays out a rich-text tip a few words wide, breaking at blanks and hyphens; a
    // paragraph that keeps its line is as wide as its text.
    constexpr int TipMargins = 16;   // the tip's border and padding
    const QScreen* screen = where->screen();
    const int room = screen ? screen->availableGeometry().width() - TipMargins : 0;
    const bool fits = QFontMetrics(QToolTip::font()).horizontalAdvance(text) <= room;
    return QStringLiteral("<p style=\"white-space:%1\">").arg(fits ? QStringLiteral("pre") : QStringLiteral("pre-wrap")) +
           text.toHtmlEscaped() + QStringLiteral("</p>");
}

namespace {

// Shows the whole caption of a header section too narrow for it as the section's tooltip.
class THeaderTips : public QObject {
public:
    explicit THeaderTips(QHeaderView* header) : QObject(header), FHeader(header) {}

    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() != QEvent::ToolTip)
            return false;
        const auto* help = static_cast<QHelpEvent*>(event);
        const int section = FHeader->logicalIndexAt(help->pos());
        const QString caption =
            section < 0 ? QString() : FHeader->model()->headerData(section, FHeader->orientation()).toString();
        // The style draws the caption inside a margin on each side of the section.
        const int margin = FHeader->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, FHeader);
        if (caption.isEmpty() ||
            FHeader->fontMetrics().horizontalAdvance(caption) <= FHeader->sectionSize(section) - 2 * margin) {
            QToolTip::hideText();
            return true;
        }
        const QRect rect(FHeader->sectionViewportPosition(section), 0, FHeader->sectionSize(section),
                         FHeader->height());
        QToolTip::showText(help->globalPos(), ToolTipText(caption, FHeader), FHeader->viewport(), rect);
        return true;
    }

private:
    QHeaderView* FHeader;
};

// A view with no current row (a list with no rows) has no row to mark the focus on: while
// it has the focus, its whole area gets the dotted frame that the current row would get.
// The frame is drawn before the view paints, which draws nothing where there are no rows.
class TEmptyViewFocus : public QObject {
public:
    explicit TEmptyViewFocus(QAbstractItemView* view) : QObject(view), FView(view) {}

    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && FView->hasFocus() && !FView->currentIndex().isValid()) {
            QPainter painter(FView->viewport());
            painter.setPen(QPen(FView->palette().color(QPalette::Active, QPalette::Text), 1, Qt::DotLine));
            painter.drawRect(FView->viewport()->rect().adjusted(0, 0, -1, -1));
        }
        return false;
    }

private:
    QAbstractItemView* FView;
};

}  // namespace

void ApplyGridLook(QTableView* table, int rowHeight)
{
    table->setItemDelegate(new TGridDelegate(table));
    table->viewport()->installEventFilter(new TEmptyViewFocus(table));
    table->setShowGrid(false);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The rows are picked whole: Tab goes on to the window's next control instead of
    // moving unseen from cell to cell.
    table->setTabKeyNavigation(false);
    table->setWordWrap(false);
    table->verticalHeader()->hide();
    // Rows of one fixed height: the view never measures a row, whatever their number.
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->verticalHeader()->setMinimumSectionSize(1);
    table->verticalHeader()->setDefaultSectionSize(rowHeight);
    table->horizontalHeader()->setStretchLastSection(true);
    table->horizontalHeader()->setHighlightSections(false);
    // A caption too long for its column is cut at its end, as a table's captions read.
    table->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    table->horizontalHeader()->viewport()->installEventFilter(new THeaderTips(table->horizontalHeader()));
}

void ApplyListLook(QTableView* list, QAbstractItemModel* model, int itemHeight)
{
    list->setModel(model);
    ApplyGridLook(list, itemHeight);
    list->setFrameShape(QFrame::NoFrame);
    list->horizontalHeader()->setSectionsClickable(false);
    list->horizontalHeader()->setSectionsMovable(false);
}

void SetColumnWidths(QTableView* list, std::initializer_list<int> widths, int stretchColumn)
{
    QHeaderView* header = list->horizontalHeader();
    header->setStretchLastSection(false);
    int column = 0;
    for (const int width : widths)
        header->resizeSection(column++, width);
    header->setSectionResizeMode(stretchColumn, QHeaderView::Stretch);
}

int FittingWidth(const QTableView* list, int designWidth, const AnsiString& sample)
{
    // The text is drawn 2 pixels in, and the grid line takes one more.
    return std::max(designWidth, list->fontMetrics().horizontalAdvance(ToQString(sample)) + 6);
}

int ColumnWidthUnit(const QWidget* grid)
{
    constexpr int DesignUnit = 7;
    return std::max(DesignUnit, grid->fontMetrics().horizontalAdvance(QLatin1Char('0')) + 1);
}

int CurrentItem(const QTableView* list)
{
    const QModelIndex current = list->currentIndex();
    return current.isValid() ? current.row() : -1;
}

void SelectListItem(QTableView* list, int item)
{
    const QModelIndex index = list->model()->index(item, 0);
    if (!index.isValid())
        return;
    list->setCurrentIndex(index);
    list->scrollTo(index);
}

void ShowFoundItem(QTableView* list, int item)
{
    SelectListItem(list, item);
    list->setFocus(Qt::OtherFocusReason);
}

// ---- Printing ----

TPrinterGeometry PrinterGeometry(const QPrinter& printer)
{
    const QRect paper = printer.paperRect(QPrinter::DevicePixel).toRect();
    const QRect page = printer.pageRect(QPrinter::DevicePixel).toRect();
    TPrinterGeometry geometry;
    geometry.DpiX = printer.logicalDpiX();
    geometry.DpiY = printer.logicalDpiY();
    geometry.OffsetX = page.left() - paper.left();
    geometry.OffsetY = page.top() - paper.top();
    geometry.PhysicalWidth = paper.width();
    geometry.PhysicalHeight = paper.height();
    geometry.PageWidth = page.width();
    geometry.PageHeight = page.height();
    return geometry;
}

namespace {

// Millimetres in printer pixels, truncated; 64-bit so that no resolution overflows.
int MillimetresToPixels(int millimetres, int dpi)
{
    return static_cast<int>(static_cast<int64_t>(millimetres) * dpi * 10 / 254);
}

}  // namespace

QRect PrintableRect(const TPrinterGeometry& printer, int left, int right, int top, int bottom)
{
    const int x1 = std::max(MillimetresToPixels(left, printer.DpiX) - printer.OffsetX, 0);
    const int y1 = std::max(MillimetresToPixels(top, printer.DpiY) - printer.OffsetY, 0);
    int x2 = std::min(printer.PageWidth,
                      printer.PhysicalWidth - printer.OffsetX - MillimetresToPixels(right, printer.DpiX));
    int y2 = std::min(printer.PageHeight,
                      printer.PhysicalHeight - printer.OffsetY - MillimetresToPixels(bottom, printer.DpiY));
    x2 = std::max(x2, x1);
    y2 = std::max(y2, y1);
    return QRect(x1, y1, x2 - x1, y2 - y1);
}

QRect GetPrintableRect(const QPrinter& printer, int left, int right, int top, int bottom)
{
    return PrintableRect(PrinterGeometry(printer), left, right, top, bottom);
}

// ---- Toolbars ----

QToolBar* NewToolbar(QWidget* parent)
{
    auto* toolbar = new QToolBar(parent);
    toolbar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    return toolbar;
}

QAction* AddToolButton(QToolBar* toolbar, TToolImage image, const char* caption, std::function<void()> command)
{
    QAction* button = toolbar->addAction(ToolImage(image), ToQString(caption));
    QObject::connect(button, &QAction::triggered, toolbar, [command = std::move(command)] { Guarded(command); });
    return button;
}

namespace {

QString WithKeyName(const QString& tip, const QKeySequence& key)
{
    return tip + QStringLiteral(" (") + key.toString(QKeySequence::NativeText) + QLatin1Char(')');
}

}  // namespace

void SetCommandKey(QWidget* window, QAction* command, const QKeySequence& key)
{
    command->setShortcut(key);
    command->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    window->addAction(command);
    command->setToolTip(WithKeyName(command->toolTip(), key));
}

void SetMenuKey(QWidget* window, QToolButton* button, const QKeySequence& key)
{
    auto* opener = new QAction(window);
    opener->setShortcut(key);
    opener->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    window->addAction(opener);
    QObject::connect(opener, &QAction::triggered, button, [button] {
        if (!button->isEnabled() || !button->menu())
            return;
        // Opened from the keyboard, the menu starts on its first item, as the menu bar's do.
        QMenu* menu = button->menu();
        QTimer::singleShot(0, menu, [menu] {
            if (menu->isVisible() && !menu->actions().isEmpty())
                menu->setActiveAction(menu->actions().first());
        });
        button->showMenu();
    });
    button->setToolTip(WithKeyName(button->text(), key));
}
