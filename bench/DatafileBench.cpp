// Loads, walks (every field of every record) and saves a delimited salary list of
// 100,000 and 200,000 records, and runs the same work through Python's csv module on the
// same file as the anchor (bench/datafile_anchor.py).
//
//   datafile_bench [runs]     best of `runs` (default 5) for each size

#include "documents/Datafiles.h"
#include "exchange/Appexec.h"
#include "platform/Paths.h"
#include "platform/SysUtils.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

// Salary records: full name, account, amount; CP1251 text, CR LF line ends.
std::string SalaryList(int count)
{
    const char* surnames[] = {"Иванов", "Петрова", "Сидоренко", "Кузнецов", "Ёлкина", "Смирнов", "Попова"};
    const char* names[] = {"Иван", "Мария", "Олег", "Анна", "Пётр", "Елена"};
    const char* patronymics[] = {"Иванович", "Петровна", "Сергеевич", "Олеговна", "Ильич"};
    std::mt19937 random(20150131);
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += surnames[random() % std::size(surnames)];
        text += ' ';
        text += names[random() % std::size(names)];
        text += ' ';
        text += patronymics[random() % std::size(patronymics)];
        text += Format(";40817810%.12d;%d.%.2d\r\n", i, static_cast<int>(random() % 100000),
                       static_cast<int>(random() % 100));
    }
    return text;
}

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

double BestOf(int runs, const AnsiString& source, const AnsiString& target, long long& total)
{
    double best = 1e9;
    for (int run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        total = LoadWalkSave(source, target);
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        best = std::min(best, elapsed.count());
    }
    return best;
}

// Runs the Python anchor; returns its best time, and its total through `total`.
double AnchorBestOf(int runs, const AnsiString& source, const AnsiString& target, long long& total)
{
    TAppExec python({"python3", VELTON_BENCH_DIR "/datafile_anchor.py", source, target, IntToStr(runs)});
    std::string output;
    python.Collect(std::move(python.Output()), output, 4096);
    python.Input().Close();
    python.WaitFor(-1);
    python.JoinPumps();
    double seconds = 0;
    if (python.ExitCode() != 0 || std::sscanf(output.c_str(), "%lf %lld", &seconds, &total) != 2) {
        std::fprintf(stderr, "python3 anchor failed (exit %d): %s\n", python.ExitCode(), output.c_str());
        std::exit(1);
    }
    return seconds;
}

}  // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::atoi(argv[1]) : 5;
    std::string folder = TempFolder() + "velton-bench-XXXXXX";
    if (!mkdtemp(folder.data()))
        return 1;
    const AnsiString source = folder + "/salary.txt";
    const AnsiString target = folder + "/saved.txt";

    std::printf("DELIM salary list: load, walk every field, save (best of %d)\n", runs);
    std::printf("%10s %12s %12s %8s\n", "records", "TDelimFile", "python csv", "ratio");
    for (int count : {100000, 200000}) {
        WriteFileAtomically(source, SalaryList(count));
        long long total = 0;
        long long anchorTotal = 0;
        const double ours = BestOf(runs, source, target, total);
        const double anchor = AnchorBestOf(runs, source, target, anchorTotal);
        if (total != anchorTotal || ReadFileBytes(target) != ReadFileBytes(source))
            std::fprintf(stderr, "check failed: totals %lld and %lld\n", total, anchorTotal);
        std::printf("%10d %10.1f ms %10.1f ms %7.1fx\n", count, ours * 1000, anchor * 1000, anchor / ours);
    }
    DeleteFile(source);
    DeleteFile(target);
    DeleteFile(folder + "/saved.txt.$00");
    ::rmdir(folder.c_str());
    return 0;
}
