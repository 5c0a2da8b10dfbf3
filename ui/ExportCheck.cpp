#include "ui/ExportCheck.h"

#include "documents/ByteScan.h"
#include "documents/Datafiles.h"
#include "documents/Exportfiles.h"
#include "documents/Profiles.h"
#include "documents/Validate.h"
#include "platform/Encoding.h"
#include "platform/Exception.h"
#include "platform/SysUtils.h"
#include "ui/RecordInfos.h"

#include <algorithm>
#include <string>
#include <utility>

namespace {

// The salary list's fields that the totals read.
constexpr int SalaryAccountField = 1;
constexpr int SalaryAmountField = 2;
constexpr int SalaryProviderAccountField = 4;
constexpr int SalaryRecipientAccountField = 9;

// The payload's delimiter.
constexpr char ExportDelimiter = ';';
// The one byte that is no character of CP1251: a value of a CP1251 file may hold it, and
// the bank cannot read it as text.
constexpr char NoCp1251Character = '\x98';

// A record whose field holds a character that CP1251 lacks: the text of its mark, in UTF-8,
// since it names that character.
struct TLostCharacter {
    Utf8String Text;
};

// The caption of a document field: the column map feeds only the kind's declared fields,
// each of which has its column.
AnsiString FieldCaption(const TDocTypeInfo& type, int field)
{
    return type.Columns[field].Caption;
}

[[noreturn]] void RaiseLostCharacter(const TDocTypeInfo& type, int field, char32_t lost)
{
    Utf8String text = AnsiToUtf8(FieldCaption(type, field) + ": символа \"");
    AppendUtf8(text, lost);
    throw TLostCharacter{text + AnsiToUtf8("\" нет в кодировке Windows-1251")};
}

// A value that reads with "?" is refused when the file holds another character there: in
// the payload, which is CP1251, it would reach the bank as "?".
void CheckNothingLost(const TDocTypeInfo& type, TDataFile& data, int column, int field)
{
    if (const char32_t lost = data.FirstCharacterLost(column); lost != 0)
        RaiseLostCharacter(type, field, lost);
}

// A value holding "?", the byte that no CP1251 character is, or the payload's delimiter:
// the "?" must be the file's own, and the delimiter would split the payload's line.
void CheckMarkedValue(const TDocTypeInfo& type, TDataFile& data, int column, int field, const AnsiString& value)
{
    if (value.find('?') != AnsiString::npos)
        CheckNothingLost(type, data, column, field);
    if (value.find(NoCp1251Character) != AnsiString::npos)
        RaiseLostCharacter(type, field, Cp1251ToUnicode(static_cast<unsigned char>(NoCp1251Character)));
    if (value.find(ExportDelimiter) != AnsiString::npos)
        throw EValidateError(FieldCaption(type, field) + ": Недопустимые символы в поле");
}

// Copies the document fields of the data file's current record into the working record
// (the rest blanked). A value that cannot reach the bank as the file holds it is an error
// of its field: a character that CP1251 lacks, or what the payload's line cannot hold
// (its delimiter, and CR, LF or the kind's delimiter, which the working record refuses).
void CopyFields(const TDocTypeInfo& type, TDataFile& data, const TConvertRecord& fields, TDelimRecord& work,
                AnsiString& value)
{
    int field = 0;
    for (; field < fields.Count(); ++field) {
        fields.GetInto(field, value);
        // Most values hold none of these bytes: one pass looks for all three.
        if (ContainsByteOf(value.data(), value.data() + value.size(), '?', ExportDelimiter, NoCp1251Character))
            CheckMarkedValue(type, data, fields.Map().At(field), field, value);
        try {
            work.Set(field, value);
        } catch (const Exception& error) {
            throw EValidateError(FieldCaption(type, field) + ": " + error.Message());
        }
    }
    for (value.clear(); field < work.Count(); ++field)
        work.Set(field, value);
}

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
    return std::make_unique<TDelimFile>(AnsiString(1, ExportDelimiter), CodePageCp1251, false);
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
    AnsiString value;
    validator->Prepare();

    const auto reject = [&](int index, Utf8String text) {
        marks.SetErrorText(index, std::move(text));
        marks.Info(index).State = RecordHasError;
        ++totals.ErrorCount;
    };
    const int count = data.RecordCount();
    for (int index = 0; index < count; ++index) {
        TRecordInfo& mark = marks.Info(index);
        if (!mark.Selected)
            continue;
        data.GoTo(index);
        try {
            CopyFields(*kind.DocType, data, fields, work, value);
            validator->Validate(&work);
            TExportTotals withRecord = totals;
            if (salary)
                AddToSums(work, withRecord);
            output.Append(&work);
            totals = withRecord;
            mark.State = RecordCheckedOk;
            ++totals.ExportCount;
        } catch (const EValidateError& error) {
            reject(index, AnsiToUtf8(error.Message()));
        } catch (const TLostCharacter& lost) {
            reject(index, lost.Text);
        }
        ++totals.CheckedCount;
    }
}
