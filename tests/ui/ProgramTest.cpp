// The built program itself: it starts on a profiles file under the offscreen platform and
// ends cleanly when the system asks it to; after a self-update its next start returns to
// the profiles file and profile that were open.

#include "documents/Profiles.h"
#include "platform/Paths.h"
#include "ui/UFrmMain.h"
#include "ui/UFrmProfile.h"
#include "ui/Updates.h"

#include "support/ScriptedDialogs.h"
#include "support/TestSupport.h"

#include <QAction>
#include <QCoreApplication>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <functional>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <vector>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

// Waits up to the time-out for the condition; true when it came.
template <typename TCondition>
bool WaitFor(TCondition condition, std::chrono::seconds timeout)
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// Waits until `started` holds for the running program, a child of this process, then asks
// it to end with SIGTERM; it must end by itself with code 0.
void WatchUntil(pid_t child, const std::function<bool()>& started)
{
    int status = 0;
    const bool came = WaitFor(started, std::chrono::seconds(30));
    const bool running = waitpid(child, &status, WNOHANG) == 0;
    EXPECT_TRUE(came) << "the program did not open its profiles file";
    EXPECT_TRUE(running) << "the program ended by itself";
    if (!running)
        return;

    kill(child, SIGTERM);
    const bool ended = WaitFor([&] { return waitpid(child, &status, WNOHANG) == child; }, std::chrono::seconds(30));
    if (!ended) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
        FAIL() << "the program did not end on SIGTERM";
    }
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

// Starts the program with the arguments under the offscreen platform and watches it.
void RunUntil(const std::string& program, std::vector<std::string> arguments, const std::function<bool()>& started)
{
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    pid_t child = 0;
    ASSERT_EQ(posix_spawn(&child, program.c_str(), nullptr, nullptr, argv.data(), environ), 0);
    WatchUntil(child, started);
}

// The plain password is scrambled when the program opens the file: the sign that the
// start-up has run on it.
const char PlainProfile[] = "[Only]\r\nCaption=Проба\r\nPrefix=ABC\r\nRecvUser=user\r\nRecvPass=plain\r\n";

bool Scrambled(const AnsiString& ini)
{
    return ReadBytes(ini).find("RecvPass=\\") != std::string::npos;
}

}  // namespace

TEST(Program, StartsOnAProfilesFileAndExitsCleanlyOnSigterm)
{
    const std::string program = VELTON_PROGRAM;
    if (FileExists(ChangeFileExt(FromSystemPath(program), ".rst")))
        GTEST_SKIP() << "a restart-state file lies beside " << program;
    TTempDir dir;
    const AnsiString ini = dir.File("velton.ini");
    WriteBytes(ini, PlainProfile);
    RunUntil(program, {ToSystemPath(ini)}, [&] { return Scrambled(ini); });
}

namespace {

// A copy of the program in a folder of its own, so that its restart-state file lies there
// too; a profiles file of two profiles, the second keeping its data (and updates) there;
// the file that the update writes when it runs.
struct TProgramCopy {
    TTempDir Dir;
    AnsiString Program = Dir.File("velton-export");
    AnsiString Ini = Dir.File("profiles.ini");
    AnsiString Update = Dir.File("Updates/Updates-9.1.exe");
    AnsiString Ran = Dir.File("update-ran");
    AnsiString RestartState = Dir.File("velton-export.rst");

    TProgramCopy()
    {
        CopyFile(FromSystemPath(VELTON_PROGRAM), Program);
        chmod(ToSystemPath(Program).c_str(), 0755);
        WriteBytes(Ini, "[First]\r\nPrefix=ABC\r\nRecvUser=first\r\nRecvPass=one\r\n"
                        "[Second]\r\nCaption=Второй\r\nPrefix=DEF\r\nRecvUser=second\r\nRecvPass=two\r\nDataPath=" +
                            Dir.Path() + "\r\n");
        ForceDirectories(Dir.File("Updates"));
    }

