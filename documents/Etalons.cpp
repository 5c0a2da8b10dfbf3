#include "documents/Etalons.h"

#include "documents/Common.h"
#include "documents/Exportfiles.h"
#include "documents/Internals.h"
#include "documents/Profiles.h"
#include "platform/Exception.h"

namespace {

constexpr char RowDelimiter = ';';

// Field 1 of a store row is the list's type code, field 2 its formation date (field 0 is
// the memo holding the rows).
constexpr int StoreTypeField = 1;
constexpr int StoreDateField = 2;
constexpr int StoreDataMemo = 0;

void DropTrailingDelimiters(AnsiString& text)
{
    text.erase(text.find_last_not_of(RowDelimiter) + 1);
}

// The first `count` fields of a row as one text: joined by ";" and without trailing ";"
// (so a row with fewer fields, whose missing fields read as empty, gives the same text as
// one that has them empty). No field of a row can hold ";", so two rows give the same
// text exactly when their first `count` fields are equal.
AnsiString RowKeyText(const AnsiString& line, int count)
{
    // The key part ends before the count-th delimiter, or with the line.
    size_t end = AnsiString::npos;
    size_t from = 0;
    for (int k = 0; k < count; ++k) {
        end = line.find(RowDelimiter, from);
        if (end == AnsiString::npos)
            break;
        from = end + 1;
    }
    AnsiString key = line.substr(0, end);
    DropTrailingDelimiters(key);
    return key;
}

// The list of the type from the first row of the store whose type code equals the type's
// code ignoring case; null when there is none.
std::unique_ptr<TEtalon> FindList(TEtalons& store, const TEtalonTypeInfo& type)
{
    for (store.First(); !store.Eof(); store.Next()) {
        TFileRecord* row = store.CurRecord();
        if (SameText(row->Get(StoreTypeField), type.Code)) {
            auto etalon = std::make_unique<TEtalon>(&type, StrToDate(row->Get(StoreDateField)));
            store.SelectMemo(StoreDataMemo);
            etalon->LoadData(store.MemoStream());
            return etalon;
        }
    }
    return nullptr;
}

}  // namespace

TEtalon::TEtalon(const TEtalonTypeInfo* type, TDateTime formedDate)
    : FTitle(type->Title),
      FFormedDate(formedDate),
      FData(std::make_unique<TDelimFile>(AnsiString(1, RowDelimiter), CodePageCp1251, false)),
      FKeyView(std::make_unique<TConvertRecord>(new TIntArray(type->Keys, type->KeyCount), nullptr))
{
}

void TEtalon::LoadData(TStream* stream)
{
    FData->LoadFromStream(stream);
    FRowKeys.clear();
    FIndexed = false;
}

void TEtalon::IndexRows()
{
    const int keyCount = FKeyView->Count();
    const auto& lines = FData->Lines().Items();
    FRowKeys.reserve(lines.size());
    for (const AnsiString& line : lines)
        FRowKeys.insert(RowKeyText(line, keyCount));
    FIndexed = true;
}

void TEtalon::Check(TRecord* record)
{
    FKeyView->SetSource(record);
    AnsiString key;
    bool anyKey = false;
    bool rowsCanHoldIt = true;
    for (int k = 0; k < FKeyView->Count(); ++k) {
        const AnsiString value = FKeyView->Get(k);
        anyKey = anyKey || !value.empty();
        rowsCanHoldIt = rowsCanHoldIt && value.find(RowDelimiter) == AnsiString::npos;
        if (k > 0)
            key += RowDelimiter;
        key += value;
    }
    if (!anyKey)
        return;
    if (rowsCanHoldIt) {
        if (!FIndexed)
            IndexRows();
        DropTrailingDelimiters(key);
        if (FRowKeys.count(key) != 0)
            return;
    }
    throw EValidateError(FTitle + ": запись не найдена");
}

TEtalonArray::TEtalonArray()
{
    SetCount(EtalonTypeCount);
}

TEtalonArray::~TEtalonArray() = default;

void TEtalonArray::Clear()
{
    SetCount(0);
    SetCount(EtalonTypeCount);
}

void TEtalonArray::Load(const AnsiString& path)
{
    Clear();
    TEtalons store;
    store.LoadFromFile(path);
    const TEtalonTypes& types = CurrentSalaryProfile().EtalonTypes;
    for (int i = 0; i < types.Count(); ++i) {
        const int type = types.At(i);
        Set(type, FindList(store, EtalonTypeInfos[type]).release());
    }
}
