// The process runner: its pumps, exit codes and handles, and what a kill leaves behind.
// Round trips, children that read little or nothing, the time-out, long error output and
// the arguments are proven through the GnuPG back end (CiphersTest).

#include "exchange/Appexec.h"
#include "RunProgram.h"

#include "platform/Classes.h"
#include "support/TestSupport.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

// The process number that a script wrote to a file (a line), once it is there.
pid_t WaitForPidFile(const AnsiString& path)
{
    for (int attempt = 0; attempt < 1000; ++attempt) {
        std::ifstream file(AnsiToUtf8(path));
        std::string line;
        if (std::getline(file, line) && file.good())
            return std::stoi(line);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ADD_FAILURE() << "no process number in " << U8(path);
    return 0;
}

int OpenHandleCount()
{
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

// A stream that takes `room` bytes, then refuses.
class TFullStream : public TStream {
public:
    explicit TFullStream(int32_t room) : FRoom(room) {}
    int32_t Read(void*, int32_t) override { return 0; }
    int32_t Write(const void*, int32_t count) override
    {
        const int32_t taken = std::min(count, FRoom);
        FRoom -= taken;
        return taken;
    }
    int64_t Seek(int64_t, TSeekOrigin) override { return 0; }
    void SetSize(int64_t) override {}

private:
    int32_t FRoom;
};

class AppExecTest : public ::testing::Test {
protected:
    // A shell script written by the test; run as /bin/sh <file> <arguments>.
    std::vector<AnsiString> Script(const std::string& text, std::vector<AnsiString> arguments = {})
    {
        const AnsiString path = FDir.File("script" + std::to_string(++FScripts) + ".sh");
        WriteBytes(path, text);
        arguments.insert(arguments.begin(), {"/bin/sh", path});
        return arguments;
    }

    TTempDir FDir;
    int FScripts = 0;
};

TEST_F(AppExecTest, AChildEndedByASignalExitsWith128PlusItsNumberAsAShellReportsIt)
{
    EXPECT_EQ(RunProgram(Script("kill -TERM $$\n")).ExitCode, 128 + SIGTERM);
}

TEST_F(AppExecTest, TerminateEndsPumpsEvenWhenAStrayProcessHoldsThePipes)
{
    // A grandchild in a session of its own escapes the group kill and keeps the input,
    // output and error pipes open; the pumps must end all the same.
    const AnsiString pidFile = FDir.File("stray");
    TAppExec exec(Script("setsid sleep 30 &\necho $! >\"$1\"\nwait\n", {pidFile}));
    TMemoryStream output, input;
    input.WriteString(RandomBytes(1 << 20, 7));
    input.SetPosition(0);
    std::string errors;
    exec.Drain(std::move(exec.Output()), output);
    exec.Collect(std::move(exec.Error()), errors, 100);
    exec.Feed(std::move(exec.Input()), input);
    const pid_t stray = WaitForPidFile(pidFile);

    exec.Terminate();
    exec.JoinPumps();
    kill(stray, SIGKILL);
    EXPECT_TRUE(ProcessGone(stray));
}

TEST_F(AppExecTest, DestructorKillsAndReapsARunningChild)
{
    pid_t child = 0;
    {
        TAppExec exec({"/bin/sleep", "30"});
        child = exec.ProcessId();
    }
    EXPECT_EQ(waitpid(child, nullptr, WNOHANG), -1);
    EXPECT_TRUE(ProcessGone(child));
}

TEST_F(AppExecTest, AProgramThatCannotStartRaisesTheSystemErrorAndLeavesNoHandle)
{
    const int before = OpenHandleCount();
    EXPECT_RAISES(TAppExec({"/nonexistent/gpg", "--batch"}), EOSError,
                  "/nonexistent/gpg: " + SysErrorMessage(ENOENT));
    EXPECT_RAISES(TAppExec({"velton-no-such-program"}), EOSError,
                  "velton-no-such-program: " + SysErrorMessage(ENOENT));
    EXPECT_RAISES_PREFIX(TAppExec({"/bin/echo", AnsiString("a\0b", 3)}), EOSError, "/bin/echo: ");
    EXPECT_EQ(OpenHandleCount(), before);
}

TEST_F(AppExecTest, ChildGetsOnlyItsStandardHandles)
{
    int leaked[2];
    ASSERT_EQ(pipe(leaked), 0);   // without close-on-exec, as a careless library would
    // Handle 3 is there only for a child asked with a status pipe.
    const TProgramRun run = RunProgram(Script("[ -e /proc/$$/fd/" + std::to_string(leaked[1]) +
                                              " ] && echo inherited\n[ -e /proc/$$/fd/3 ] && echo three\nexit 0\n"));
    close(leaked[0]);
    close(leaked[1]);
    EXPECT_EQ(run.Output, "");
}

TEST_F(AppExecTest, FailingTargetDoesNotStallTheChild)
{
    // The target takes 1000 bytes and refuses the rest: the child still ends, and the
    // drain reports the target's error.
    TMemoryStream source;
    source.WriteString(RandomBytes(1 << 20, 7));
    source.SetPosition(0);
    TFullStream target(1000);
    TAppExec exec({"/bin/cat"});
    exec.Feed(std::move(exec.Input()), source);
    const int drainer = exec.Drain(std::move(exec.Output()), target);
    exec.Error().Close();
    EXPECT_TRUE(exec.WaitFor(10000));
    exec.JoinPumps();
    EXPECT_EQ(exec.ExitCode(), 0);
    EXPECT_ANSI_EQ(exec.PumpError(drainer), "Ошибка записи в поток");
}

} // namespace
