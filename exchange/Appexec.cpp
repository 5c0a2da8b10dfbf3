#include "exchange/Appexec.h"

#include "platform/Classes.h"
#include "platform/Encoding.h"
#include "platform/Exception.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <exception>
#include <thread>

namespace {

// The pumps move the bytes in pieces of the size of a pipe's buffer.
constexpr size_t PipeChunk = 65536;

// The child's handle that carries the status pipe.
constexpr int StatusHandle = 3;
// The handle of a detached child that holds its own program file.
constexpr int ProgramHandle = 3;

// Keeps a handle away from the child's handles 0 to 3, so that moving the child's ends
// onto them can never overwrite one of them with another, and every move makes a copy
// that stays open in the child.
void MoveAboveChildHandles(TSysHandle& handle)
{
    if (handle.Get() > StatusHandle)
        return;
    const int moved = fcntl(handle.Get(), F_DUPFD_CLOEXEC, StatusHandle + 1);
    if (moved < 0)
        RaiseLastOSError();
    handle.Assign(moved);
}

// A pipe whose two ends are close-on-exec.
void MakePipe(TSysHandle& readEnd, TSysHandle& writeEnd)
{
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0)
        RaiseLastOSError();
    readEnd.Assign(ends[0]);
    writeEnd.Assign(ends[1]);
    MoveAboveChildHandles(readEnd);
    MoveAboveChildHandles(writeEnd);
}

// The parent's ends never block: the pumps wait in poll, where Terminate can wake them.
void SetNonBlocking(const TSysHandle& handle)
{
    const int flags = fcntl(handle.Get(), F_GETFL);
    if (flags < 0 || fcntl(handle.Get(), F_SETFL, flags | O_NONBLOCK) != 0)
        RaiseLastOSError();
}

// posix_spawn's error codes are returned, not left in errno.
void Check(int error)
{
    if (error != 0)
        RaiseOSError(error);
}

class TSpawnActions {
public:
    TSpawnActions() { Check(posix_spawn_file_actions_init(&FActions)); }
    ~TSpawnActions() { posix_spawn_file_actions_destroy(&FActions); }
    TSpawnActions(const TSpawnActions&) = delete;
    TSpawnActions& operator=(const TSpawnActions&) = delete;
    posix_spawn_file_actions_t* Get() { return &FActions; }

private:
    posix_spawn_file_actions_t FActions;
};

class TSpawnAttributes {
public:
    TSpawnAttributes() { Check(posix_spawnattr_init(&FAttributes)); }
    ~TSpawnAttributes() { posix_spawnattr_destroy(&FAttributes); }
    TSpawnAttributes(const TSpawnAttributes&) = delete;
    TSpawnAttributes& operator=(const TSpawnAttributes&) = delete;
    posix_spawnattr_t* Get() { return &FAttributes; }

private:
    posix_spawnattr_t FAttributes;
};

// The child's standard handles are the three child-side pipe ends, and its handle 3 the
// status pipe's when there is one; no other handle of this process reaches it, even one
// that some library opened without close-on-exec.
void ConnectChildHandles(TSpawnActions& actions, const TSysHandle& input, const TSysHandle& output,
                         const TSysHandle& error, const TSysHandle& status)
{
    Check(posix_spawn_file_actions_adddup2(actions.Get(), input.Get(), STDIN_FILENO));
    Check(posix_spawn_file_actions_adddup2(actions.Get(), output.Get(), STDOUT_FILENO));
    Check(posix_spawn_file_actions_adddup2(actions.Get(), error.Get(), STDERR_FILENO));
    int firstClosed = STDERR_FILENO + 1;
    if (status.IsOpen()) {
        Check(posix_spawn_file_actions_adddup2(actions.Get(), status.Get(), StatusHandle));
        firstClosed = StatusHandle + 1;
    }
    Check(posix_spawn_file_actions_addclosefrom_np(actions.Get(), firstClosed));
}

// The default SIGPIPE (this process ignores it, and an ignored signal would be inherited)
// and no blocked signals; `placement` is POSIX_SPAWN_SETPGROUP for a process group of its
// own, so that a time-out kills whatever the child started, or POSIX_SPAWN_SETSID for a
// session of its own.
void PrepareAttributes(TSpawnAttributes& attributes, short placement)
{
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigset_t noneBlocked;
    sigemptyset(&noneBlocked);
    Check(posix_spawnattr_setpgroup(attributes.Get(), 0));
    Check(posix_spawnattr_setsigdefault(attributes.Get(), &defaults));
    Check(posix_spawnattr_setsigmask(attributes.Get(), &noneBlocked));
    Check(posix_spawnattr_setflags(attributes.Get(), static_cast<short>(placement | POSIX_SPAWN_SETSIGDEF |
                                                                        POSIX_SPAWN_SETSIGMASK)));
}

