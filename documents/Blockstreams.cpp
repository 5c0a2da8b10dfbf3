#include "documents/Blockstreams.h"

#include "platform/Exception.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

constexpr int DefaultBlockSize = 4096;

} // namespace

uint32_t ReadLE32(TStream* s)
{
    unsigned char word[4];
    s->ReadBuffer(word, sizeof word);
    return GetLE32(word);
}

void WriteLE32(TStream* s, uint32_t value)
{
    unsigned char word[4];
    PutLE32(word, value);
    s->WriteBuffer(word, sizeof word);
}

int64_t SeekTarget(int64_t position, int64_t size, int64_t offset, TSeekOrigin origin)
{
    int64_t base = 0;
    if (origin == TSeekOrigin::soCurrent)
        base = position;
    else if (origin == TSeekOrigin::soEnd)
        base = size;
    // The base is never negative, so only a large positive offset can overflow.
    int64_t target;
    if (__builtin_add_overflow(base, offset, &target))
        return INT64_MAX;
    return std::max<int64_t>(target, 0);
}

// ---- TDataBlock ----

TDataBlock::TDataBlock(int size, int writeFrom, int writeTo) : FData(new char[size])
{
    std::memset(FData, 0, size_t(writeFrom));
    std::memset(FData + writeTo, 0, size_t(size - writeTo));
}

TDataBlock::~TDataBlock() { delete[] FData; }

// ---- TDataBlocks ----

int64_t TDataBlocks::MaxSize() const { return int64_t(INT_MAX) * FBlockSize; }

int TDataBlocks::SlotsFor(int64_t size) const
{
    return int((size + FBlockSize - 1) / FBlockSize);
}

void TDataBlocks::SetSize(int64_t n)
{
    if (n < 0 || n > MaxSize())
        RaiseWriteError();
    const bool shrinking = n < FSize;
    FSize = n;
    const int needed = SlotsFor(n);
    if (shrinking) {
        if (needed < Count())
            SetCount(needed);   // deletes the blocks past the new end, drops spare slots
        ClearTailOfLastBlock();
    } else if (needed > Count()) {
        // The slot list is one exact block that is copied whenever its count changes, so
        // it grows by half at a time: a stream written in small pieces then copies its
        // list a few dozen times, not once per block. The spare slots stay null.
        const int64_t roomy = std::min<int64_t>(Count() + Count() / 2, INT_MAX);
        SetCount(int(std::max<int64_t>(needed, roomy)));
    }
}

// After a shrink the last kept block may hold old bytes past the new end; clearing them
// keeps the rule that bytes at or past Size are zero.
void TDataBlocks::ClearTailOfLastBlock()
{
    const int used = int(FSize % FBlockSize);
    if (used == 0)
        return;
    if (TDataBlock* last = At(SlotsFor(FSize) - 1))
        std::memset(last->Data() + used, 0, size_t(FBlockSize - used));
}

TDataBlock* TDataBlocks::GetBlock(int i, int writeFrom, int writeTo)
{
    TDataBlock* block = At(i);
    if (!block) {
        block = new TDataBlock(FBlockSize, writeFrom, writeTo);
        Set(i, block);
    }
    return block;
}

const char* TDataBlocks::PeekBlock(int i)
{
    TDataBlock* block = At(i);
    return block ? block->Data() : nullptr;
}

int TDataBlocks::AllocatedBlocks()
{
    int allocated = 0;
    for (int i = 0; i < Count(); ++i)
        if (At(i))
            ++allocated;
    return allocated;
}

// ---- TBlockStream ----

TBlockStream::TBlockStream(int blockSize)
    : FBlocks(new TDataBlocks(blockSize < 1 ? DefaultBlockSize : blockSize))
{
}

TBlockStream::~TBlockStream() { delete FBlocks; }

void TBlockStream::Clear()
{
    SetSize(0);
    Seek(0, TSeekOrigin::soBeginning);
}

int32_t TBlockStream::Read(void* buffer, int32_t count)
{
    const int64_t size = Size();
    if (count <= 0 || FPosition >= size)
        return 0;
    const int64_t end = std::min(FPosition + count, size);
    const int blockSize = BlockSize();
    char* out = static_cast<char*>(buffer);
    while (FPosition < end) {
        const int slot = int(FPosition / blockSize);
        const int offset = int(FPosition % blockSize);
        const int n = int(std::min<int64_t>(blockSize - offset, end - FPosition));
        if (const char* block = FBlocks->PeekBlock(slot))
            std::memcpy(out, block + offset, size_t(n));
        else
            std::memset(out, 0, size_t(n));
        out += n;
        FPosition += n;
    }
    return int32_t(out - static_cast<char*>(buffer));
}

int32_t TBlockStream::Write(const void* buffer, int32_t count)
{
    if (count <= 0)
        return 0;
    if (FPosition > FBlocks->MaxSize() - count)
        RaiseWriteError();
    const int64_t end = FPosition + count;
    if (end > Size())
        FBlocks->SetSize(end);
    const int blockSize = BlockSize();
    const char* in = static_cast<const char*>(buffer);
    while (FPosition < end) {
        const int slot = int(FPosition / blockSize);
        const int offset = int(FPosition % blockSize);
        const int n = int(std::min<int64_t>(blockSize - offset, end - FPosition));
        std::memcpy(FBlocks->GetBlock(slot, offset, offset + n)->Data() + offset, in, size_t(n));
        in += n;
        FPosition += n;
    }
    return count;
}

int64_t TBlockStream::Seek(int64_t offset, TSeekOrigin origin)
{
    FPosition = SeekTarget(FPosition, Size(), offset, origin);
    return FPosition;
}

void TBlockStream::SetSize(int64_t size) { FBlocks->SetSize(size); }
