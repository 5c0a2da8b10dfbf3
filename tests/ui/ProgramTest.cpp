// The built program itself: it starts on a profiles file under the offscreen platform and
// ends cleanly when the system asks it to.

#include "platform/Paths.h"

#include "support/TestSupport.h"

#include <chrono>
#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
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

}  // namespace

TEST(Program, StartsOnAProfilesFileAndExitsCleanlyOnSigterm)
{
    const std::string program = VELTON_PROGRAM;
    if (FileExists(ChangeFileExt(FromSystemPath(program), ".rst")))
        GTEST_SKIP() << "a restart-state file lies beside " << program;
    TTempDir dir;
    const AnsiString ini = dir.File("velton.ini");
    // The plain password is scrambled when the program opens the file: the sign that the
    // start-up has run.
    WriteBytes(ini, "[Only]\r\nCaption=Проба\r\nPrefix=ABC\r\nRecvUser=user\r\nRecvPass=plain\r\n");

    const std::string iniArgument = ToSystemPath(ini);
    char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(iniArgument.c_str()), nullptr};
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    pid_t child = 0;
    ASSERT_EQ(posix_spawn(&child, program.c_str(), nullptr, nullptr, argv, environ), 0);

    int status = 0;
    const bool started = WaitFor([&] { return ReadBytes(ini).find("RecvPass=\\") != std::string::npos; },
                                 std::chrono::seconds(30));
    const bool running = waitpid(child, &status, WNOHANG) == 0;
    EXPECT_TRUE(started) << "the program did not open its profiles file";
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
