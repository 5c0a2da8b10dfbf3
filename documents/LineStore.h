#pragma once
// The lines of a text file kept as the file's bytes in one buffer, each line an offset and
// a length into it; a line that was changed or added owns its text. Loading costs one
// buffer and 8 bytes per line, and reading a line copies nothing. Each line keeps the line
// break it was read with (a loaded line's follows it in the buffer), so that a save can
// give the file back the bytes it had.

#include "platform/AnsiString.h"
#include "platform/Encoding.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TStream;
class TStringList;

// How a line ends: a file's last line may have no break.
enum class TLineBreak : uint8_t { None, CrLf, Lf, Cr };

class TLineStore {
public:
    int Count() const { return static_cast<int>(FLines.size()); }
    // Line i without its line end; the view lives until the line or the store changes.
    // An index outside the store raises the range error.
    std::string_view Line(int index) const
    {
        if (index < 0 || index >= Count()) [[unlikely]]
            RaiseRangeError(index);
        return Text(FLines[static_cast<size_t>(index)]);
    }

    // The line keeps its break.
    void SetLine(int index, std::string_view text);
    // The new line takes the break of the line before it (CR LF in a store without lines).
    void Add(std::string_view text);
    void Delete(int index);
    void Clear();
    // Drops the first `count` bytes of line 0 (a byte-order mark); a line left empty
    // without a break is dropped too.
    void DropFirstLinePrefix(size_t count);

    // Reads the stream from its position to its end and splits it at CR LF, CR or LF; a
    // final line end adds no empty line.
    void LoadFromStream(TStream& stream);
    // Every line followed by its own break (keepBreaks) or by CR LF. A line without a break
    // that is no longer the last gets the first break of the store (CR LF when none has
    // one), so that it does not run into the line after it; so does an empty last line,
    // which without a break would be no line at all.
    void SaveToStream(TStream& stream, bool keepBreaks) const;
    // Case-insensitive order of whole lines (stable).
    void Sort();
    // A copy of the lines as a string list.
    TStringList ToList() const;
    // What the loaded bytes hold read as UTF-8, taken while they were split into lines:
    // the scan of every line, as the lines are bytes of the file between line breaks. Null
    // once a line was changed, added or deleted.
    const TUtf8Scan* LoadedScan() const { return FAsLoaded ? &FLoadedScan : nullptr; }

private:
    // A line in the loaded buffer, or (Owned) the text FOwned[Start]. Eight bytes, as a
    // file of a million lines has a million of them; a longer line than Length can hold
    // is kept as an owned copy.
    class TLineRef {
    public:
        static TLineRef Loaded(size_t start, size_t length) { return TLineRef(start | length << 40); }
        static TLineRef OwnedAt(size_t slot) { return TLineRef(slot | uint64_t(1) << 63); }
        size_t Start() const { return FBits & ((uint64_t(1) << 40) - 1); }
        size_t Length() const { return (FBits >> 40) & ((uint64_t(1) << 23) - 1); }
        bool Owned() const { return FBits >> 63; }

    private:
        // Written as one word: a constructor that set three bit-fields would read the
        // new memory of the list to keep the bits around them.
        explicit TLineRef(uint64_t bits) : FBits(bits) {}
        uint64_t FBits;
    };
    static constexpr size_t LongestLoadedLine = (size_t(1) << 23) - 1;
    static constexpr size_t LastLoadedStart = (size_t(1) << 40) - 1;

    // A changed or added line: its text and the break it keeps.
    struct TOwnedLine {
        AnsiString Text;
        TLineBreak Break;
    };

    std::string_view Text(const TLineRef& line) const
    {
        if (line.Owned())
            return FOwned[line.Start()].Text;
        return std::string_view(FBuffer.get() + line.Start(), line.Length());
    }
    TLineBreak BreakOf(const TLineRef& line) const
    {
        return line.Owned() ? FOwned[line.Start()].Break : BreakAt(line.Start() + line.Length());
    }
    // The break that begins at this place of the loaded buffer.
    TLineBreak BreakAt(size_t place) const;
    TLineBreak FirstBreak() const;
    [[noreturn]] static void RaiseRangeError(int index);
    // Where the split of the buffer into lines stands.
    struct TSplit {
        size_t Scanned = 0;
        size_t LineStart = 0;
        size_t LfOfCrLf = SIZE_MAX;   // the LF that ends a line together with the CR before it
        size_t ScannedAsUtf8 = 0;
    };

    size_t EstimatedLineCount(size_t sample, size_t size) const;
    void SplitUpTo(TSplit& split, size_t end);
    // Adds the bytes up to end to the UTF-8 scan, while they are still in the cache.
    void ScanUpTo(TSplit& split, size_t end);
    void AddLoaded(size_t start, size_t end);
    TLineRef OwnedRef(std::string_view text, TLineBreak lineBreak);

    std::unique_ptr<char[]> FBuffer;
    size_t FBufferSize = 0;
    std::vector<TLineRef> FLines;
    std::vector<TOwnedLine> FOwned;
    TUtf8Scan FLoadedScan;
    bool FAsLoaded = true;
};
