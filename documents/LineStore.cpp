#include "documents/LineStore.h"

#include "documents/ByteScan.h"

#include "platform/Classes.h"
#include "platform/Exception.h"
#include "platform/SysUtils.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

// The largest piece handed to one Read or Write.
constexpr int32_t ReadPiece = 1 << 30;
// Saved lines are gathered into pieces of this size before they are written.
constexpr size_t WritePiece = 1 << 20;

void WriteBytes(TStream& stream, std::string_view bytes)
{
    for (size_t done = 0; done < bytes.size();) {
        const auto count = static_cast<int32_t>(std::min<size_t>(bytes.size() - done, ReadPiece));
        stream.WriteBuffer(bytes.data() + done, count);
        done += static_cast<size_t>(count);
    }
}

[[noreturn]] void RaiseRangeError(int index)
{
    throw Exception("Выход индекса за пределы диапазона (" + IntToStr(index) + ")");
}

}  // namespace

std::string_view TLineStore::Line(int index) const
{
    if (index < 0 || index >= Count())
        RaiseRangeError(index);
    return Text(FLines[static_cast<size_t>(index)]);
}

std::string_view TLineStore::Text(const TLineRef& line) const
{
    if (line.Owned)
        return FOwned[line.Start];
    return std::string_view(FBuffer.get() + line.Start, line.Length);
}

TLineStore::TLineRef TLineStore::OwnedRef(std::string_view text)
{
    FOwned.emplace_back(text);
    return TLineRef{FOwned.size() - 1, 0, true};
}

void TLineStore::SetLine(int index, std::string_view text)
{
    if (index < 0 || index >= Count())
        RaiseRangeError(index);
    TLineRef& line = FLines[static_cast<size_t>(index)];
    if (line.Owned)
        FOwned[line.Start].assign(text);
    else
        line = OwnedRef(text);
}

void TLineStore::Add(std::string_view text)
{
    FLines.push_back(OwnedRef(text));
}

void TLineStore::Delete(int index)
{
    if (index < 0 || index >= Count())
        RaiseRangeError(index);
    const TLineRef line = FLines[static_cast<size_t>(index)];
    if (line.Owned)
        AnsiString().swap(FOwned[line.Start]);   // its slot stays, its memory goes
    FLines.erase(FLines.begin() + index);
}

void TLineStore::Clear()
{
    FLines.clear();
    FOwned.clear();
    FBuffer.reset();
    FBufferSize = 0;
}

void TLineStore::DropFirstLinePrefix(size_t count)
{
    const std::string_view first = Line(0);
    SetLine(0, first.substr(std::min(count, first.size())));
}

void TLineStore::LoadFromStream(TStream& stream)
{
    Clear();
    // Sized once from what the stream says is left, then grown only if it held more.
    size_t capacity = static_cast<size_t>(std::max<int64_t>(stream.Size() - stream.Position(), 0)) + 1;
    FBuffer.reset(new char[capacity]);
    for (;;) {
        if (FBufferSize == capacity) {
            std::unique_ptr<char[]> larger(new char[capacity * 2]);
            std::memcpy(larger.get(), FBuffer.get(), FBufferSize);
            FBuffer = std::move(larger);
            capacity *= 2;
        }
        const size_t room = std::min<size_t>(capacity - FBufferSize, ReadPiece);
        const int32_t count = stream.Read(FBuffer.get() + FBufferSize, static_cast<int32_t>(room));
        if (count <= 0)
            break;
        FBufferSize += static_cast<size_t>(count);
    }
    FLines.reserve(EstimatedLineCount());
    SplitBuffer();
    // A file whose first lines are much shorter than the rest was overestimated.
    if (FLines.capacity() > 2 * FLines.size() + 16)
        FLines.shrink_to_fit();
}

// The line count from the lines of the first 64 KB, a tenth more: the line list is sized
// once instead of growing by copies of itself.
size_t TLineStore::EstimatedLineCount() const
{
    if (FBufferSize == 0)
        return 0;
    const size_t sample = std::min<size_t>(FBufferSize, 64 * 1024);
    const auto sampleLines = static_cast<size_t>(std::count(FBuffer.get(), FBuffer.get() + sample, '\n')) + 1;
    return sampleLines * (FBufferSize / sample + 1) / 10 * 11;
}

void TLineStore::AddLoaded(const char* begin, const char* end)
{
    const auto length = static_cast<size_t>(end - begin);
    if (length > std::numeric_limits<uint32_t>::max()) {
        FLines.push_back(OwnedRef(std::string_view(begin, length)));
        return;
    }
    FLines.push_back(TLineRef{static_cast<uint64_t>(begin - FBuffer.get()), static_cast<uint32_t>(length), false});
}

void TLineStore::SplitBuffer()
{
    const char* const end = FBuffer.get() + FBufferSize;
    const char* lineStart = FBuffer.get();
    const char* lfOfCrLf = nullptr;   // the LF that ends a line together with the CR before it
    ForEachByteOf(lineStart, end, '\r', '\n', [&](const char* lineEnd) {
        if (lineEnd == lfOfCrLf)
            return;
        AddLoaded(lineStart, lineEnd);
        lineStart = lineEnd + 1;
        if (*lineEnd == '\r' && lineStart < end && *lineStart == '\n') {
            lfOfCrLf = lineStart;
            ++lineStart;
        }
    });
    if (lineStart < end)
        AddLoaded(lineStart, end);
}

void TLineStore::SaveToStream(TStream& stream) const
{
    std::string piece;
    piece.reserve(WritePiece + 2);
    for (int i = 0; i < Count(); ++i) {
        const std::string_view line = Line(i);
        if (piece.size() + line.size() > WritePiece) {
            WriteBytes(stream, piece);
            piece.clear();
        }
        if (line.size() > WritePiece)
            WriteBytes(stream, line);
        else
            piece.append(line);
        piece.append("\r\n");
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
