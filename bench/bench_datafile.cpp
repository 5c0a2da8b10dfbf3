// The delimited data file as the document window and the export use the client's file.
// 1. Load, walk (every field of every record) and save a DELIM salary list of 100,000 and
//    200,000 records; anchor: Python's csv doing the same (anchors.py datafile).
// 2. Load and walk a list of 1,000,000 records (every field read by GetView, as the
//    validators read, and again by Get and by GetInto, as the grid and the export read)
//    beside two plain C++ readers of the same file: the limit (the file mapped, lines and
//    fields found with memchr) and the usual way (each line read into its own std::string).
//    The bytes that the load and a walk by Get allocate at most are counted.

#include "BenchSupport.h"

#include "documents/Datafiles.h"
#include "platform/Paths.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <new>
#include <string>
#include <string_view>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

// ---- Counted allocations: every operator new of the program goes through these ----

namespace {
// Counted only while set, so that the count does not slow the timed rounds.
bool Counting = false;
long long LiveBytes = 0;
long long PeakBytes = 0;
}  // namespace

void* operator new(size_t size)
{
    void* block = std::malloc(size ? size : 1);
    if (!block)
        throw std::bad_alloc();
    if (Counting) {
        LiveBytes += static_cast<long long>(malloc_usable_size(block));
        PeakBytes = std::max(PeakBytes, LiveBytes);
    }
    return block;
}

void operator delete(void* block) noexcept
{
    if (Counting && block)
        LiveBytes -= static_cast<long long>(malloc_usable_size(block));
    std::free(block);
}

void operator delete(void* block, size_t) noexcept { operator delete(block); }

namespace {

constexpr char Delim = ';';

// ---- Load, walk and save against csv ----

// Every field of every record read by Get, a new string each, as a grid cell is.
long long WalkFields(TDelimFile& file)
{
    long long total = 0;
    for (file.First(); !file.Eof(); file.Next()) {
        const TFileRecord* record = file.CurRecord();
        for (int i = 0; i < record->Count(); ++i)
            total += static_cast<long long>(record->Get(i).size());
    }
    return total;
}

// The same by GetInto, into one buffer that every field reuses, as the export reads.
long long WalkFieldsInto(TDelimFile& file)
{
    long long total = 0;
    AnsiString buffer;
    for (file.First(); !file.Eof(); file.Next()) {
        const TFileRecord* record = file.CurRecord();
        for (int i = 0; i < record->Count(); ++i) {
            record->GetInto(i, buffer);
            total += static_cast<long long>(buffer.size());
        }
    }
    return total;
}

// The same by GetView, where the line is read in place, as the validators and the
// reference-list look-ups read.
long long WalkFieldViews(TDelimFile& file)
{
    long long total = 0;
    AnsiString buffer;
    for (file.First(); !file.Eof(); file.Next()) {
        const TFileRecord* record = file.CurRecord();
        for (int i = 0; i < record->Count(); ++i)
            total += static_cast<long long>(record->GetView(i, buffer).size());
    }
    return total;
}

// Load, walk and save once; returns the total field length as a check.
long long LoadWalkSave(const AnsiString& source, const AnsiString& target)
{
    TDelimFile file(";", CodePageCp1251, false);
    file.LoadFromFile(source);
    const long long total = WalkFields(file);
    file.SaveToFile(target);
    return total;
}

// Five rounds (a save flushes to the disk, whose time varies); the saved file must equal
// its source.
std::vector<double> MeasureLoadWalkSave(const AnsiString& source)
{
    const AnsiString target = source + ".saved";
    long long total = 0;
    const std::vector<double> seconds = Rounds(5, [&] { total = LoadWalkSave(source, target); });
    if (total <= 0 || ReadFileBytes(target) != ReadFileBytes(source))
        throw std::runtime_error("the saved file differs from its source");
    DeleteFile(target);
    return seconds;
}

// ---- Load and walk against plain C++ ----

template <class TWalk> long long LoadWalk(const AnsiString& source, TWalk walk)
{
    TDelimFile file(";", CodePageCp1251, false);
    file.LoadFromFile(source);
    return walk(file);
}

// The total field length of one line (its CR, if any, is no field's).
long long LineFieldBytes(std::string_view line)
{
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    long long total = 0;
    for (const char* p = line.data(), *end = p + line.size();;) {
        const auto* delim = static_cast<const char*>(std::memchr(p, Delim, static_cast<size_t>(end - p)));
        total += (delim ? delim : end) - p;
        if (!delim)
            return total;
        p = delim + 1;
    }
}

// The limit: the file mapped into memory, lines and fields found with memchr.
long long MappedWalk(const char* path)
{
    const int handle = open(path, O_RDONLY);
    struct stat status {};
    fstat(handle, &status);
    const auto size = static_cast<size_t>(status.st_size);
    void* mapped = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, handle, 0);
    close(handle);
    if (mapped == MAP_FAILED)
        throw std::runtime_error("cannot map the file");
    const char* p = static_cast<const char*>(mapped);
    const char* const end = p + size;
    long long total = 0;
    while (p < end) {
        const auto* lf = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
        const char* const lineEnd = lf ? lf : end;
        total += LineFieldBytes(std::string_view(p, static_cast<size_t>(lineEnd - p)));
        p = lineEnd + 1;
    }
    munmap(mapped, size);
    return total;
}

