#pragma once
// Runs a program to its end for a test: its input from a string, its output and error
// output collected.

#include "exchange/Appexec.h"
#include "platform/Classes.h"
#include "support/TestSupport.h"

#include <string>
#include <vector>

struct TProgramRun {
    int ExitCode = -1;
    std::string Output;
    std::string Errors;
};

// Fails the test when the program has not ended within a minute.
inline TProgramRun RunProgram(const std::vector<AnsiString>& arguments, const std::string& input = "")
{
    TProgramRun run;
    TMemoryStream source, target;
    source.WriteString(input);
    source.SetPosition(0);
    TAppExec exec(arguments);
    exec.Feed(std::move(exec.Input()), source);
    exec.Drain(std::move(exec.Output()), target);
    exec.Collect(std::move(exec.Error()), run.Errors, 1 << 16);
    if (!exec.WaitFor(60000)) {
        ADD_FAILURE() << U8(arguments[0]) << " did not end";
        exec.Terminate();
    }
    exec.JoinPumps();
    run.ExitCode = exec.ExitCode();
    run.Output = target.Bytes();
    return run;
}
