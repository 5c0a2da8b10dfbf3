#include "RunTool.h"

#include "platform/Paths.h"
#include "support/TestSupport.h"

#include <cerrno>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

// The standard input and the error output are files; the output is a pipe, as a streaming
// tool (zip -) needs it, and the only stream read while the tool runs, so nothing stalls.
TToolResult RunTool(const std::vector<std::string>& argv, const std::string& workDir, const std::string& input)
{
    TTempDir streams;
    WriteBytes(streams.File("in"), input);
    const std::string in = ToSystemPath(streams.File("in")), err = ToSystemPath(streams.File("err"));
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "pipe2 failed";
        return {};
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (!workDir.empty())
        posix_spawn_file_actions_addchdir_np(&actions, workDir.c_str());

    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);

    TToolResult result;
    char buffer[65536];
    for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) != 0;) {
        if (n > 0)
            result.Out.append(buffer, size_t(n));
        else if (errno != EINTR)
            break;
    }
    close(out[0]);
    if (spawned != 0) {
        ADD_FAILURE() << "cannot start " << argv[0];
        return result;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.Err = ReadBytes(streams.File("err"));
    return result;
}

void RequireTools(std::initializer_list<const char*> names)
{
    for (const char* name : names)
        ASSERT_FALSE(FindProgramOnPath(name).empty()) << name << " is missing: run scripts/setup.sh --tests";
}
