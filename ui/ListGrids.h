#pragma once
// The grids of the reference-list and reply-list windows: a table model that reads the
// lines of a text table on demand (no cell is copied into the view, and drawing never
// moves the table's cursor), a grid that asks for the record dialog on Enter or a double
// click on a cell, and the find dialog's walk over a data file.

#include "documents/Datafiles.h"
#include "platform/AnsiString.h"
#include "ui/UFrmFind.h"

#include <QAbstractTableModel>
#include <QTableView>

class QAction;
class QToolBar;

#include <vector>

// One column of a grid: its caption, its width in pixels and the field of a line it shows.
struct TLinesColumn {
    AnsiString Caption;
    int Width = 0;
    int Field = 0;
};

// The lines of a text table split into fields by a line format of their own (the
// delimiter and escaping of the table's record). Newest first, item i is line
// count - 1 - i. With an empty row, a table without lines shows one empty row.
class TLinesModel : public QAbstractTableModel {
public:
    TLinesModel(const AnsiString& delim, bool escape, bool newestFirst, bool emptyRow, QObject* parent = nullptr);

    void SetColumns(std::vector<TLinesColumn> columns);
    // The table whose lines are shown (not owned; null shows nothing but the empty row).
    void SetTable(const TTextFile* table);
    // The lines are read again: after a load or a sort of the table.
    void Reload();

    const std::vector<TLinesColumn>& Columns() const { return FColumns; }
    int LineCount() const { return FCount; }
    // The line of an item, and the item of a line.
    int Line(int item) const { return FNewestFirst ? FCount - 1 - item : item; }
    int Item(int line) const { return Line(line); }
    AnsiString Text(int item, int column) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    AnsiString FDelim;
    bool FEscape;
    bool FNewestFirst;
    bool FEmptyRow;
    const TTextFile* FTable = nullptr;
    std::vector<TLinesColumn> FColumns;
    int FCount = 0;
};

// A read-only grid in the common look over a lines model: whole rows, one at a time, rows
// of the given height. Enter without modifiers, and a double click whose press hit a
// cell, trigger the view command while it is enabled.
class TLinesGrid : public QTableView {
public:
    TLinesGrid(TLinesModel* model, int rowHeight, QWidget* parent = nullptr);

    TLinesModel* Model() const { return FModel; }
    // The columns' captions and widths, the last one taking the free width.
    void SetColumns(std::vector<TLinesColumn> columns);
    // The grid row of the current item, -1 with none; and selecting a row (shown).
    int CurrentRow() const;
    void SelectRow(int row);

    void SetViewCommand(QAction* view) { FView = view; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    TLinesModel* FModel;
    QAction* FView = nullptr;
    bool FPressHitCell = false;

    void View();
};

// Lays the window out: the toolbar on top, the content below taking the rest.
void StackToolbarOver(QWidget* window, QToolBar* toolbar, QWidget* content);

// The records of a data file as the find dialog walks them: the file's own cursor and
// the fields of its current record.
class TDataFileRows : public TFindTable {
public:
    explicit TDataFileRows(TDataFile& file) : FFile(file) {}

    void GoTo(int row) override { FFile.GoTo(row); }
    void Next() override { FFile.Next(); }
    void Prior() override { FFile.Prior(); }
    bool Bof() const override { return FFile.Bof(); }
    bool Eof() const override { return FFile.Eof(); }
    int RecNo() const override { return FFile.RecNo(); }
    AnsiString Field(int index) override { return FFile.CurRecord()->Get(index); }

private:
    TDataFile& FFile;
};

// Shows the cells of a grid row in the record dialog, read only: one row per column,
// captioned with the column's header.
void ViewGridRow(const TLinesGrid& grid, int row);
