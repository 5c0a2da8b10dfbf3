#include "documents/LineStore.h"

#include "documents/ByteScan.h"

#include "platform/Classes.h"
#include "platform/Exception.h"
#include "platform/SysUtils.h"

#include <algorithm>
#include <cstring>

namespace {

// The largest piece handed to one Write.
constexpr int32_t LargestPiece = 1 << 30;
// A file is read and split in pieces of this size.
constexpr size_t LoadPiece = 256 * 1024;
// Saved lines are gathered into pieces of this size before they are written.
constexpr size_t WritePiece = 1 << 20;

void WriteBytes(TStream& stream, std::string_view bytes)
{
    for (size_t done = 0; done < bytes.size();) {
        const auto count = static_cast<int32_t>(std::min<size_t>(bytes.size() - done, LargestPiece));
        stream.WriteBuffer(bytes.data() + done, count);
        done += static_cast<size_t>(count);
    }
}

std::string_view BreakBytes(TLineBreak lineBreak)
{
    switch (lineBreak) {
    case TLineBreak::CrLf: return "\r\n";
    case TLineBreak::Lf: return "\n";
    case TLineBreak::Cr: return "\r";
    case TLineBreak::None: break;
    }
    return {};
}

}  // namespace

void TLineStore::RaiseRangeError(int index)
{
    throw Exception("Выход индекса за пределы диапазона (" + IntToStr(index) + ")");
}

TLineStore::TLineRef TLineStore::OwnedRef(std::string_view text, TLineBreak lineBreak)
{
    FOwned.push_back({AnsiString(text), lineBreak});
    return TLineRef::OwnedAt(FOwned.size() - 1);
}

TLineBreak TLineStore::BreakAt(size_t place) const
{
    if (place >= FBufferSize)
        return TLineBreak::None;
    if (FBuffer[place] == '\n')
        return TLineBreak::Lf;
    return place + 1 < FBufferSize && FBuffer[place + 1] == '\n' ? TLineBreak::CrLf : TLineBreak::Cr;
}

TLineBreak TLineStore::FirstBreak() const
{
    for (const TLineRef& line : FLines)
        if (const TLineBreak lineBreak = BreakOf(line); lineBreak != TLineBreak::None)
            return lineBreak;
    return TLineBreak::CrLf;
}

void TLineStore::SetLine(int index, std::string_view text)
{
    if (index < 0 || index >= Count())
        RaiseRangeError(index);
    TLineRef& line = FLines[static_cast<size_t>(index)];
    if (line.Owned())
        FOwned[line.Start()].Text.assign(text);
    else
        line = OwnedRef(text, BreakOf(line));
    FAsLoaded = false;
}

void TLineStore::Add(std::string_view text)
{
    FLines.push_back(OwnedRef(text, FLines.empty() ? TLineBreak::CrLf : BreakOf(FLines.back())));
    FAsLoaded = false;
}

void TLineStore::Delete(int index)
{
    if (index < 0 || index >= Count())
        RaiseRangeError(index);
    const TLineRef line = FLines[static_cast<size_t>(index)];
    if (line.Owned())
        AnsiString().swap(FOwned[line.Start()].Text);   // its slot stays, its memory goes
    FLines.erase(FLines.begin() + index);
    FAsLoaded = false;
}

void TLineStore::Clear()
{
    FLines.clear();
    FOwned.clear();
    FBuffer.reset();
    FBufferSize = 0;
    FLoadedScan = TUtf8Scan();
    FAsLoaded = true;
}

void TLineStore::DropFirstLinePrefix(size_t count)
{
    TLineRef& first = FLines.at(0);
    count = std::min(count, Text(first).size());
    if (first.Owned())
        FOwned[first.Start()].Text.erase(0, count);
    else
        first = TLineRef::Loaded(first.Start() + count, first.Length() - count);
    // Nothing left and no break after it: the prefix was all the text, and a text of no
    // bytes has no lines.
    if (Text(first).empty() && BreakOf(first) == TLineBreak::None)
        FLines.clear();
}