// The argument texts as the system takes them. A NUL inside an argument would cut it
// short without a word, so it is refused.
std::vector<std::string> SystemArguments(const std::vector<AnsiString>& arguments)
{
    if (arguments.empty() || arguments[0].empty())
        RaiseOSError(ENOENT, "");
    std::vector<std::string> texts;
    for (const AnsiString& argument : arguments) {
        if (argument.find('\0') != AnsiString::npos)
            RaiseOSError(EINVAL, arguments[0]);
        texts.push_back(AnsiToUtf8(argument));
    }
    return texts;
}

} // namespace

// ---- TAppExec ----

struct TAppExec::TPump {
    TSysHandle Pipe;
    AnsiString ErrorText;
    std::thread Thread;
};

TAppExec::TAppExec(const std::vector<AnsiString>& arguments, bool statusPipe)
{
    const std::vector<std::string> texts = SystemArguments(arguments);
    std::vector<char*> argv;
    for (const std::string& text : texts)
        argv.push_back(const_cast<char*>(text.c_str()));
    argv.push_back(nullptr);

    // The child's ends close when this constructor returns or raises; the kept ends
    // close with the members if it raises.
    TSysHandle childInput, childOutput, childError, childStatus;
    MakePipe(childInput, FInput);
    MakePipe(FOutput, childOutput);
    MakePipe(FError, childError);
    if (statusPipe) {
        MakePipe(FStatus, childStatus);
        SetNonBlocking(FStatus);
    }
    MakePipe(FWakeRead, FWakeWrite);
    SetNonBlocking(FInput);
    SetNonBlocking(FOutput);
    SetNonBlocking(FError);

    TSpawnActions actions;
    ConnectChildHandles(actions, childInput, childOutput, childError, childStatus);
    TSpawnAttributes attributes;
    PrepareAttributes(attributes, POSIX_SPAWN_SETPGROUP);

    const int error = posix_spawnp(&FPid, argv[0], actions.Get(), attributes.Get(), argv.data(), environ);
    if (error != 0) {
        FPid = -1;
        RaiseOSError(error, arguments[0]);
    }
    // A pidfd turns the wait for the child into a poll with a time-out. (The system
    // library's own declaration of pidfd_open lacks C linkage for C++.)
    FProcess.Assign(static_cast<int>(syscall(SYS_pidfd_open, FPid, 0)));
    if (!FProcess.IsOpen()) {
        const int openError = errno;
        Terminate();
        RaiseOSError(openError);
    }
}

TAppExec::~TAppExec()
{
    Terminate();
    JoinPumps();
    FStatus.Close();
    FError.Close();
    FOutput.Close();
    FInput.Close();
    FProcess.Close();
}

bool TAppExec::WaitFor(int timeoutMs)
{
    if (FReaped)
        return true;
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    pollfd process = {FProcess.Get(), POLLIN, 0};
    for (;;) {
        int waitMs = -1;
        if (timeoutMs >= 0) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            waitMs = static_cast<int>(std::max<int64_t>(left.count(), 0));
        }
        const int ready = poll(&process, 1, waitMs);
        if (ready > 0) {
            Reap();
            return true;
        }
        if (ready == 0)
            return false;
        if (errno != EINTR)
            RaiseLastOSError();
    }
}

void TAppExec::Terminate()
{
    if (FPid > 0 && !FReaped) {
        // The group first, then the child itself in case it left the group. It is not
        // reaped yet, so its number cannot belong to anyone else.
        kill(-FPid, SIGKILL);
        kill(FPid, SIGKILL);
        Reap();
    }
    FWakeWrite.Close();
}

void TAppExec::Reap()
{
    int status = 0;
    pid_t reaped;
    do
        reaped = waitpid(FPid, &status, 0);
    while (reaped < 0 && errno == EINTR);
    FReaped = true;
    if (reaped != FPid)
        return;   // someone else reaped it: the exit code stays unknown (-1)
    if (WIFEXITED(status))
        FExitCode = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        FExitCode = 128 + WTERMSIG(status);
}

// ---- Pumps ----

int TAppExec::StartPump(TSysHandle pipe, std::function<void(TSysHandle&)> work)
{
    FPumps.reserve(FPumps.size() + 1);   // so that adding the started pump cannot fail
    auto pump = std::make_unique<TPump>();
    pump->Pipe = std::move(pipe);
    TPump* running = pump.get();
    pump->Thread = std::thread([running, work = std::move(work)] {
        try {
            work(running->Pipe);
        } catch (const Exception& error) {
            running->ErrorText = error.Message();
        } catch (const std::exception& error) {
            running->ErrorText = error.what();
        }
        running->Pipe.Close();   // the child sees the end of its input, or a broken pipe
    });
    FPumps.push_back(std::move(pump));
    return static_cast<int>(FPumps.size() - 1);
}

