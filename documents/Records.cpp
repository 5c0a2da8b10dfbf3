#include "documents/Records.h"

AnsiString TRecord::Get(int /*index*/) const
{
    return AnsiString();
}

void TRecord::GetInto(int index, AnsiString& into) const
{
    into = Get(index);
}

std::string_view TRecord::GetView(int index, AnsiString& buffer) const
{
    GetInto(index, buffer);
    return buffer;
}

void TRecord::Set(int /*index*/, const AnsiString& /*value*/) {}

int TRecord::Count() const
{
    return 0;
}

TConvertRecord::TConvertRecord(TIntArray* map, TRecord* source)
    : FMap(map ? map : new TIntArray), FSource(source)
{
}

AnsiString TConvertRecord::Get(int index) const
{
    const int sourceIndex = FMap->At(index);
    if (sourceIndex < 0 || !FSource)
        return AnsiString();
    return FSource->Get(sourceIndex);
}

void TConvertRecord::GetInto(int index, AnsiString& into) const
{
    const int sourceIndex = FMap->At(index);
    if (sourceIndex < 0 || !FSource)
        into.clear();
    else
        FSource->GetInto(sourceIndex, into);
}

std::string_view TConvertRecord::GetView(int index, AnsiString& buffer) const
{
    const int sourceIndex = FMap->At(index);
    if (sourceIndex < 0 || !FSource)
        return std::string_view();
    return FSource->GetView(sourceIndex, buffer);
}

void TConvertRecord::Set(int index, const AnsiString& value)
{
    const int sourceIndex = FMap->At(index);
    if (FSource)
        FSource->Set(sourceIndex, value);
}

int TConvertRecord::Count() const
{
    return FMap->Count();
}

void CopyRecord(TRecord* destination, const TRecord* source)
{
    // Kept from call to call: copying a record allocates nothing once it has grown.
    thread_local AnsiString value;
    int i = 0;
    for (; i < source->Count(); ++i) {
        source->GetInto(i, value);
        destination->Set(i, value);
    }
    for (value.clear(); i < destination->Count(); ++i)
        destination->Set(i, value);
}
