#pragma once
// The bank's reference lists ("эталонные списки") as loaded from the reference-list store:
// the valid accounts against which salary records are looked up before they are sent.

#include "documents/Containers.h"
#include "documents/Datafiles.h"
#include "documents/Records.h"
#include "platform/AnsiString.h"
#include "platform/Exception.h"
#include "platform/SysUtils.h"

#include <memory>

struct TEtalonTypeInfo;
class TRowKeyIndex;

// One loaded reference list. Its rows are fields separated by ";" (CP1251, no escaping)
// whose first fields carry the key values in the order of the type's Keys.
class TEtalon {
public:
    TEtalon(const TEtalonTypeInfo* type, TDateTime formedDate);
    ~TEtalon();

    TEtalon(const TEtalon&) = delete;
    TEtalon& operator=(const TEtalon&) = delete;

    // Reads the list's rows from the stream (its position to the end).
    void LoadData(TStream* stream);

    // Whether one row's key fields equal the record's key fields exactly (letter case and
    // blanks count). A record whose key fields are all empty is held without a search.
    // The rows' keys are indexed on the first look-up after LoadData.
    bool Holds(TRecord* record);
    // Accepts the record the list holds; else raises EValidateError Title + ": запись не
    // найдена". Inline, so that the error is raised in the caller's own frame: a list
    // rejects many records, and each frame between a raise and its catch costs time.
    void Check(TRecord* record)
    {
        if (!Holds(record))
            throw EValidateError(FTitle + ": запись не найдена");
    }

    const AnsiString& Title() const { return FTitle; }
    TDateTime FormedDate() const { return FFormedDate; }
    // The rows, for showing the list. The key index keeps its own copy of the keys, so
    // sorting the rows is harmless; rows changed after a check are not seen by it.
    TDelimFile& Data() { return *FData; }
    // The record under test seen through the type's key fields.
    const TConvertRecord& KeyView() const { return *FKeyView; }

private:
    AnsiString FTitle;
    TDateTime FFormedDate;
    std::unique_ptr<TDelimFile> FData;
    std::unique_ptr<TConvertRecord> FKeyView;
    // The key fields of every row; null until the first check after a load.
    std::unique_ptr<TRowKeyIndex> FIndex;
    // The key under test and a field read by copy, their memory kept from check to check.
    AnsiString FKey;
    AnsiString FValue;
};

// The loaded lists, one slot per reference-list type (0 "SAL", 1 "NNS", 2 "COM"); a type
// that is not loaded has an empty slot. At(type) outside 0-2 raises the range error.
class TEtalonArray : public TPtrArray<TEtalon*, 1> {
public:
    TEtalonArray();
    ~TEtalonArray() override;

    // Loads, from the reference-list store at path, the list of every type that the
    // current profile's salary settings require: for each, the first row of the store
    // whose type code equals the type's code ignoring case. A missing store file loads
    // nothing; a bad formation date raises the date conversion error.
    void Load(const AnsiString& path);
    // Deletes every loaded list; all slots become empty.
    void Clear();
};