int TAppExec::Feed(TSysHandle pipe, TStream& source)
{
    return StartPump(std::move(pipe), [this, &source](TSysHandle& handle) { FeedPipe(handle, source); });
}

int TAppExec::Drain(TSysHandle pipe, TStream& target)
{
    return StartPump(std::move(pipe), [this, &target](TSysHandle& handle) { DrainPipe(handle, target); });
}

int TAppExec::Collect(TSysHandle pipe, std::string& text, size_t limit)
{
    return StartPump(std::move(pipe),
                     [this, &text, limit](TSysHandle& handle) { CollectPipe(handle, text, limit); });
}

void TAppExec::JoinPumps()
{
    for (const std::unique_ptr<TPump>& pump : FPumps)
        if (pump->Thread.joinable())
            pump->Thread.join();
}

const AnsiString& TAppExec::PumpError(int pump) const
{
    return FPumps.at(static_cast<size_t>(pump))->ErrorText;
}

// Waits until the handle is ready for the events; false when Terminate woke the pumps.
bool TAppExec::WaitReady(int handle, short events) const
{
    pollfd handles[2] = {{handle, events, 0}, {FWakeRead.Get(), POLLIN, 0}};
    while (poll(handles, 2, -1) < 0)
        if (errno != EINTR)
            RaiseLastOSError();
    return handles[1].revents == 0;
}

// Bytes read, 0 at the end of the pipe or after Terminate.
size_t TAppExec::ReadPipe(int handle, char* buffer, size_t count) const
{
    for (;;) {
        const ssize_t done = read(handle, buffer, count);
        if (done >= 0)
            return static_cast<size_t>(done);
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN)
            RaiseLastOSError();
        if (!WaitReady(handle, POLLIN))
            return 0;
    }
}

// Writes all bytes; false when the child closed its end or Terminate was called.
bool TAppExec::WritePipe(int handle, const char* data, size_t count) const
{
    while (count > 0) {
        const ssize_t done = write(handle, data, count);
        if (done >= 0) {
            data += done;
            count -= static_cast<size_t>(done);
            continue;
        }
        if (errno == EINTR)
            continue;
        if (errno == EPIPE)
            return false;
        if (errno != EAGAIN)
            RaiseLastOSError();
        if (!WaitReady(handle, POLLOUT))
            return false;
    }
    return true;
}

void TAppExec::FeedPipe(TSysHandle& pipe, TStream& source) const
{
    std::vector<char> buffer(PipeChunk);
    for (;;) {
        const int32_t count = source.Read(buffer.data(), static_cast<int32_t>(buffer.size()));
        if (count <= 0 || !WritePipe(pipe.Get(), buffer.data(), static_cast<size_t>(count)))
            return;
    }
}

void TAppExec::DrainPipe(TSysHandle& pipe, TStream& target) const
{
    std::vector<char> buffer(PipeChunk);
    std::exception_ptr failure;
    while (const size_t count = ReadPipe(pipe.Get(), buffer.data(), buffer.size())) {
        if (failure)
            continue;
        try {
            target.WriteBuffer(buffer.data(), static_cast<int32_t>(count));
        } catch (...) {
            failure = std::current_exception();
        }
    }
    if (failure)
        std::rethrow_exception(failure);
}

void TAppExec::CollectPipe(TSysHandle& pipe, std::string& text, size_t limit) const
{
    std::vector<char> buffer(PipeChunk);
    while (const size_t count = ReadPipe(pipe.Get(), buffer.data(), buffer.size())) {
        const size_t room = limit > text.size() ? limit - text.size() : 0;
        text.append(buffer.data(), std::min(count, room));
    }
}

// ---- Detached start ----

void StartDetachedProcess(TSysHandle program, const AnsiString& name)
{
    const std::vector<std::string> texts = SystemArguments({name});
    char* argv[] = {const_cast<char*>(texts[0].c_str()), nullptr};
    // The child runs the file open at its handle 3 through the name of that handle: any
    // other name would be looked up again and might lead elsewhere by then. The handle
    // stays open in the program, since the interpreter of a "#!" script reads the script
    // through that name.
    MoveAboveChildHandles(program);
    const std::string running = "/proc/self/fd/" + std::to_string(ProgramHandle);

    TSpawnActions actions;
    Check(posix_spawn_file_actions_adddup2(actions.Get(), program.Get(), ProgramHandle));
    Check(posix_spawn_file_actions_addclosefrom_np(actions.Get(), ProgramHandle + 1));
    // A session of its own: neither the end of this process nor a hang-up of its terminal
    // reaches the child.
    TSpawnAttributes attributes;
    PrepareAttributes(attributes, POSIX_SPAWN_SETSID);
    pid_t pid = -1;
    const int error = posix_spawn(&pid, running.c_str(), actions.Get(), attributes.Get(), argv, environ);
    if (error != 0)
        RaiseOSError(error, name);
}
