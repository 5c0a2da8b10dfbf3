#include "ui/RecordInfos.h"

#include <utility>

const AnsiString& TRecordInfos::ErrorText(int index) const
{
    static const AnsiString none;
    const uint32_t slot = Info(index).FErrorSlot;
    return slot == 0 ? none : FErrorTexts[slot - 1];
}

void TRecordInfos::SetErrorText(int index, AnsiString text)
{
    TRecordInfo& mark = Info(index);
    if (text.empty()) {
        ReleaseSlot(mark);
        return;
    }
    if (mark.FErrorSlot == 0) {
        if (FFreeSlots.empty()) {
            FErrorTexts.emplace_back();
            mark.FErrorSlot = static_cast<uint32_t>(FErrorTexts.size());
        } else {
            mark.FErrorSlot = FFreeSlots.back();
            FFreeSlots.pop_back();
        }
    }
    FErrorTexts[mark.FErrorSlot - 1] = std::move(text);
}

void TRecordInfos::FreeItems(int from)
{
    if (from == 0) {
        // Every mark goes, and every text with them.
        FErrorTexts.clear();
        FFreeSlots.clear();
        return;
    }
    if (FErrorTexts.size() == FFreeSlots.size())
        return;   // no mark has a text
    for (int i = from; i < Count(); ++i)
        ReleaseSlot(ItemsPtr()[i]);
}

void TRecordInfos::ReleaseSlot(TRecordInfo& mark)
{
    if (mark.FErrorSlot == 0)
        return;
    AnsiString().swap(FErrorTexts[mark.FErrorSlot - 1]);
    FFreeSlots.push_back(mark.FErrorSlot);
    mark.FErrorSlot = 0;
}
