#include "documents/Records.h"

AnsiString TRecord::Get(int /*index*/) const
{
    return AnsiString();
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
    int i = 0;
    for (; i < source->Count(); ++i)
        destination->Set(i, source->Get(i));
    for (; i < destination->Count(); ++i)
        destination->Set(i, AnsiString());
}
