// Opens a DELIM salary list of 200,000 records in the document window (the load, the grid
// model and the first paint of the window) and, as its anchor, loads the same file as a
// plain data file. Each mode runs in a process of its own and prints the time of its
// first opening (the one a user waits for: a fresh process, nothing warmed), the times of
// five repeat openings and the memory its first opening added at its peak; run.sh starts
// each mode in several fresh processes and sets the two side by side.

#include "BenchSupport.h"

#include "documents/Datafiles.h"
#include "documents/Profiles.h"
#include "platform/Paths.h"
#include "ui/RecordGrid.h"
#include "ui/UFrmExportFile.h"

#include <QApplication>
#include <QTableView>

#include <cstring>
#include <fstream>
#include <memory>
#include <string>

namespace {

// A value of /proc/self/status in bytes ("VmRSS", "VmHWM").
double StatusBytes(const char* key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0)
            return std::stod(line.substr(std::strlen(key) + 1)) * 1024;
    throw std::runtime_error(std::string("no ") + key);
}

// Five timings of open(), each after close() (not timed) took the last one away and the
// heap gave its freed pages back, so that no opening reuses the pages of the one before.
template <class TOpen, class TClose> std::vector<double> OpenRounds(TOpen open, TClose close)
{
    std::vector<double> seconds;
    for (int round = 0; round < 5; ++round) {
        close();
        malloc_trim(0);
        seconds.push_back(Seconds(open));
    }
    return seconds;
}

struct TFirstOpening {
    double Seconds;
    double PeakBytes;   // beyond what the process held before it
};

// The first run of body() in this process: its time and the memory it takes at its peak.
template <class TBody> TFirstOpening FirstOpening(TBody body)
{
    std::ofstream("/proc/self/clear_refs") << "5";   // the peak starts again from now
    const double before = StatusBytes("VmRSS:");
    const double seconds = ::Seconds(body);
    return {seconds, StatusBytes("VmHWM:") - before};
}

void ReportAll(const TFirstOpening& first, const std::vector<double>& repeats)
{
    Report("docwindow_200k_first_seconds", first.Seconds);
    Report("docwindow_200k_seconds", repeats);
    Report("docwindow_200k_memory_bytes", first.PeakBytes);
}

void Plain(const AnsiString& file)
{
    std::unique_ptr<TDelimFile> kept;
    auto load = [&] {
        kept = std::make_unique<TDelimFile>(";", CodePageCp1251, false);
        kept->LoadFromFile(file);
    };
    const TFirstOpening first = FirstOpening(load);
    if (kept->RecordCount() != 200000)
        throw std::runtime_error("the file does not hold 200,000 records");
    ReportAll(first, OpenRounds(load, [&] { kept.reset(); }));
}

void Window(const AnsiString& file)
{
    const AnsiString ini = file + ".ini";
    WriteFileAtomically(ini, "[Bench]\r\nPrefix=BEN\r\nRecvUser=bench\r\nRecvPass=one\r\nSalary.FileName=" + file +
                                 "\r\nSalary.Fields=1,2,3\r\nSalary.Delim=;\r\n");
    Profiles.Get()->Open(ini);
    Profiles.Get()->Select(0);
    TExportProfile* kind = Profiles.Get()->Current()->ExportProfiles.At(0);
    std::unique_ptr<TFrmExportFile> window;
    TFrmExportFile* global = nullptr;
    auto open = [&] {
        window = std::make_unique<TFrmExportFile>(&global, kind);
        window->resize(900, 600);
        window->show();
        window->LoadFile();
        window->grab();   // the first paint: toolbar, header and the visible rows
    };
    const TFirstOpening first = FirstOpening(open);
    if (window->GridModel()->rowCount() != 200000)
        throw std::runtime_error("the grid does not show 200,000 records");
    ReportAll(first, OpenRounds(open, [&] { window.reset(); }));
    window.reset();
    DeleteFile(ini);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3 || (std::strcmp(argv[1], "plain") != 0 && std::strcmp(argv[1], "window") != 0)) {
        std::fprintf(stderr, "usage: bench_docwindow plain|window SALARY-200000\n");
        return 2;
    }
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    if (std::strcmp(argv[1], "plain") == 0)
        Plain(argv[2]);
    else
        Window(argv[2]);
    Profiles.Reset();
    return 0;
}
