#include "ui/ListGrids.h"

#include "ui/Common.h"
#include "ui/UFrmEditRecord.h"

#include <QAction>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QToolBar>
#include <QVBoxLayout>

// ---- TRecordViewGrid ----

TRecordViewGrid::TRecordViewGrid(int rowHeight, QWidget* parent)
    : QTableView(parent), FModel(new TRecordGridModel(this))
{
    setModel(FModel);
    ApplyGridLook(this, rowHeight);
    Clear();
}

void TRecordViewGrid::SetColumns(std::vector<TGridColumn> columns)
{
    TIntArray map;
    for (int k = 0; k < static_cast<int>(columns.size()); ++k)
        map.Add(k);
    FModel->SetColumns(std::move(columns), map);
    SetColumnWidths(this, *FModel);
}

void TRecordViewGrid::Clear()
{
    FModel->SetDataFile(nullptr);
    SetColumns({TGridColumn{AnsiString(), horizontalHeader()->defaultSectionSize()}});
}

void TRecordViewGrid::keyPressEvent(QKeyEvent* event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        View();
        return;
    }
    QTableView::keyPressEvent(event);
}

void TRecordViewGrid::mousePressEvent(QMouseEvent* event)
{
    FPressHitCell = indexAt(event->position().toPoint()).isValid();
    QTableView::mousePressEvent(event);
}

void TRecordViewGrid::mouseDoubleClickEvent(QMouseEvent* event)
{
    QTableView::mouseDoubleClickEvent(event);
    if (FPressHitCell)
        View();
}

void TRecordViewGrid::View()
{
    if (FView && FView->isEnabled())
        FView->trigger();
}

// ---- Helpers of the list windows ----

void ViewGridRow(const TRecordViewGrid& grid, int row)
{
    if (!FrmEditRecord)
        return;
    const TRecordGridModel& model = *grid.Model();
    TDataControls& rows = FrmEditRecord->Rows();
    rows.Clear();
    for (int column = 0; column < model.columnCount(); ++column)
        rows.Add(model.Columns()[static_cast<size_t>(column)].Caption, '?', CutText(model.Text(row, column), MaxLineChars),
                 AnsiString(), true);
    FrmEditRecord->Execute(nullptr, false);
}

void StackToolbarOver(QWidget* window, QToolBar* toolbar, QWidget* content)
{
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(toolbar);
    layout->addWidget(content, 1);
}
