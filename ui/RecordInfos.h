#pragma once
// The marks of a document window: one per record of its data file, saying whether the
// record is marked for export and what the last check found. The window owns them, the
// export wizard writes them and the error list reads them.

#include "documents/Containers.h"
#include "platform/AnsiString.h"

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

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
// own range errors. Marks made many at once (a file of 200,000 records gets one each when
// it is loaded) come from one block instead of one allocation per mark; a block goes when
// the array is emptied.
class TRecordInfos : public TPtrArray<TRecordInfo*, 16> {
public:
    TRecordInfos() = default;
    explicit TRecordInfos(int count) { SetCount(count); }
    ~TRecordInfos() override { SetCount(0); }

    TRecordInfos(const TRecordInfos&) = delete;
    TRecordInfos& operator=(const TRecordInfos&) = delete;

    TRecordInfo& Info(int index) { return *At(index); }
    const TRecordInfo& Info(int index) const { return *At(index); }

protected:
    void InitItems(int from) override
    {
        const int added = Count() - from;
        if (added <= 1) {
            for (int i = from; i < Count(); ++i)
                ItemsPtr()[i] = new TRecordInfo;
            return;
        }
        FBlocks.push_back({std::make_unique<TRecordInfo[]>(static_cast<size_t>(added)), added});
        for (int i = 0; i < added; ++i)
            ItemsPtr()[from + i] = &FBlocks.back().Items[static_cast<size_t>(i)];
    }

    void FreeItems(int from) override
    {
        for (int i = from; i < Count(); ++i) {
            TRecordInfo* const item = std::exchange(ItemsPtr()[i], nullptr);
            if (InBlock(item))
                *item = TRecordInfo();   // its block lives on until the array is emptied
            else
                delete item;
        }
        if (from == 0)
            FBlocks.clear();
    }

private:
    struct TBlock {
        std::unique_ptr<TRecordInfo[]> Items;
        int Count;
    };
    std::vector<TBlock> FBlocks;

    bool InBlock(const TRecordInfo* item) const
    {
        for (const TBlock& block : FBlocks)
            if (item >= block.Items.get() && item < block.Items.get() + block.Count)
                return true;
        return false;
    }
};
