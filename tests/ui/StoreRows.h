#pragma once
// Rows put into a store file as the program's writers put them, for the list windows' tests.

#include "platform/AnsiString.h"

#include <initializer_list>

// Appends one row with the given fields (memos first where the store has them) to the
// store file and saves it.
template <typename TStore>
void AppendStoreRow(const AnsiString& fileName, std::initializer_list<AnsiString> fields)
{
    TStore store;
    store.LoadFromFile(fileName);
    store.Append();
    int index = 0;
    for (const AnsiString& field : fields)
        store.CurRecord()->Set(index++, field);
    store.SaveToFile(AnsiString());
}