// The usual way: the file read, each line kept as its own std::string, then the walk.
long long LinesWalk(const char* path)
{
    const std::string bytes = ReadWholeFile(path);
    std::vector<std::string> lines;
    for (size_t start = 0; start < bytes.size();) {
        size_t lf = bytes.find('\n', start);
        if (lf == std::string::npos)
            lf = bytes.size();
        lines.emplace_back(bytes, start, lf - start);
        start = lf + 1;
    }
    long long total = 0;
    for (const std::string& line : lines)
        total += LineFieldBytes(line);
    return total;
}

// The most bytes allocated at once during one load and walk.
long long PeakBytesOfLoadWalk(const AnsiString& source)
{
    LiveBytes = PeakBytes = 0;
    Counting = true;
    LoadWalk(source, WalkFields);
    Counting = false;
    return PeakBytes;
}

void MeasureLoadWalk(const char* source, int records)
{
    long long ours = 0, oursByGet = 0, oursByGetInto = 0, limit = 0, lines = 0;
    const auto seconds = RotatedRounds(15, {[&] { ours = LoadWalk(source, WalkFieldViews); },
                                            [&] { oursByGet = LoadWalk(source, WalkFields); },
                                            [&] { oursByGetInto = LoadWalk(source, WalkFieldsInto); },
                                            [&] { limit = MappedWalk(source); }, [&] { lines = LinesWalk(source); }});
    if (ours <= 0 || ours != oursByGet || ours != oursByGetInto || ours != limit || ours != lines)
        throw std::runtime_error("the readers saw different fields");
    Report("datafile_1m_seconds", seconds[0]);
    Report("datafile_1m_get_seconds", seconds[1]);
    Report("datafile_1m_getinto_seconds", seconds[2]);
    Report("datafile_1m_mmap_seconds", seconds[3]);
    Report("datafile_1m_lines_seconds", seconds[4]);
    struct stat status {};
    stat(source, &status);
    const auto fileBytes = static_cast<double>(status.st_size);
    Report("datafile_1m_bytes_per_record", (static_cast<double>(PeakBytesOfLoadWalk(source)) - fileBytes) / records);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: bench_datafile SALARY-100000 SALARY-200000 SALARY-1000000\n");
        return 2;
    }
    const std::vector<double> small = MeasureLoadWalkSave(argv[1]);
    const std::vector<double> large = MeasureLoadWalkSave(argv[2]);
    Report("datafile_100k_seconds", small);
    Report("datafile_200k_seconds", large);
    Report("datafile_200k_per_100k", PerRound(large, small));
    MeasureLoadWalk(argv[3], 1000000);
    return 0;
}
