#pragma once
// Runs an outside tool (zip, unzip, python3) with an argument vector, never through a
// shell, and collects what it printed.

#include "platform/AnsiString.h"

#include <initializer_list>
#include <string>
#include <vector>

struct TToolResult {
    int ExitCode = -1;   // -1 when the tool did not end normally
    std::string Out;
    std::string Err;
};

// Runs argv[0] found on PATH, in the folder `workDir` when it is not empty, with `input`
// on its standard input.
TToolResult RunTool(const std::vector<std::string>& argv, const std::string& workDir = "",
                    const std::string& input = "");

// Fails the test (in SetUp) when a tool is not on PATH.
void RequireTools(std::initializer_list<const char*> names);
