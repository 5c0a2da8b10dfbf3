#include "documents/Multistreams.h"

#include "documents/Blockstreams.h"
#include "platform/Exception.h"

#include <algorithm>
#include <climits>
#include <vector>

namespace {

constexpr int64_t LengthWordSize = 4;
constexpr int64_t MaxChildSize = 0xFFFFFFFF;
// Moving the tail of the parent goes in chunks of up to this size, so that a child that
// grows by one byte moves the tail in a few large steps, not one byte at a time.
constexpr int64_t MoveChunkSize = 256 * 1024;

} // namespace

// ---- TChildStream ----

int32_t TChildStream::Read(void* buffer, int32_t count) { return FOwner->Read(buffer, count); }

int32_t TChildStream::Write(const void* buffer, int32_t count)
{
    return FOwner->Write(buffer, count);
}

int64_t TChildStream::Seek(int64_t offset, TSeekOrigin origin)
{
    return FOwner->Seek(offset, origin);
}

int64_t TChildStream::Size() { return FOwner->Size(); }

void TChildStream::SetSize(int64_t size) { FOwner->SetSize(size); }

// ---- TMultiStream ----

TMultiStream::TMultiStream(TStream* parent) : FParent(parent), FChild(this) { Rescan(); }

TMultiStream::~TMultiStream() = default;

void TMultiStream::Rescan()
{
    FOffsets.SetCount(0);
    FCount = 0;
    FCurrent = -1;
    const int64_t end = FParent->Size();
    // Length words are unsigned, so every step goes forward and the scan ends.
    for (int64_t at = 0; at < end;) {
        AddOffset(at);
        FParent->Seek(at, TSeekOrigin::soBeginning);
        at += LengthWordSize + ReadLE32(FParent);
    }
    if (Count() > 0)
        Select(0);
}

void TMultiStream::Select(int i)
{
    if (i < 0 || i >= Count())
        throw Exception("Выход номера дочернего потока за пределы диапазона");
    FParent->Seek(FOffsets.At(i), TSeekOrigin::soBeginning);
    const int64_t stored = ReadLE32(FParent);
    FCurrent = i;
    FDataStart = FParent->Position();
    // A damaged last length word may claim more than the parent holds.
    FSize = std::min(stored, std::max<int64_t>(FParent->Size() - FDataStart, 0));
    FPos = 0;
}

void TMultiStream::Append()
{
    int64_t at = 0;
    if (Count() > 0) {
        Select(Count() - 1);
        at = FDataStart + FSize;
        // Rewrite the last length word, which a damaged parent may hold too large.
        FParent->Seek(FDataStart - LengthWordSize, TSeekOrigin::soBeginning);
        WriteLE32(FParent, uint32_t(FSize));
    }
    FParent->Seek(at, TSeekOrigin::soBeginning);
    WriteLE32(FParent, 0);
    AddOffset(at);
    FCurrent = Count() - 1;
    FDataStart = at + LengthWordSize;
    FSize = 0;
    FPos = 0;
    LayoutChanged();
}

void TMultiStream::DeleteCurrent()
{
    CheckCurrent();
    const int64_t removed = LengthWordSize + FSize;
    RemoveBytes(FDataStart - LengthWordSize, removed);
    for (int k = FCurrent; k < Count() - 1; ++k)
        FOffsets.Set(k, FOffsets.At(k + 1) - removed);
    --FCount;
    FCurrent = std::min(FCurrent, Count() - 1);
    if (FCurrent >= 0)
        Select(FCurrent);
    LayoutChanged();
}

int64_t TMultiStream::Offset(int i) const
{
    if (i < 0 || i >= Count())
        RaiseIndexError(i);
    return FOffsets.At(i);
}

// The offsets array keeps spare entries past Count: it grows by half at a time, so that
// listing or appending many children copies it a few dozen times, not every 16 children.
void TMultiStream::AddOffset(int64_t at)
{
    if (FCount == FOffsets.Count())
        FOffsets.SetCount(int(std::clamp<int64_t>(FCount + FCount / 2, 16, INT_MAX)));
    FOffsets.Set(FCount++, at);
}

void TMultiStream::CheckCurrent() const
{
    if (FCurrent < 0)
        throw Exception("Дочерний поток не существует");
}

int32_t TMultiStream::Read(void* buffer, int32_t count)
{
    CheckCurrent();
    if (count <= 0 || FPos >= FSize)
        return 0;
    const int32_t wanted = int32_t(std::min<int64_t>(count, FSize - FPos));
    FParent->Seek(FDataStart + FPos, TSeekOrigin::soBeginning);
    const int32_t got = std::max(FParent->Read(buffer, wanted), 0);
    FPos += got;
    return got;
}

