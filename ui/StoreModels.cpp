#include "ui/StoreModels.h"

#include "documents/Internals.h"
#include "platform/Classes.h"
#include "ui/QtText.h"

#include <algorithm>
#include <exception>

// ---- TStoreModel ----

TStoreModel::TStoreModel(TInternalData& store, std::vector<TStoreColumn> columns, QObject* parent)
    : QAbstractTableModel(parent), FStore(store), FColumns(std::move(columns))
{
}

int TStoreModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : FCount;
}

int TStoreModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(FColumns.size());
}

AnsiString TStoreModel::Text(int item, int column) const
{
    return FColumns.at(static_cast<size_t>(column)).Text(FStore, StoreRow(item));
}

QVariant TStoreModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid())
        return {};
    // Painting must not throw into Qt: a row the store no longer has shows empty until
    // the window resets the model.
    try {
        return ToQString(Text(index.row(), index.column()));
    } catch (const std::exception&) {
        return {};
    }
}

QVariant TStoreModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 ||
        section >= static_cast<int>(FColumns.size()))
        return {};
    return ToQString(FColumns[static_cast<size_t>(section)].Title);
}

void TStoreModel::Reset()
{
    beginResetModel();
    FCount = FStore.Open() ? FStore.RecordCount() : 0;
    endResetModel();
}

// ---- TAttachModel ----

TAttachModel::TAttachModel(const TStringList& report, const TStringList& failed, QObject* parent)
    : QAbstractTableModel(parent), FReport(report), FFailed(failed)
{
}

int TAttachModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : FReportCount + FFailedCount;
}

int TAttachModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 1;
}

QVariant TAttachModel::data(const QModelIndex& index, int role) const
{
    const int row = index.row();
    if (!index.isValid() || row < 0 || row >= rowCount())
        return {};
    const bool failed = row >= FReportCount;
    if (role == Qt::ForegroundRole)
        return failed ? QVariant(FailedLineColor()) : QVariant();
    if (role != Qt::DisplayRole)
        return {};
    // The lists may have changed since the last reset; a line they lost shows empty.
    const TStringList& lines = failed ? FFailed : FReport;
    const int line = failed ? row - FReportCount : row;
    return line < lines.Count() ? ToQString(lines[line]) : QVariant();
}

QVariant TAttachModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section != 0)
        return {};
    return ToQString("Вложения");
}

void TAttachModel::Reset()
{
    beginResetModel();
    FReportCount = FReport.Count();
    FFailedCount = FFailed.Count();
    endResetModel();
}

// ---- TStoreFindTable ----

void TStoreFindTable::GoTo(int row)
{
    // The data files' cursor: clamped to the table, with Bof below it and Eof past it.
    const int count = FStore.RecordCount();
    FBof = row < 0;
    FEof = row >= count;
    FRecNo = std::clamp(row, 0, std::max(count - 1, 0));
    if (count == 0)
        FRecNo = -1;
}
