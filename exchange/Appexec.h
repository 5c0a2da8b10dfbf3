#pragma once
// Runs one child process with its standard input, output and error on pipes whose
// parent-side ends this object keeps, and pumps those pipes from threads.
//
// The child is started with posix_spawn from an argument vector (never through a shell)
// in a process group of its own, so that a time-out can kill it together with anything
// it started. Every pipe end is close-on-exec; the child inherits only its three
// standard handles, and on request a fourth pipe as its handle 3 (a status channel, as
// gpg's --status-fd 3 uses). SIGPIPE must be ignored process-wide (the program's entry does it):
// a write to a child that stopped reading then comes back as an error, not a signal.

#include "platform/AnsiString.h"
#include "platform/SysHandle.h"

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TStream;

class TAppExec {
public:
    // Starts the child: arguments[0] is the program (a path, or a bare name looked up in
    // PATH), the rest are its arguments, each arriving as one argument whatever blanks or
    // quotes it holds. Texts are CP1251 and reach the child as UTF-8, as file names do.
    // A program that cannot be started raises EOSError with the system's text after the
    // program's name (errno ENOENT for a missing program); no handle is left open then.
    // With statusPipe set, the child's handle 3 is the write end of one more pipe, whose
    // read end is Status().
    explicit TAppExec(const std::vector<AnsiString>& arguments, bool statusPipe = false);
    // Kills the child's process group when the child has not been reaped yet, wakes and
    // joins every pump, and closes the handles (status, error, output, input, process).
    ~TAppExec();
    TAppExec(const TAppExec&) = delete;
    TAppExec& operator=(const TAppExec&) = delete;

    // The parent's ends of the child's standard input (write end), output, error and
    // status pipe (read ends; Status is empty without a status pipe). A user may move a
    // handle out to own it.
    TSysHandle& Input() { return FInput; }
    TSysHandle& Output() { return FOutput; }
    TSysHandle& Error() { return FError; }
    TSysHandle& Status() { return FStatus; }
    pid_t ProcessId() const { return FPid; }

    // Pumps: each runs on its own thread and owns the pipe end it is given. A pump that
    // fails keeps its error text (see PumpError); the others go on.
    //   Feed writes `source` from its position to its end into the pipe, then closes the
    //   pipe so that the child sees the end of its input. A child that stops reading ends
    //   the feed quietly.
    //   Drain copies everything the child writes to `target` at its position. When the
    //   target refuses bytes, the drain keeps reading (and drops) the rest, so that the
    //   child is never stuck on a full pipe, and then reports the target's error.
    //   Collect reads everything and keeps the first `limit` bytes in `text`.
    // Each returns the pump's number. Every pump ends when its pipe reaches its end or
    // when Terminate is called.
    int Feed(TSysHandle pipe, TStream& source);
    int Drain(TSysHandle pipe, TStream& target);
    int Collect(TSysHandle pipe, std::string& text, size_t limit);

    // Waits at most timeoutMs (a negative value: without limit) for the child to end.
    // True when it ended; it is then reaped and ExitCode holds its code.
    bool WaitFor(int timeoutMs);
    // Abandons the child: kills its whole process group, reaps the child, and wakes every
    // pump so that none waits on a pipe that a stray grandchild may still hold open. The
    // pumps stop without taking what is left in the pipes, so after a child that ended on
    // its own, join the pumps instead.
    void Terminate();
    bool Ended() const { return FReaped; }
    // The exit code of a child that ended; 128 + the signal's number for a child that a
    // signal ended (as a shell reports it).
    int ExitCode() const { return FExitCode; }

    // Waits for every pump to end. Do this before touching the pumps' streams or texts.
    void JoinPumps();
    // "" when the pump succeeded (or has not failed yet), else its error text.
    const AnsiString& PumpError(int pump) const;

private:
    struct TPump;

    int StartPump(TSysHandle pipe, std::function<void(TSysHandle&)> work);
    bool WaitReady(int handle, short events) const;
    size_t ReadPipe(int handle, char* buffer, size_t count) const;
    bool WritePipe(int handle, const char* data, size_t count) const;
    void FeedPipe(TSysHandle& pipe, TStream& source) const;
    void DrainPipe(TSysHandle& pipe, TStream& target) const;
    void CollectPipe(TSysHandle& pipe, std::string& text, size_t limit) const;
    void Reap();

    // The handles in the order of their roles; closed in reverse order.
    TSysHandle FProcess;   // a pidfd of the child: readable once the child has ended
    TSysHandle FInput;
    TSysHandle FOutput;
    TSysHandle FError;
    TSysHandle FStatus;
    // Closing the write end wakes every pump (Terminate).
    TSysHandle FWakeRead;
    TSysHandle FWakeWrite;
    pid_t FPid = -1;
    bool FReaped = false;
    int FExitCode = -1;
    std::vector<std::unique_ptr<TPump>> FPumps;
};

// Starts a program that is to outlive this one (a program update): exactly the open file
// `program` is run, under `name` as its first argument, without a shell and without other
// arguments, in a session of its own, with this process's standard handles and, as handle
// 3, the open program file. Nothing waits for it. A program that cannot be started raises
// EOSError with the system's text after the name.
void StartDetachedProcess(TSysHandle program, const AnsiString& name);
