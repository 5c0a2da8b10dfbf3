#include "ui/RecordInfos.h"

#include "documents/Containers.h"

#include <utility>

void TRecordInfos::SetCount(int count)
{
    if (count < 0)
        RaiseCountError(count);
    FErrorTexts.erase(FErrorTexts.lower_bound(count), FErrorTexts.end());
    FMarks.resize(static_cast<size_t>(count));
}

void TRecordInfos::Delete(int index)
{
    CheckIndex(index);
    FMarks.erase(FMarks.begin() + index);
    FErrorTexts.erase(index);
    // The texts of the later marks move down with them; each lands before the next one.
    for (auto later = FErrorTexts.upper_bound(index); later != FErrorTexts.end();) {
        auto moved = FErrorTexts.extract(later++);
        --moved.key();
        FErrorTexts.insert(std::move(moved));
    }
}

TRecordInfo& TRecordInfos::Info(int index)
{
    CheckIndex(index);
    return FMarks[static_cast<size_t>(index)];
}

const TRecordInfo& TRecordInfos::Info(int index) const
{
    CheckIndex(index);
    return FMarks[static_cast<size_t>(index)];
}

const Utf8String& TRecordInfos::ErrorText(int index) const
{
    static const Utf8String none;
    CheckIndex(index);
    const auto text = FErrorTexts.find(index);
    return text == FErrorTexts.end() ? none : text->second;
}

void TRecordInfos::SetErrorText(int index, Utf8String text)
{
    CheckIndex(index);
    if (text.empty())
        FErrorTexts.erase(index);
    else
        FErrorTexts[index] = std::move(text);
}

void TRecordInfos::CheckIndex(int index) const
{
    if (index < 0 || index >= Count())
        RaiseIndexError(index);
}
