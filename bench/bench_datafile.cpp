// Loads, walks (every field of every record) and saves a DELIM salary list, as the
// document window and the export do with the client's file. Anchor: Python's csv module
// doing the same walk on the same files (anchors.py datafile).

#include "BenchSupport.h"

#include "documents/Datafiles.h"
#include "platform/Paths.h"

#include <string>

namespace {

// Load, walk and save once; returns the total field length as a check.
long long LoadWalkSave(const AnsiString& source, const AnsiString& target)
{
    TDelimFile file(";", CodePageCp1251, false);
    file.LoadFromFile(source);
    long long total = 0;
    for (file.First(); !file.Eof(); file.Next()) {
        const TFileRecord* record = file.CurRecord();
        for (int i = 0; i < record->Count(); ++i)
            total += static_cast<long long>(record->Get(i).size());
    }
    file.SaveToFile(target);
    return total;
}

// The best time of five (a save flushes to the disk, whose time varies); the saved file
// must equal its source.
double Measure(const AnsiString& source)
{
    const AnsiString target = source + ".saved";
    long long total = 0;
    const double seconds = BestSeconds(5, [&] { total = LoadWalkSave(source, target); });
    if (total <= 0 || ReadFileBytes(target) != ReadFileBytes(source))
        throw std::runtime_error("the saved file differs from its source");
    DeleteFile(target);
    return seconds;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_datafile SALARY-100000 SALARY-200000\n");
        return 2;
    }
    const double small = Measure(argv[1]);
    const double large = Measure(argv[2]);
    Report("datafile_100k_seconds", small);
    Report("datafile_200k_seconds", large);
    Report("datafile_200k_per_100k", large / small);
    return 0;
}
