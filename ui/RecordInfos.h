#pragma once
// The marks of a document window: one per record of its data file, saying whether the
// record is marked for export and what the last check found. The window owns them, the
// export wizard writes them and the error list reads them.

#include "documents/Containers.h"
#include "platform/AnsiString.h"

#include <cstdint>

enum : uint8_t {
    RecordNotChecked = 0,
    RecordCheckedOk = 1,
    RecordHasError = 2,
};

struct TRecordInfo {
    uint8_t Selected = 1;  // 1: marked for export
    uint8_t State = RecordNotChecked;
    AnsiString ErrorText;
};

// An owning array of marks, index = record number: growing creates new marks (selected,
// not checked), shrinking deletes the surplus; a bad index or count raises the array's
// own range errors.
class TRecordInfos : public TPtrArray<TRecordInfo*, 16> {
public:
    TRecordInfos() = default;
    explicit TRecordInfos(int count) { SetCount(count); }

    TRecordInfo& Info(int index) { return *At(index); }
    const TRecordInfo& Info(int index) const { return *At(index); }

protected:
    void InitItems(int from) override
    {
        for (int i = from; i < Count(); ++i)
            ItemsPtr()[i] = new TRecordInfo;
    }
};
