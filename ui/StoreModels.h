#pragma once
// The lists of the windows over the program's stores (messages, their attachments, the
// send journal): item models that read the store only for the rows a view shows, newest
// row first, and never move the store's cursor, so that drawing cannot disturb an
// operation that keeps its place on a row. The find dialog walks a store through a
// cursor of its own in the same way.

#include "platform/AnsiString.h"
#include "ui/UFrmFind.h"

#include <QAbstractTableModel>
#include <QColor>

#include <functional>
#include <vector>

class TInternalData;
class TStringList;

// Item i of a newest-first list shows row count - 1 - i, and back.
inline int StoreRowOfItem(int count, int item) { return count - 1 - item; }

// One column of a list: its title and the text of a row.
struct TStoreColumn {
    AnsiString Title;
    std::function<AnsiString(TInternalData& store, int row)> Text;
};

// The rows of a store, newest first. The model keeps the row count it was last reset to:
// after the store changed, Reset tells the views.
class TStoreModel : public QAbstractTableModel {
public:
    TStoreModel(TInternalData& store, std::vector<TStoreColumn> columns, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Takes the store's row count again.
    void Reset();
    // The store row of a list item, and the item of a row.
    int StoreRow(int item) const { return StoreRowOfItem(FCount, item); }
    int Item(int row) const { return StoreRowOfItem(FCount, row); }
    // The text of a cell as the list shows it.
    AnsiString Text(int item, int column) const;

private:
    TInternalData& FStore;
    std::vector<TStoreColumn> FColumns;
    int FCount = 0;
};

// The attachment lines of one message: the report lines, then the failed lines, these in
// dark red.
class TAttachModel : public QAbstractTableModel {
public:
    TAttachModel(const TStringList& report, const TStringList& failed, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Takes the two lists' lengths again.
    void Reset();

private:
    const TStringList& FReport;
    const TStringList& FFailed;
    int FReportCount = 0;
    int FFailedCount = 0;
};

// The colour of a failed attachment's line.
inline QColor FailedLineColor() { return QColor(128, 0, 0); }

// A store as the find dialog walks it: a cursor of its own over the rows, the fields of
// the find columns read through the given function.
class TStoreFindTable : public TFindTable {
public:
    using TFieldText = std::function<AnsiString(TInternalData& store, int row, int field)>;
    TStoreFindTable(TInternalData& store, TFieldText field) : FStore(store), FField(std::move(field)) {}

    void GoTo(int row) override;
    void Next() override { GoTo(FRecNo + 1); }
    void Prior() override { GoTo(FRecNo - 1); }
    bool Bof() const override { return FBof; }
    bool Eof() const override { return FEof; }
    int RecNo() const override { return FRecNo; }
    AnsiString Field(int index) override { return FField(FStore, FRecNo, index); }

private:
    TInternalData& FStore;
    TFieldText FField;
    int FRecNo = -1;
    bool FBof = true;
    bool FEof = true;
};
