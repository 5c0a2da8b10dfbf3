#pragma once
// The window routines of the common helpers: bringing a window to the front, centring a
// dialog over the main window, the look of every list (striped rows, thin gray grid lines,
// a selected row that turns neutral without the focus) and the printable rectangle of
// every report.

#include "platform/AnsiString.h"

#include <QRect>
#include <QScrollArea>
#include <QSize>
#include <QStyledItemDelegate>

#include <cstdint>
#include <functional>
#include <initializer_list>

class QAction;
class QColor;
class QFontMetrics;
class QKeySequence;
class QPalette;
class QPlainTextEdit;
class QPrinter;
class QAbstractItemModel;
class QTableView;
class QToolBar;
class QToolButton;
class QWidget;
enum class TToolImage;

// Shows the window and brings it to the front; a minimised window is restored first.
void ShowAndRestore(QWidget* window);

// Centres the window over the main window (halves truncated toward zero); left where it is
// while there is no main window.
void CenterOverMain(QWidget* window);

// A dialog border: a title bar with the close box only, no minimise or maximise box (a
// modal dialog has nothing to minimise). Every dialog of the program takes it, Qt's own
// message boxes and file dialogs included; its focus frames show from the start.
void SetDialogBorder(QWidget* dialog);
// The style draws the frame of the focused control from the moment the window opens, not
// only once Tab has been pressed in it: a user of the keyboard sees where a key goes.
void ShowFocusFrames(QWidget* window);
// Makes the text read-only for the user and keeps it in reach of the keyboard: when Tab
// comes to it, a caret shows that it has the focus, and the arrows move through it.
void SetReadOnlyText(QPlainTextEdit* text);
// Fixes the window's size at the client size, or at what its contents need where that is
// more, but never beyond the work area of its screen: there a dialog's scrolling content
// (below) gives up height and shows a scroll bar.
void FixClientSize(QWidget* window, QSize clientSize);

// The content of a dialog, scrolled where the screen is too small for all of it; the
// dialog's buttons stay outside it, in view. It asks for room for the whole content.
class TScrollingContent : public QScrollArea {
public:
    TScrollingContent(QWidget* content, QWidget* parent);
    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;
};

// ---- Toolbars ----

// A window's toolbar: the captions stand under the pictures.
QToolBar* NewToolbar(QWidget* parent);
// Adds a button with its picture and caption; a click runs the command through the error
// guard.
QAction* AddToolButton(QToolBar* toolbar, TToolImage image, const char* caption, std::function<void()> command);
// Gives a window's command its key, named in the command's tooltip. The key works while
// the focus is anywhere in that window: the other windows of the main window have the
// same keys for their own commands.
void SetCommandKey(QWidget* window, QAction* command, const QKeySequence& key);

// Gives a window's drop-down toolbar button a key that opens its menu, named in the
// button's tooltip, as SetCommandKey does for a command.
void SetMenuKey(QWidget* window, QToolButton* button, const QKeySequence& key);

// ---- Colours ----

// A colour as the program computes with it: red in the low byte, then green, then blue.
using TColor = uint32_t;

TColor ColorOf(const QColor& color);
QColor ToQColor(TColor color);

// The gray of the same brightness: the mean of the three channels in all three.
TColor GrayOf(TColor color);
// Every channel of the colour less that channel of the amount, stopping at 0: a dark
// background never borrows from its neighbouring channel.
TColor DarkenPerChannel(TColor color, TColor amount);

// The colour of grid lines and the background of an unselected row (rows counted from 0),
// on the given window background and on that of the running desktop (read at each call).
TColor GridLineColor(TColor windowColor);
TColor StripeColor(TColor windowColor, int row);
TColor GridLineColor();
TColor StripeColor(int row);

// The background and the letters of one row.
struct TRowColors {
    QColor Background;
    QColor Text;
};
// An unselected row is striped; a selected one keeps the highlight (whatever the letters of
// its state) while its list has the focus and turns to the button face with window-text
// letters without it.
TRowColors RowColors(const QPalette& palette, int row, bool selected, bool focused);
// Whether a list draws its selection as focused: while it has the focus, and while a
// dialog over its window has taken the focus from it (the found row stays plainly
// selected while the find dialog is open).
bool ListHasFocus(const QWidget* list);

// Draws the cells of a list or table: the row's colours (with the model's letters, its
// Qt::ForegroundRole, where it gives them, except on the highlight), the text 2 pixels in
// from the left and top edges and clipped to the cell, and a grid line along the bottom
// and the right edge of every cell. A cell too narrow for its text shows the whole text
// as its tooltip.
class TGridDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;
};

// Whether a cell of the width cuts the text that the grid delegate draws in it.
bool CellCutsText(const QFontMetrics& metrics, int cellWidth, const QString& text);

// A tooltip's text shown as written, never as rich text: on one line while it fits the
// width of the screen under `where`, wrapped only where it is wider.
QString ToolTipText(const QString& text, const QWidget* where);

// Gives a table the common look: the grid delegate instead of Qt's own grid, one selected
// row at a time, no editing in place, Tab leaving the table, no row headers, rows of the
// given height, a last column that takes the free width, and a caption cut by its column
// shown whole as its tooltip.
void ApplyGridLook(QTableView* table, int rowHeight);

// A read-only list of rows over the model in the common look, without a frame, its
// columns neither sorted nor moved.
void ApplyListLook(QTableView* list, QAbstractItemModel* model, int itemHeight);
// The sections' widths, the given column taking the free width.
void SetColumnWidths(QTableView* list, std::initializer_list<int> widths, int stretchColumn);
// The width of a column that must show the sample text whole in the list's font: the
// design width, or more when the font is wider.
int FittingWidth(const QTableView* list, int designWidth, const AnsiString& sample);
// The pixels of one character of a column width given in characters: 7, or more where
// the font's digits are wider.
int ColumnWidthUnit(const QWidget* grid);

// The row of the list's current item, -1 with none; and selecting an item (shown).
int CurrentItem(const QTableView* list);
void SelectListItem(QTableView* list, int item);
// Selects the item a search found and gives its list the focus of its window: the row
// shows plainly selected while the find dialog is open, and still after it closes,
// whether or not the user had clicked into the list before the search.
void ShowFoundItem(QTableView* list, int item);

// ---- Printing ----

// The margins of every printed report, in millimetres from the paper's edges.
constexpr int ReportMarginLeft = 25;
constexpr int ReportMarginRight = 10;
constexpr int ReportMarginTop = 10;
constexpr int ReportMarginBottom = 20;

// What the printer says about its paper, in printer pixels: the resolution, the offset of
// the printable area from the paper's corner, the paper and the printable area.
struct TPrinterGeometry {
    int DpiX = 0;
    int DpiY = 0;
    int OffsetX = 0;
    int OffsetY = 0;
    int PhysicalWidth = 0;
    int PhysicalHeight = 0;
    int PageWidth = 0;
    int PageHeight = 0;
};

TPrinterGeometry PrinterGeometry(const QPrinter& printer);

// The rectangle inside the given margins (millimetres from the paper's edges) in the
// coordinates of the printable area: never beyond the printable area, never negative,
// and collapsed to zero width or height when the margins leave no room.
QRect PrintableRect(const TPrinterGeometry& printer, int left, int right, int top, int bottom);
QRect GetPrintableRect(const QPrinter& printer, int left, int right, int top, int bottom);
