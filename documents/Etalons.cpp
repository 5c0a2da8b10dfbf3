#include "documents/Etalons.h"

#include "documents/Common.h"
#include "documents/Exportfiles.h"
#include "documents/Internals.h"
#include "documents/Profiles.h"
#include "platform/Exception.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

namespace {

constexpr char RowDelimiter = ';';

// Field 1 of a store row is the list's type code, field 2 its formation date (field 0 is
// the memo holding the rows).
constexpr int StoreTypeField = 1;
constexpr int StoreDateField = 2;
constexpr int StoreDataMemo = 0;

// The text without the delimiters at its end.
std::string_view WithoutTrailingDelimiters(std::string_view text)
{
    const size_t last = text.find_last_not_of(RowDelimiter);
    return text.substr(0, last == std::string_view::npos ? 0 : last + 1);
}

// The first `count` fields of a row as one text: joined by ";" and without trailing ";"
// (so a row with fewer fields, whose missing fields read as empty, gives the same text as
// one that has them empty). No field of a row can hold ";", so two rows give the same
// text exactly when their first `count` fields are equal.
std::string_view RowKeyText(std::string_view line, int count)
{
    // The key part ends before the count-th delimiter, or with the line.
    size_t end = std::string_view::npos;
    size_t from = 0;
    for (int k = 0; k < count; ++k) {
        end = line.find(RowDelimiter, from);
        if (end == std::string_view::npos)
            break;
        from = end + 1;
    }
    return WithoutTrailingDelimiters(line.substr(0, end));
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

// The key texts of a list's rows, copied one after another into one buffer, with an
// open-addressing hash table over them: two allocations for the whole list instead of
// one or more per row, and a look-up that reads one slot and one key in the common case.
// The index keeps no reference to the rows, so sorting them leaves it valid.
class TRowKeyIndex {
public:
    TRowKeyIndex(const TLineStore& lines, int keyCount);

    bool Contains(std::string_view key) const;

private:
    static constexpr uint32_t Unused = UINT32_MAX;
    static constexpr size_t Batch = 16;

    struct TSlot {
        size_t Hash = 0;
        uint32_t Offset = Unused;   // of the key in FKeys
        uint32_t Length = 0;
    };

    // Indexes `count` (at most Batch) rows from line `first` on.
    void AddRows(const TLineStore& lines, size_t first, size_t count, int keyCount);
    // The slot that holds the key, or the unused slot where it belongs.
    size_t SlotOf(std::string_view key, size_t hash) const;
    std::string_view KeyOf(const TSlot& slot) const { return std::string_view(FKeys).substr(slot.Offset, slot.Length); }

    // The keys of a list fit 32-bit offsets: a list is one memo, whose size is 32-bit.
    std::string FKeys;
    // At most half of the slots are used, so every probe ends at an unused one.
    std::vector<TSlot> FSlots;
    size_t FMask = 0;
};

TRowKeyIndex::TRowKeyIndex(const TLineStore& lines, int keyCount)
{
    size_t keysLength = 0;
    const auto lineCount = static_cast<size_t>(lines.Count());
    for (int i = 0; i < lines.Count(); ++i)
        keysLength += RowKeyText(lines.Line(i), keyCount).size();
    FKeys.reserve(keysLength);
    FSlots.resize(std::bit_ceil(std::max<size_t>(16, 2 * lineCount)));
    FMask = FSlots.size() - 1;

    for (size_t first = 0; first < lineCount; first += Batch)
        AddRows(lines, first, std::min(Batch, lineCount - first), keyCount);
}

void TRowKeyIndex::AddRows(const TLineStore& lines, size_t first, size_t count, int keyCount)
{
    // The slots of the rows are fetched into the cache while the keys are hashed, so the
    // inserts below do not wait for memory one row after another.
    std::string_view keys[Batch];
    size_t hashes[Batch];
    for (size_t i = 0; i < count; ++i) {
        keys[i] = RowKeyText(lines.Line(static_cast<int>(first + i)), keyCount);
        hashes[i] = std::hash<std::string_view>()(keys[i]);
        __builtin_prefetch(&FSlots[hashes[i] & FMask], 1);
    }
    for (size_t i = 0; i < count; ++i) {
        TSlot& slot = FSlots[SlotOf(keys[i], hashes[i])];
        if (slot.Offset != Unused)
            continue;   // a row with the same keys as an earlier one
        slot = TSlot{hashes[i], static_cast<uint32_t>(FKeys.size()), static_cast<uint32_t>(keys[i].size())};
        FKeys.append(keys[i]);
    }
}

bool TRowKeyIndex::Contains(std::string_view key) const
{
    return FSlots[SlotOf(key, std::hash<std::string_view>()(key))].Offset != Unused;
}

size_t TRowKeyIndex::SlotOf(std::string_view key, size_t hash) const
{
    for (size_t i = hash & FMask;; i = (i + 1) & FMask) {
        const TSlot& slot = FSlots[i];
        if (slot.Offset == Unused || (slot.Hash == hash && KeyOf(slot) == key))
            return i;
    }
}

TEtalon::TEtalon(const TEtalonTypeInfo* type, TDateTime formedDate)
    : FTitle(type->Title),
      FFormedDate(formedDate),
      FData(std::make_unique<TDelimFile>(AnsiString(1, RowDelimiter), CodePageCp1251, false)),
      FKeyView(std::make_unique<TConvertRecord>(new TIntArray(type->Keys, type->KeyCount), nullptr))
{
}

TEtalon::~TEtalon() = default;

void TEtalon::LoadData(TStream* stream)
{
    FData->LoadFromStream(stream);
    FIndex.reset();
}

bool TEtalon::Holds(TRecord* record)
{
    FKeyView->SetSource(record);
    AnsiString& key = FKey;
    key.clear();
    bool anyKey = false;
    bool rowsCanHoldIt = true;
    for (int k = 0; k < FKeyView->Count(); ++k) {
        const std::string_view value = FKeyView->GetView(k, FValue);
        anyKey = anyKey || !value.empty();
        rowsCanHoldIt = rowsCanHoldIt && value.find(RowDelimiter) == std::string_view::npos;
        if (k > 0)
            key += RowDelimiter;
        key += value;
    }
    if (!anyKey)
        return true;
    if (!rowsCanHoldIt)
        return false;
    if (!FIndex)
        FIndex = std::make_unique<TRowKeyIndex>(FData->LineStore(), FKeyView->Count());
    return FIndex->Contains(WithoutTrailingDelimiters(key));
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
