#pragma once
// The marks of a document window: one per record of its data file, saying whether the
// record is marked for export and what the last check found. The window owns them, the
// export wizard writes them and the error list reads them.

#include "platform/AnsiString.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

enum : uint8_t {
    RecordNotChecked = 0,
    RecordCheckedOk = 1,
    RecordHasError = 2,
};

struct TRecordInfo {
    uint8_t Selected = 1;  // 1: marked for export
    uint8_t State = RecordNotChecked;
};

// The marks in one block of small values, index = record number: growing adds marks
// that are selected and not checked, shrinking drops the surplus; a bad index or count
// raises the program's range errors. The error texts are kept apart, only for the
// records that have one, and move with their marks when a mark is deleted.
class TRecordInfos {
public:
    TRecordInfos() = default;
    explicit TRecordInfos(int count) { SetCount(count); }

    int Count() const { return static_cast<int>(FMarks.size()); }
    void SetCount(int count);
    // Removes the mark at index and its text; the later marks move down by one.
    void Delete(int index);

    TRecordInfo& Info(int index);
    const TRecordInfo& Info(int index) const;

    // The text of the last check's error of a record ("" when it has none). It is UTF-8,
    // not CP1251: it may name a character of the record that CP1251 lacks.
    const Utf8String& ErrorText(int index) const;
    // An empty text removes the record's text.
    void SetErrorText(int index, Utf8String text);

private:
    std::vector<TRecordInfo> FMarks;
    std::map<int, Utf8String> FErrorTexts;   // by record

    void CheckIndex(int index) const;
};
