// Opens a DELIM salary list of 200,000 records in the document window (the load, the grid
// model and the first paint of the window) and, as its anchor, loads the same file as a
// plain data file. Each mode runs in a process of its own and prints its time (five
// rounds) and the memory its first run added at its peak; run.sh sets the two side by side.

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

// Five timings of open(), each after close() (not timed) took the last one away.
template <class TOpen, class TClose> std::vector<double> OpenRounds(TOpen open, TClose close)
{
    std::vector<double> seconds;
    for (int round = 0; round < 5; ++round) {
        close();
        seconds.push_back(Seconds(open));
    }
    return seconds;
}

// The memory that body() takes at its peak beyond what the process held before it.
template <class TBody> double PeakBytes(TBody body)
{
    std::ofstream("/proc/self/clear_refs") << "5";   // the peak starts again from now
    const double before = StatusBytes("VmRSS:");
    body();
    return StatusBytes("VmHWM:") - before;
}

void ReportBoth(const std::vector<double>& seconds, double bytes)
{
    Report("docwindow_200k_seconds", seconds);
    Report("docwindow_200k_memory_bytes", bytes);
}

void Plain(const AnsiString& file)
{
    std::unique_ptr<TDelimFile> kept;
    auto load = [&] {
        kept = std::make_unique<TDelimFile>(";", CodePageCp1251, false);
        kept->LoadFromFile(file);
    };
    const double bytes = PeakBytes(load);
    if (kept->RecordCount() != 200000)
        throw std::runtime_error("the file does not hold 200,000 records");
    ReportBoth(OpenRounds(load, [&] { kept.reset(); }), bytes);
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
    const double bytes = PeakBytes(open);
    if (window->GridModel()->rowCount() != 200000)
        throw std::runtime_error("the grid does not show 200,000 records");
    ReportBoth(OpenRounds(open, [&] { window.reset(); }), bytes);
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
