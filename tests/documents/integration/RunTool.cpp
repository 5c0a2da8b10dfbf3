#include "RunTool.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// A pipe whose ends are closed on exec and when the holder goes.
struct TPipe {
    int Fd[2] = {-1, -1};
    TPipe()
    {
        if (pipe2(Fd, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe2 failed");
    }
    ~TPipe()
    {
        CloseEnd(0);
        CloseEnd(1);
    }
    void CloseEnd(int i)
    {
        if (Fd[i] >= 0)
            close(Fd[i]);
        Fd[i] = -1;
    }
};

// Feeds the input and drains both outputs together, so that no pipe fills up and stalls
// the tool.
void Pump(TPipe& in, TPipe& out, TPipe& err, const std::string& input, TToolResult& result)
{
    size_t written = 0;
    if (input.empty())
        in.CloseEnd(1);
    char buffer[65536];
    while (out.Fd[0] >= 0 || err.Fd[0] >= 0) {
        pollfd fds[3] = {{out.Fd[0], POLLIN, 0}, {err.Fd[0], POLLIN, 0}, {in.Fd[1], POLLOUT, 0}};
        if (poll(fds, 3, -1) < 0 && errno != EINTR)
            throw std::runtime_error("poll failed");
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            TPipe& pipe = i == 0 ? out : err;
            const ssize_t n = read(pipe.Fd[0], buffer, sizeof buffer);
            if (n > 0)
                (i == 0 ? result.Out : result.Err).append(buffer, size_t(n));
            else
                pipe.CloseEnd(0);
        }
        if (fds[2].fd >= 0 && fds[2].revents != 0) {
            const ssize_t n = write(in.Fd[1], input.data() + written, input.size() - written);
            if (n > 0)
                written += size_t(n);
            if (n <= 0 || written == input.size())
                in.CloseEnd(1);
        }
    }
}

} // namespace

TToolResult RunTool(const std::vector<std::string>& argv, const std::string& workDir,
                    const std::string& input)
{
    TPipe in, out, err;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in.Fd[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out.Fd[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err.Fd[1], 2);
    if (!workDir.empty())
        posix_spawn_file_actions_addchdir_np(&actions, workDir.c_str());

    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);

    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        throw std::runtime_error("cannot start " + argv[0]);
    in.CloseEnd(0);
    out.CloseEnd(1);
    err.CloseEnd(1);

    TToolResult result;
    Pump(in, out, err, input, result);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

bool HaveTool(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::string folders = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= folders.size()) {
        const size_t end = std::min(folders.find(':', start), folders.size());
        const std::string candidate = folders.substr(start, end - start) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0)
            return true;
        start = end + 1;
    }
    return false;
}
