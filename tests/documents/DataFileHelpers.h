#pragma once
// Loading a data file from bytes and reading it back, for the data-file tests.

#include "documents/Datafiles.h"
#include "platform/Classes.h"

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

inline void LoadBytes(TDataFile& file, const std::string& bytes)
{
    TMemoryStream stream;
    stream.WriteString(bytes);
    stream.SetPosition(0);
    file.LoadFromStream(&stream);
}

inline std::string SavedBytes(TDataFile& file)
{
    TMemoryStream stream;
    file.SaveToStream(&stream);
    return stream.Bytes();
}

// Every field of the current record.
inline std::vector<AnsiString> CurrentRow(const TDataFile& file)
{
    std::vector<AnsiString> row;
    for (int i = 0; i < file.CurRecord()->Count(); ++i)
        row.push_back(file.CurRecord()->Get(i));
    return row;
}

// Appends a record with these fields (of a store: the memos first).
inline void AppendRow(TDataFile& file, std::initializer_list<AnsiString> fields)
{
    file.Append();
    int index = 0;
    for (const AnsiString& field : fields)
        file.CurRecord()->Set(index++, field);
}

inline std::unique_ptr<TFieldLengths> Widths(std::initializer_list<int32_t> widths)
{
    auto array = std::make_unique<TFieldLengths>();
    for (int32_t width : widths)
        array->Add(width);
    return array;
}