    // Runs the program's start-up on the profiles file in this process, selects the second
    // profile and runs the self-update command with consent; the window closes for the
    // update. The window lives on while `whileEnding` runs.
    void RunUpdateCommand(const std::function<void()>& whileEnding) const
    {
        FrmProfile = nullptr;   // two profiles and no chooser: the start-up selects none
        TFrmMain main(TStartupParams{Program, {ToSystemPath(Ini)}});
        FrmMain = &main;
        main.show();
        QCoreApplication::processEvents();
        main.SelectProfile(1);
        TScriptedDialogs dialogs;
        dialogs.ExpectMessage(UpdateQuestion("9.1"), MessageBoxAnswer::Ok,
                              MessageBoxFlags::OkCancel | MessageBoxFlags::IconQuestion);
        main.ItmUpdates->trigger();
        EXPECT_FALSE(main.isVisible());
        whileEnding();
        FrmMain = nullptr;
        Profiles.Reset();
    }

    // A profile with a plain password, which a program that opens the file scrambles.
    void AddMarker() const { WriteBytes(Ini, ReadBytes(Ini) + "[Marker]\r\nRecvPass=plain\r\n"); }

    // A program has opened the profiles file since the marker came, and the restart state
    // is gone.
    bool Reopened() const
    {
        return ReadBytes(Ini).find("[Marker]\r\nRecvPass=\\") != std::string::npos && !FileExists(RestartState);
    }
};

}  // namespace

TEST(Program, AnUpdateRunsDetachedAndTheNextStartReturnsToTheSameProfile)
{
    const TProgramCopy copy;
    // The update records the process and the session it runs in; the receive path stored
    // it without the execute bit.
    WriteBytes(copy.Update, "#!/bin/sh\nset -- $(cat /proc/$$/stat)\necho \"$1 $6\" > '" + copy.Ran + "'\n");
    ASSERT_EQ(chmod(ToSystemPath(copy.Update).c_str(), 0644), 0);

    copy.RunUpdateCommand([] {});

    ASSERT_TRUE(WaitFor([&] { return FileExists(copy.Ran); }, std::chrono::seconds(10)));
    int pid = 0;
    int session = 0;
    ASSERT_TRUE(WaitFor([&] { return std::sscanf(ReadBytes(copy.Ran).c_str(), "%d %d", &pid, &session) == 2; },
                        std::chrono::seconds(10)));
    EXPECT_EQ(session, pid) << "the update runs in a session of its own";
    waitpid(pid, nullptr, WNOHANG);
    struct stat info {};
    ASSERT_EQ(stat(ToSystemPath(copy.Update).c_str(), &info), 0);
    EXPECT_TRUE(info.st_mode & S_IXUSR);

    const std::string state = ReadBytes(copy.RestartState);
    {
        // The next start, in this process: the profile of the restart state, no chooser.
        TFrmMain next(TStartupParams{copy.Program, {}});
        FrmMain = &next;
        next.show();
        QCoreApplication::processEvents();
        ASSERT_NE(Profiles.Get()->Current(), nullptr);
        EXPECT_ANSI_EQ(Profiles.Get()->GetFileName(), copy.Ini);
        EXPECT_ANSI_EQ(Profiles.Get()->Current()->Name, "Second");
        FrmMain = nullptr;
    }
    Profiles.Reset();
    EXPECT_FALSE(FileExists(copy.RestartState));

    // And the built program itself takes the same state: it opens the profiles file named
    // there (it scrambles the plain password added now) and deletes the state.
    WriteBytes(copy.RestartState, state);
    copy.AddMarker();
    RunUntil(ToSystemPath(copy.Program), {}, [&] { return copy.Reopened(); });
}

TEST(Program, AnUpdateThatStartsTheProgramAtOnceReturnsToTheSameProfilesFile)
{
    const TProgramCopy copy;
    // The update starts the program again at once, in its own process.
    WriteBytes(copy.Update,
               "#!/bin/sh\necho $$ > '" + copy.Ran + "'\nexec '" + ToSystemPath(copy.Program) + "'\n");
    setenv("QT_QPA_PLATFORM", "offscreen", 1);

    pid_t restarted = 0;
    copy.RunUpdateCommand([&] {
        copy.AddMarker();
        // This program ends a little later than the new one starts and holds its profiles
        // file until then.
        ASSERT_TRUE(WaitFor([&] { return FileExists(copy.Ran); }, std::chrono::seconds(10)));
        ASSERT_TRUE(WaitFor([&] { return std::sscanf(ReadBytes(copy.Ran).c_str(), "%d", &restarted) == 1; },
                            std::chrono::seconds(10)));
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    });
    ASSERT_GT(restarted, 0);
    WatchUntil(restarted, [&] { return copy.Reopened(); });
}
