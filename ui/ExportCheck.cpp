#include "ui/ExportCheck.h"

#include "documents/Datafiles.h"
#include "documents/Exportfiles.h"
#include "documents/Profiles.h"
#include "documents/Validate.h"
#include "platform/Exception.h"
#include "platform/SysUtils.h"
#include "ui/RecordInfos.h"

#include <algorithm>

namespace {

// The salary list's fields that the totals read.
constexpr int SalaryAccountField = 1;
constexpr int SalaryAmountField = 2;
constexpr int SalaryProviderAccountField = 4;
constexpr int SalaryRecipientAccountField = 9;

std::unique_ptr<TExportValidator> NewValidator(const TExportProfile& kind)
{
    if (IsSalaryKind(kind))
        return std::make_unique<TSalaryValidator>();
    return std::make_unique<TExportValidator>(kind.DocType);
}

// Adds an accepted salary record to the credit and debit totals.
void AddToSums(const TRecord& record, TExportTotals& totals)
{
    const double amount = StrToFloat(record.Get(SalaryAmountField));
    if (!record.Get(SalaryAccountField).empty()) {
        totals.CreditSum += amount;
        ++totals.CreditCount;
    }
    if (!record.Get(SalaryProviderAccountField).empty() || !record.Get(SalaryRecipientAccountField).empty()) {
        totals.DebitSum += amount;
        ++totals.DebitCount;
    }
}

}  // namespace

bool IsSalaryKind(const TExportProfile& kind)
{
    return SameText(kind.DocType->Code, "Salary");
}

std::unique_ptr<TDelimFile> NewExportTable()
{
    return std::make_unique<TDelimFile>(";", CodePageCp1251, false);
}

TIntArray* NewPlaceRefs(const TExportProfile& kind)
{
    const TFieldIndexes& columns = kind.FieldIndexes;
    int length = kind.DocType->FieldCount;
    for (int column = 0; column < columns.Count(); ++column)
        length = std::max(length, columns.At(column) + 1);
    auto* places = new TIntArray;
    places->SetCount(length);
    std::fill(places->ItemsPtr(), places->ItemsPtr() + length, -1);
    for (int column = 0; column < columns.Count(); ++column)
        if (columns.At(column) >= 0)
            places->Set(columns.At(column), column);
    return places;
}

void CheckExportRecords(TExportProfile& kind, TDataFile& data, TRecordInfos& marks, TDelimFile& output,
                        TExportTotals& totals)
{
    const bool salary = IsSalaryKind(kind);
    totals = TExportTotals();
    output.LoadFromStream(nullptr);
    const std::unique_ptr<TExportValidator> validator = NewValidator(kind);
    TConvertRecord fields(NewPlaceRefs(kind), data.CurRecord());
    TDelimRecord work(kind.Delim, false);
    validator->Prepare();

    const int count = data.RecordCount();
    for (int index = 0; index < count; ++index) {
        TRecordInfo& mark = marks.Info(index);
        if (!mark.Selected)
            continue;
        data.GoTo(index);
        try {
            CopyRecord(&work, &fields);
            validator->Validate(&work);
            TExportTotals withRecord = totals;
            if (salary)
                AddToSums(work, withRecord);
            output.Append(&work);
            totals = withRecord;
            mark.State = RecordCheckedOk;
            ++totals.ExportCount;
        } catch (const EValidateError& error) {
            marks.SetErrorText(index, error.Message());
            mark.State = RecordHasError;
            ++totals.ErrorCount;
        }
        ++totals.CheckedCount;
    }
}
