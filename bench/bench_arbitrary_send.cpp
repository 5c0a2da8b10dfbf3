// The arbitrary file's send of a large file through a local SMTP server (started by the
// program itself, as the test fixtures do), beside the plain container build of the same
// bytes: time (five rounds) and peak memory. The memory is the growth of the process's
// peak resident size over its size before the first run, so each measure runs in a
// process of its own (the mode argument).

#include "BenchSupport.h"

#include "documents/Blockstreams.h"
#include "documents/Profiles.h"
#include "documents/Zipfiles.h"
#include "platform/Paths.h"
#include "support/TestServers.h"
#include "ui/ArbitraryWizard.h"
#include "ui/ContainerSend.h"

#include <cstring>

namespace {

// A value of /proc/self/status in bytes ("VmRSS", "VmHWM").
double StatusBytes(const char* key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(key) + ":";
    while (std::getline(status, line))
        if (line.compare(0, prefix.size(), prefix) == 0)
            return std::stod(line.substr(prefix.size())) * 1024;
    throw std::runtime_error(std::string("no ") + key + " in /proc/self/status");
}

void SelectProfile(const AnsiString& work, const AnsiString& keys)
{
    const AnsiString ini = work + "velton.ini";
    WriteFileAtomically(ini, "[Bench]\r\nPrefix=ABC\r\nRecvUser=client\r\nRecvPass=secret\r\nDataPath=" + work +
                                 "\r\n" + keys);
    Profiles.Get()->Open(ini);
    Profiles.Get()->Select(0);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 6 || (std::strcmp(argv[1], "send") != 0 && std::strcmp(argv[1], "container") != 0)) {
        std::fprintf(stderr, "usage: bench_arbitrary_send send|container CLIENT-KEY-FOLDER BANK-KEY FILE WORK-FOLDER\n");
        return 2;
    }
    const bool send = std::strcmp(argv[1], "send") == 0;
    const AnsiString work = IncludeTrailingPathDelimiter(argv[5]);
    const AnsiString fileName = argv[4];
    AnsiString keys = "PgpKeyPath=" + AnsiString(argv[2]) + "\r\nBankPgpKey=" + argv[3] + "\r\n";
    TMailServer mail("client", "secret");
    if (send)
        keys += "SendHost=127.0.0.1\r\nSendPort=" + std::to_string(mail.StartSmtp()) + "\r\n";
    SelectProfile(work, keys);
    TFileProfile& settings = Profiles.Get()->Current()->ArbitraryProfile;
    settings.SetFileName(fileName);
    const double fileBytes = static_cast<double>(FileStamp(fileName)->Size);

    const double before = StatusBytes("VmRSS");
    const std::vector<double> seconds = Rounds(5, [&] {
        if (send) {
            SendArbitraryFile(settings);
            return;
        }
        TBlockStream container;
        std::unique_ptr<TZippedFile> member = NewDataMember();
        member->WriteString(ReadFileBytes(fileName));
        SaveContainer(std::move(member), container);
    });
    const double peak = StatusBytes("VmHWM") - before;
    const char* name = send ? "arbitrary_send" : "arbitrary_container";
    Report((std::string(name) + "_seconds").c_str(), seconds);
    Report((std::string(name) + "_peak_per_file").c_str(), peak / fileBytes);
    Profiles.Reset();
    return 0;
}
