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

// Starts the program with the arguments under the offscreen platform, waits until
// `started` holds, then asks it to end with SIGTERM; it must end by itself with code 0.
void RunUntil(const std::string& program, std::vector<std::string> arguments, const std::function<bool()>& started)
{
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    pid_t child = 0;
    ASSERT_EQ(posix_spawn(&child, program.c_str(), nullptr, nullptr, argv.data(), environ), 0);

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

TEST(Program, AnUpdateRunsDetachedAndTheNextStartReturnsToTheSameProfile)
{
    TTempDir dir;
    // A copy of the program: its restart-state file lies beside it, in the test's folder.
    const AnsiString program = dir.File("velton-export");
    CopyFile(FromSystemPath(VELTON_PROGRAM), program);
    ASSERT_EQ(chmod(ToSystemPath(program).c_str(), 0755), 0);
    const AnsiString ini = dir.File("profiles.ini");
    WriteBytes(ini, "[First]\r\nPrefix=ABC\r\nRecvUser=first\r\nRecvPass=one\r\n"
                    "[Second]\r\nCaption=Второй\r\nPrefix=DEF\r\nRecvUser=second\r\nRecvPass=two\r\nDataPath=" +
                        dir.Path() + "\r\n");
    // The update records the process and the session it runs in; the receive path stored
    // it without the execute bit.
    const AnsiString ran = dir.File("update-ran");
    const AnsiString update = dir.File("Updates/Updates-9.1.exe");
    ForceDirectories(dir.File("Updates"));
    WriteBytes(update, "#!/bin/sh\nset -- $(cat /proc/$$/stat)\necho \"$1 $6\" > '" + ran + "'\n");
    ASSERT_EQ(chmod(ToSystemPath(update).c_str(), 0644), 0);

    {
        FrmProfile = nullptr;   // two profiles and no chooser: the start-up selects none
        TFrmMain main(TStartupParams{program, {ToSystemPath(ini)}});
        FrmMain = &main;
        main.show();
        QCoreApplication::processEvents();
        main.SelectProfile(1);
        TScriptedDialogs dialogs;
        dialogs.ExpectMessage(UpdateQuestion("9.1"), MessageBoxAnswer::Ok,
                              MessageBoxFlags::OkCancel | MessageBoxFlags::IconQuestion);
        main.ItmUpdates->trigger();
        EXPECT_FALSE(main.isVisible());
        FrmMain = nullptr;
    }
    Profiles.Reset();

    ASSERT_TRUE(WaitFor([&] { return FileExists(ran); }, std::chrono::seconds(10)));
    int pid = 0;
    int session = 0;
    ASSERT_TRUE(WaitFor([&] { return std::sscanf(ReadBytes(ran).c_str(), "%d %d", &pid, &session) == 2; },
                        std::chrono::seconds(10)));
    EXPECT_EQ(session, pid) << "the update runs in a session of its own";
    waitpid(pid, nullptr, WNOHANG);
    struct stat info {};
    ASSERT_EQ(stat(ToSystemPath(update).c_str(), &info), 0);
    EXPECT_TRUE(info.st_mode & S_IXUSR);

    const AnsiString rst = dir.File("velton-export.rst");
    const std::string state = ReadBytes(rst);
    {
        // The next start, in this process: the profile of the restart state, no chooser.
        TFrmMain next(TStartupParams{program, {}});
        FrmMain = &next;
        QCoreApplication::processEvents();
        ASSERT_NE(Profiles.Get()->Current(), nullptr);
        EXPECT_ANSI_EQ(Profiles.Get()->GetFileName(), ini);
        EXPECT_ANSI_EQ(Profiles.Get()->Current()->Name, "Second");
        FrmMain = nullptr;
    }
    Profiles.Reset();
    EXPECT_FALSE(FileExists(rst));

    // And the built program itself takes the same state: it opens the profiles file named
    // there (it scrambles the plain password added now) and deletes the state.
    WriteBytes(rst, state);
    WriteBytes(ini, ReadBytes(ini) + "[Marker]\r\nRecvPass=plain\r\n");
    RunUntil(ToSystemPath(program), {}, [&] {
        return ReadBytes(ini).find("[Marker]\r\nRecvPass=\\") != std::string::npos && !FileExists(rst);
    });
}
