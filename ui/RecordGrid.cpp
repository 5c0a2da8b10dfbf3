#include "ui/RecordGrid.h"

#include "documents/Datafiles.h"
#include "ui/Common.h"
#include "ui/QtText.h"

#include <QHeaderView>
#include <QTableView>

#include <exception>

AnsiString CutText(std::string_view text, size_t maxChars)
{
    if (text.size() <= maxChars)
        return AnsiString(text);
    return AnsiString(text.substr(0, maxChars - 1)) + "…";
}

TRecordGridModel::TRecordGridModel(QObject* parent)
    : QAbstractTableModel(parent), FMap(std::make_unique<TIntArray>())
{
}

TRecordGridModel::~TRecordGridModel() = default;

void TRecordGridModel::SetColumns(std::vector<TGridColumn> columns, const TIntArray& map)
{
    beginResetModel();
    FColumns = std::move(columns);
    FMap = std::make_unique<TIntArray>();
    for (int k = 0; k < map.Count(); ++k)
        FMap->Add(map.At(k));
    ForgetRead();
    endResetModel();
}

void TRecordGridModel::SetDataFile(TDataFile* file)
{
    beginResetModel();
    FFile = file;
    FReader = file ? file->CurRecord()->NewRecord() : nullptr;
    ForgetRead();
    endResetModel();
}

void TRecordGridModel::Reload()
{
    beginResetModel();
    ForgetRead();
    endResetModel();
}

void TRecordGridModel::RecordChanged(int record)
{
    ForgetRead();
    if (record >= 0 && record < rowCount())
        emit dataChanged(index(record, 0), index(record, columnCount() - 1));
}

void TRecordGridModel::RepaintAll()
{
    ForgetRead();
    if (columnCount() > 0 && rowCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

int TRecordGridModel::RecordCount() const
{
    return FFile ? FFile->RecordCount() : 0;
}

AnsiString TRecordGridModel::Text(int record, int column) const
{
    AnsiString buffer;
    return AnsiString(FieldView(record, column, buffer));
}

std::string_view TRecordGridModel::FieldView(int record, int column, AnsiString& buffer) const
{
    if (!FFile || !FReader || record < 0 || record >= RecordCount() || column < 0 || column >= FMap->Count())
        return {};
    if (record != FReadRecord) {
        FFile->ReadRecord(record, *FReader);
        FReadRecord = record;
    }
    const int field = FMap->At(column);
    return field < 0 ? std::string_view() : FReader->GetView(field, buffer);
}

int TRecordGridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : std::max(RecordCount(), FEmptyRow ? 1 : 0);
}

int TRecordGridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(FColumns.size());
}

QVariant TRecordGridModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= RecordCount())
        return {};
    switch (role) {
    case Qt::DisplayRole:
        // Drawing may not throw into Qt's event loop: a record that cannot be read shows
        // why in its cell.
        try {
            AnsiString buffer;
            return ToQString(CutText(FieldView(index.row(), index.column(), buffer), MaxCellChars));
        } catch (const std::exception& error) {
            ForgetRead();
            return ToQString(error.what());
        }
    case Qt::ForegroundRole:
        return RecordForeground(index.row());
    default:
        return {};
    }
}

QVariant TRecordGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= columnCount())
        return {};
    return ToQString(FColumns[static_cast<size_t>(section)].Caption);
}

QVariant TRecordGridModel::RecordForeground(int) const
{
    return {};
}

void SetColumnWidths(QTableView* grid, const TRecordGridModel& model)
{
    const std::vector<TGridColumn>& columns = model.Columns();
    for (size_t k = 0; k < columns.size(); ++k)
        grid->horizontalHeader()->resizeSection(static_cast<int>(k), columns[k].Width);
}