// The stream is read in pieces, and each piece split into lines while it is still in the
// cache: the file's bytes pass through memory once.
void TLineStore::LoadFromStream(TStream& stream)
{
    Clear();
    // Sized once from what the stream says is left, then grown only if it held more.
    const size_t expected = static_cast<size_t>(std::max<int64_t>(stream.Size() - stream.Position(), 0));
    size_t capacity = expected + 1;
    FBuffer.reset(new char[capacity]);
    TSplit split;
    for (;;) {
        if (FBufferSize == capacity) {
            std::unique_ptr<char[]> larger(new char[capacity * 2]);
            std::memcpy(larger.get(), FBuffer.get(), FBufferSize);
            FBuffer = std::move(larger);
            capacity *= 2;
        }
        const size_t room = std::min(capacity - FBufferSize, LoadPiece);
        // The piece's pages are made just before the read, so the read and the split
        // find them in the cache.
        PopulatePages(FBuffer.get() + FBufferSize, room);
        const int32_t count = stream.Read(FBuffer.get() + FBufferSize, static_cast<int32_t>(room));
        if (count <= 0)
            break;
        if (FBufferSize == 0)
            FLines.reserve(EstimatedLineCount(static_cast<size_t>(count), expected));
        FBufferSize += static_cast<size_t>(count);
        // The last byte waits for the next piece: a CR there may be the first half of CR LF.
        SplitUpTo(split, FBufferSize - 1);
        // Whole lines only: a character is never cut in two at a piece's end.
        ScanUpTo(split, split.LineStart);
    }
    SplitUpTo(split, FBufferSize);
    ScanUpTo(split, FBufferSize);
    if (split.LineStart < FBufferSize)
        AddLoaded(split.LineStart, FBufferSize);
    // A file whose first lines are much shorter than the rest was overestimated.
    if (FLines.capacity() > 2 * FLines.size() + 16)
        FLines.shrink_to_fit();
}

// The line count of a text of `size` bytes from the lines of its first `sample` bytes
// (at most 64 KB), a tenth more: the line list is sized once instead of growing by copies
// of itself.
size_t TLineStore::EstimatedLineCount(size_t sample, size_t size) const
{
    sample = std::min<size_t>(sample, 64 * 1024);
    const auto sampleLines = static_cast<size_t>(std::count(FBuffer.get(), FBuffer.get() + sample, '\n')) + 1;
    return sampleLines * (size / sample + 1) / 10 * 11;
}

inline void TLineStore::AddLoaded(size_t start, size_t end)
{
    const size_t length = end - start;
    if (length > LongestLoadedLine || start > LastLoadedStart) [[unlikely]]
        FLines.push_back(OwnedRef(std::string_view(FBuffer.get() + start, length), BreakAt(end)));
    else
        FLines.push_back(TLineRef::Loaded(start, length));
}

// Adds the lines that end in [Scanned, end); the byte after a CR must be in the buffer.
void TLineStore::SplitUpTo(TSplit& split, size_t end)
{
    const char* const bytes = FBuffer.get();
    ForEachByteOf(bytes + split.Scanned, bytes + end, '\r', '\n', [&](const char* found) {
        const auto lineEnd = static_cast<size_t>(found - bytes);
        if (lineEnd == split.LfOfCrLf)
            return;
        AddLoaded(split.LineStart, lineEnd);
        split.LineStart = lineEnd + 1;
        if (*found == '\r' && split.LineStart < FBufferSize && bytes[split.LineStart] == '\n') {
            split.LfOfCrLf = split.LineStart;
            ++split.LineStart;
        }
    });
    split.Scanned = std::max(split.Scanned, end);
}

void TLineStore::ScanUpTo(TSplit& split, size_t end)
{
    if (end <= split.ScannedAsUtf8)
        return;
    FLoadedScan.Add(std::string_view(FBuffer.get() + split.ScannedAsUtf8, end - split.ScannedAsUtf8));
    split.ScannedAsUtf8 = end;
}

void TLineStore::SaveToStream(TStream& stream, bool keepBreaks) const
{
    // A memory stream takes the whole text at once instead of growing by copies of itself.
    int64_t savedSize = 0;
    for (const TLineRef& line : FLines)
        savedSize += static_cast<int64_t>(Text(line).size()) + 2;
    stream.Reserve(stream.Position() + savedSize);
    const TLineBreak firstBreak = keepBreaks ? FirstBreak() : TLineBreak::CrLf;
    std::string piece;
    piece.reserve(WritePiece + 2);
    for (int i = 0; i < Count(); ++i) {
        const TLineRef& ref = FLines[static_cast<size_t>(i)];
        const std::string_view line = Text(ref);
        if (piece.size() + line.size() > WritePiece) {
            WriteBytes(stream, piece);
            piece.clear();
        }
        if (line.size() > WritePiece)
            WriteBytes(stream, line);
        else
            piece.append(line);
        TLineBreak lineBreak = keepBreaks ? BreakOf(ref) : TLineBreak::CrLf;
        // An empty last line without a break would be written as nothing: a record lost.
        if (lineBreak == TLineBreak::None && (i + 1 < Count() || line.empty()))
            lineBreak = firstBreak;
        piece.append(BreakBytes(lineBreak));
    }
    WriteBytes(stream, piece);
}

void TLineStore::Sort()
{
    std::stable_sort(FLines.begin(), FLines.end(),
                     [this](const TLineRef& a, const TLineRef& b) { return CompareText(Text(a), Text(b)) < 0; });
}

TStringList TLineStore::ToList() const
{
    TStringList list;
    for (int i = 0; i < Count(); ++i)
        list.Add(AnsiString(Line(i)));
    return list;
}
