#pragma once
// The grids of the list windows: a table model that reads the records of a data file on
// demand through a column view (no cell is ever copied into the view), with one empty data
// row for an empty file, and the columns' captions and widths.

#include "documents/Containers.h"
#include "platform/AnsiString.h"

#include <QAbstractTableModel>

#include <memory>
#include <string_view>
#include <vector>

class QTableView;
class TDataFile;
class TFileRecord;

// One column of a grid: its caption and its width in pixels.
struct TGridColumn {
    AnsiString Caption;
    int Width = 0;
};

// A line of text shown in a widget is laid out letter by letter, some forty bytes of
// memory each: a field of megabytes is shown only in part. A grid cell shows at most
// MaxCellChars characters of its field (more than a line of the widest screen holds), a
// line editor at most MaxLineChars (a QLineEdit's own limit). The whole field stays in
// the file, for the find and the export.
constexpr size_t MaxCellChars = 1000;
constexpr size_t MaxLineChars = 32767;

// The text when it has at most maxChars characters, else its first maxChars - 1
// followed by "…".
AnsiString CutText(std::string_view text, size_t maxChars);

// Row r of the model is record r of the data file; column k shows field map[k] of it. A
// row is read when the view asks for it, into a record object of its own, so drawing
// never moves the file's cursor (and never posts the current record's pending edits,
// which it shows as they are).
class TRecordGridModel : public QAbstractTableModel {
public:
    explicit TRecordGridModel(QObject* parent = nullptr);
    ~TRecordGridModel() override;

    // The columns and, per column, the record's field that it shows.
    void SetColumns(std::vector<TGridColumn> columns, const TIntArray& map);
    // The file whose records are shown (not owned; null shows only the empty row).
    void SetDataFile(TDataFile* file);
    // Everything is read again: after the number or the order of the records changed.
    void Reload();
    // One record's row, or every row, is drawn again (its text or its colours changed).
    void RecordChanged(int record);
    void RepaintAll();

    int RecordCount() const;
    const std::vector<TGridColumn>& Columns() const { return FColumns; }
    // The whole field that a cell shows (the cell shows it cut to MaxCellChars).
    AnsiString Text(int record, int column) const;

    // At least one row: an empty or missing file shows one empty data row, unless the
    // model was made without it.
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

protected:
    // The letters of a record's row (a QColor); nothing keeps the grid's own.
    virtual QVariant RecordForeground(int record) const;
    // An empty file shows no rows (where an empty row would look like a record).
    void WithoutEmptyRow() { FEmptyRow = false; }

private:
    TDataFile* FFile = nullptr;
    std::vector<TGridColumn> FColumns;
    std::unique_ptr<TIntArray> FMap;
    std::unique_ptr<TFileRecord> FReader;
    mutable int FReadRecord = -1;   // the record in FReader, -1 for none
    bool FEmptyRow = true;

    void ForgetRead() const { FReadRecord = -1; }
    // The field that a cell shows, valid until the next read or a change of the buffer.
    std::string_view FieldView(int record, int column, AnsiString& buffer) const;
};

// Gives the grid the model's column widths; the last column takes the free width.
void SetColumnWidths(QTableView* grid, const TRecordGridModel& model);
