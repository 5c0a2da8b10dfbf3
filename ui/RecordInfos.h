#pragma once
// The marks of a document window: one per record of its data file, saying whether the
// record is marked for export and what the last check found. The window owns them, the
// export wizard writes them and the error list reads them.

#include "documents/Containers.h"
#include "platform/AnsiString.h"

#include <cstdint>
#include <vector>

enum : uint8_t {
    RecordNotChecked = 0,
    RecordCheckedOk = 1,
    RecordHasError = 2,
};

class TRecordInfos;

struct TRecordInfo {
    uint8_t Selected = 1;  // 1: marked for export
    uint8_t State = RecordNotChecked;

private:
    friend class TRecordInfos;
    uint32_t FErrorSlot = 0;   // 1 + the index of its error text among the array's; 0: none
};

// The marks in one block, index = record number: growing adds marks that are selected
// and not checked, shrinking drops the surplus; a bad index or count raises the array's
// own range errors. A file of 200,000 records gets its marks as one block of small
// values; the error texts are kept apart, only for the marks that have one, and follow
// their marks when marks are deleted.
class TRecordInfos : public TArray<TRecordInfo, 256> {
public:
    TRecordInfos() = default;
    explicit TRecordInfos(int count) { SetCount(count); }

    TRecordInfo& Info(int index) { return At(index); }
    const TRecordInfo& Info(int index) const { return At(index); }

    // The text of the last check's error of a record ("" when it has none).
    const AnsiString& ErrorText(int index) const;
    void SetErrorText(int index, AnsiString text);

protected:
    void FreeItems(int from) override;

private:
    std::vector<AnsiString> FErrorTexts;
    std::vector<uint32_t> FFreeSlots;   // slots of FErrorTexts that no mark holds

    void ReleaseSlot(TRecordInfo& mark);
};