int32_t TMultiStream::Write(const void* buffer, int32_t count)
{
    CheckCurrent();
    if (count <= 0)
        return 0;
    if (FPos > MaxChildSize - count)
        RaiseWriteError();
    const int64_t end = FPos + count;
    if (end > FSize) {
        const int64_t oldSize = FSize;
        Resize(end);
        if (FPos > oldSize)
            ZeroFill(FDataStart + oldSize, FPos - oldSize);
    }
    FParent->Seek(FDataStart + FPos, TSeekOrigin::soBeginning);
    FParent->WriteBuffer(buffer, count);
    FPos = end;
    DataChanged();
    LayoutChanged();
    return count;
}

int64_t TMultiStream::Seek(int64_t offset, TSeekOrigin origin)
{
    CheckCurrent();
    FPos = SeekTarget(FPos, FSize, offset, origin);
    return FPos;
}

int64_t TMultiStream::Size()
{
    CheckCurrent();
    return FSize;
}

void TMultiStream::SetSize(int64_t n)
{
    CheckCurrent();
    const int64_t oldSize = FSize;
    if (n == oldSize)
        return;
    // The last child grows with the parent, whose new bytes are zero already: writing
    // zeros there would only make a stream in memory hold the whole size at once.
    const bool last = FDataStart + oldSize == FParent->Size();
    Resize(n);
    if (n > oldSize && !last)
        ZeroFill(FDataStart + oldSize, n - oldSize);
    DataChanged();
    LayoutChanged();
}

// Gives the selected child length n: moves the rest of the parent, the later offsets and
// the length word. The bytes of a new gap are left as they are.
void TMultiStream::Resize(int64_t n)
{
    if (n < 0 || n > MaxChildSize)
        RaiseWriteError();
    const int64_t delta = n - FSize;
    if (delta > 0)
        OpenGap(FDataStart + FSize, delta);
    else
        RemoveBytes(FDataStart + n, -delta);
    for (int k = FCurrent + 1; k < Count(); ++k)
        FOffsets.Set(k, FOffsets.At(k) + delta);
    FSize = n;
    FParent->Seek(FDataStart - LengthWordSize, TSeekOrigin::soBeginning);
    WriteLE32(FParent, uint32_t(n));
}

// Grows the parent by length bytes and moves everything from `at` on toward the end,
// from the back, so that nothing is overwritten before it has moved.
void TMultiStream::OpenGap(int64_t at, int64_t length)
{
    int64_t end = FParent->Size();
    FParent->SetSize(end + length);
    std::vector<char> buffer(size_t(std::min(std::max<int64_t>(end - at, 0), MoveChunkSize)));
    for (int64_t left = end - at; left > 0;) {
        const int32_t k = int32_t(std::min<int64_t>(left, MoveChunkSize));
        FParent->Seek(end - k, TSeekOrigin::soBeginning);
        FParent->ReadBuffer(buffer.data(), k);
        FParent->Seek(end - k + length, TSeekOrigin::soBeginning);
        FParent->WriteBuffer(buffer.data(), k);
        end -= k;
        left -= k;
    }
}

// Moves everything behind the length bytes at `at` forward over them and shrinks the
// parent by length.
void TMultiStream::RemoveBytes(int64_t at, int64_t length)
{
    if (length <= 0)
        return;
    const int64_t end = FParent->Size();
    std::vector<char> buffer(size_t(std::min(end - at - length, MoveChunkSize)));
    for (int64_t from = at + length; from < end;) {
        const int32_t k = int32_t(std::min(end - from, MoveChunkSize));
        FParent->Seek(from, TSeekOrigin::soBeginning);
        FParent->ReadBuffer(buffer.data(), k);
        FParent->Seek(from - length, TSeekOrigin::soBeginning);
        FParent->WriteBuffer(buffer.data(), k);
        from += k;
    }
    FParent->SetSize(end - length);
}

void TMultiStream::ZeroFill(int64_t at, int64_t length)
{
    const std::vector<char> zeros(size_t(std::min(length, MoveChunkSize)));
    FParent->Seek(at, TSeekOrigin::soBeginning);
    for (int64_t left = length; left > 0;) {
        const int32_t k = int32_t(std::min<int64_t>(left, MoveChunkSize));
        FParent->WriteBuffer(zeros.data(), k);
        left -= k;
    }
}
