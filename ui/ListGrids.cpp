#include "ui/ListGrids.h"

#include "ui/Common.h"
#include "ui/QtText.h"

#include <QAction>
#include <QDialog>
#include <QFormLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QToolBar>
#include <QVBoxLayout>

#include <exception>

// ---- TLinesModel ----

TLinesModel::TLinesModel(const AnsiString& delim, bool escape, bool newestFirst, bool emptyRow, QObject* parent)
    : QAbstractTableModel(parent), FDelim(delim), FEscape(escape), FNewestFirst(newestFirst), FEmptyRow(emptyRow)
{
}

void TLinesModel::SetColumns(std::vector<TLinesColumn> columns)
{
    beginResetModel();
    FColumns = std::move(columns);
    endResetModel();
}

void TLinesModel::SetTable(const TTextFile* table)
{
    FTable = table;
    Reload();
}

void TLinesModel::Reload()
{
    beginResetModel();
    FCount = FTable && FTable->Open() ? FTable->Lines().Count() : 0;
    endResetModel();
}

AnsiString TLinesModel::Text(int item, int column) const
{
    if (!FTable || item < 0 || item >= FCount)
        return AnsiString();
    // A line format of its own: reading a line never touches the table's current record.
    TDelimRecord line(FDelim, FEscape);
    line.SetText(FTable->Lines().Strings(Line(item)));
    return line.Get(FColumns.at(static_cast<size_t>(column)).Field);
}

int TLinesModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    return FCount == 0 && FEmptyRow ? 1 : FCount;
}

int TLinesModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(FColumns.size());
}

QVariant TLinesModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid())
        return {};
    // Painting may not throw into Qt's event loop: a line that cannot be read shows why.
    try {
        return ToQString(Text(index.row(), index.column()));
    } catch (const std::exception& error) {
        return ToQString(error.what());
    }
}

QVariant TLinesModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 || section >= columnCount())
        return {};
    return ToQString(FColumns[static_cast<size_t>(section)].Caption);
}

// ---- TLinesGrid ----

TLinesGrid::TLinesGrid(TLinesModel* model, int rowHeight, QWidget* parent) : QTableView(parent), FModel(model)
{
    setModel(model);
    ApplyGridLook(this);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(rowHeight);
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setSectionsMovable(false);
    horizontalHeader()->setHighlightSections(false);
}

void TLinesGrid::SetColumns(std::vector<TLinesColumn> columns)
{
    FModel->SetColumns(columns);
    for (size_t k = 0; k < columns.size(); ++k)
        horizontalHeader()->resizeSection(static_cast<int>(k), columns[k].Width);
}

int TLinesGrid::CurrentRow() const
{
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.row() : -1;
}

void TLinesGrid::SelectRow(int row)
{
    const QModelIndex index = model()->index(row, 0);
    if (!index.isValid())
        return;
    setCurrentIndex(index);
    scrollTo(index);
}

void TLinesGrid::keyPressEvent(QKeyEvent* event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        View();
        return;
    }
    QTableView::keyPressEvent(event);
}

void TLinesGrid::mousePressEvent(QMouseEvent* event)
{
    FPressHitCell = indexAt(event->position().toPoint()).isValid();
    QTableView::mousePressEvent(event);
}

void TLinesGrid::mouseDoubleClickEvent(QMouseEvent* event)
{
    QTableView::mouseDoubleClickEvent(event);
    if (FPressHitCell)
        View();
}

void TLinesGrid::View()
{
    if (FView && FView->isEnabled())
        FView->trigger();
}

void StackToolbarOver(QWidget* window, QToolBar* toolbar, QWidget* content)
{
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(toolbar);
    layout->addWidget(content, 1);
}

// ---- The record dialog in view mode ----

void ViewGridRow(const TLinesGrid& grid, int row)
{
    QDialog dialog(grid.window());
    SetDialogBorder(&dialog);
    dialog.setWindowTitle(ToQString("Просмотр записи"));
    auto* form = new QFormLayout(&dialog);
    const TLinesModel& model = *grid.Model();
    for (int column = 0; column < model.columnCount(); ++column) {
        auto* value = new QLineEdit(ToQString(model.Text(row, column)), &dialog);
        value->setReadOnly(true);
        form->addRow(ToQString(model.Columns()[static_cast<size_t>(column)].Caption), value);
    }
    auto* exit = new QPushButton(ToQString("Выход"), &dialog);
    QObject::connect(exit, &QPushButton::clicked, &dialog, &QDialog::reject);
    form->addRow(exit);
    dialog.resize(369, dialog.sizeHint().height());
    dialog.exec();
}
