#pragma once
// The record grids of the reference-list and reply-list windows: a read-only grid over a
// data file in the common look (its model reads the records on demand and never moves the
// file's cursor) that asks for the record dialog on Enter or on a double click on a
// cell, and the record dialog in view mode over one of its rows.

#include "ui/RecordGrid.h"

#include <QTableView>

#include <vector>

class QAction;
class QToolBar;

class TRecordViewGrid : public QTableView {
public:
    TRecordViewGrid(int rowHeight, QWidget* parent = nullptr);

    TRecordGridModel* Model() const { return FModel; }
    // Column k shows field k of the records, with the column's caption and width; the
    // last column takes the free width.
    void SetColumns(std::vector<TGridColumn> columns);
    // One empty column of the default width over no file.
    void Clear();
    // Enter without modifiers, and a double click whose press hit a cell, trigger the
    // command while it is enabled.
    void SetViewCommand(QAction* view) { FView = view; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    TRecordGridModel* FModel;
    QAction* FView = nullptr;
    bool FPressHitCell = false;

    void View();
};

// Shows the cells of a grid row in the record dialog, read only: one row per column,
// captioned with the column's caption, each field cut to MaxLineChars.
void ViewGridRow(const TRecordViewGrid& grid, int row);

// Lays the window out: the toolbar on top, the content below taking the rest.
void StackToolbarOver(QWidget* window, QToolBar* toolbar, QWidget* content);
