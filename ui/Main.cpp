// The program entry: the application, its permanent windows and the message loop.

#include "ui/Guard.h"
#include "ui/ProgramStart.h"
#include "ui/UFrmAbout.h"
#include "ui/UFrmEditProfile.h"
#include "ui/UFrmEditRecord.h"
#include "ui/UFrmFind.h"
#include "ui/UFrmMain.h"
#include "ui/UFrmProfile.h"
#include "ui/UFrmWizard.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace {

// SIGTERM (the session ending, a service manager) ends the message loop like the last
// window closing, so that the windows are destroyed in order and the program exits 0.
// The handler only writes a byte into a pipe that the loop watches.
int TerminatePipe[2] = {-1, -1};

void OnTerminate(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(TerminatePipe[1], &byte, 1);
}

std::unique_ptr<QSocketNotifier> WatchTerminate()
{
    if (pipe2(TerminatePipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return nullptr;
    auto notifier = std::make_unique<QSocketNotifier>(TerminatePipe[0], QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, [] { QCoreApplication::quit(); });
    struct sigaction action = {};
    action.sa_handler = OnTerminate;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    return notifier;
}

// Holds a window's global for as long as the window lives.
template <typename TWindow>
class TWindowGlobal {
public:
    TWindowGlobal(TWindow*& global, TWindow* window) : FGlobal(global) { FGlobal = window; }
    ~TWindowGlobal() { FGlobal = nullptr; }

    TWindowGlobal(const TWindowGlobal&) = delete;
    TWindowGlobal& operator=(const TWindowGlobal&) = delete;

private:
    TWindow*& FGlobal;
};

// The permanent windows, created in this order and living until the message loop ends.
void RunWindows(int argc, char** argv)
{
    TFrmMain mainWindow(TStartupParams::FromProcess(argc, argv));
    const TWindowGlobal<TFrmMain> mainGlobal(FrmMain, &mainWindow);
    TFrmProfile profile(&mainWindow);
    const TWindowGlobal<TFrmProfile> profileGlobal(FrmProfile, &profile);
    TFrmEditRecord editRecord(&mainWindow);
    const TWindowGlobal<TFrmEditRecord> editRecordGlobal(FrmEditRecord, &editRecord);
    TFrmWizard wizard(&mainWindow);
    const TWindowGlobal<TFrmWizard> wizardGlobal(FrmWizard, &wizard);
    TFrmFind find(&mainWindow);
    const TWindowGlobal<TFrmFind> findGlobal(FrmFind, &find);
    TFrmAbout about(&mainWindow);
    const TWindowGlobal<TFrmAbout> aboutGlobal(FrmAbout, &about);
    TFrmEditProfile editProfile(&mainWindow);
    const TWindowGlobal<TFrmEditProfile> editProfileGlobal(FrmEditProfile, &editProfile);

    mainWindow.showMaximized();
    QApplication::exec();
}

}  // namespace

int main(int argc, char** argv)
{
    // A write to a pipe whose reader has gone comes back as an error, not a signal.
    std::signal(SIGPIPE, SIG_IGN);
    const TProgramStart start(argc, argv);
    const std::unique_ptr<QSocketNotifier> terminate = WatchTerminate();
    Guarded([&] { RunWindows(argc, argv); });
    return 0;
}
