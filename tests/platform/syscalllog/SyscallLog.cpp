// Preloaded (LD_PRELOAD) into a process that a test starts: every call that flushes a
// file to the disk, every rename and every open that may create a file is noted, in the
// order they are made, as one line appended to the file that VELTON_SYSCALL_LOG names
// ("sync PATH", "rename FROM TO", "create PATH MODE" with the mode in octal; full paths),
// and is then made as usual.

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string LinkText(const std::string& link)
{
    char buffer[4096];
    const ssize_t length = ::readlink(link.c_str(), buffer, sizeof buffer);
    return length > 0 ? std::string(buffer, static_cast<size_t>(length)) : std::string();
}

std::string OpenPath(int handle)
{
    return LinkText("/proc/self/fd/" + std::to_string(handle));
}

// A name given relative to a folder handle, as a full path.
std::string FullPath(int folder, const char* name)
{
    if (name[0] == '/')
        return name;
    const std::string base = folder == AT_FDCWD ? LinkText("/proc/self/cwd") : OpenPath(folder);
    return base + "/" + name;
}

template <typename Function>
Function Next(const char* name)
{
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

using TOpen = int (*)(const char*, int, ...);

void Note(const std::string& line)
{
    const char* log = std::getenv("VELTON_SYSCALL_LOG");
    if (!log)
        return;
    // The log's own open is not noted.
    const int handle = Next<TOpen>("open")(log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (handle < 0)
        return;
    const std::string text = line + "\n";
    (void)!::write(handle, text.data(), text.size());
    ::close(handle);
}

}  // namespace

extern "C" int fsync(int handle)
{
    Note("sync " + OpenPath(handle));
    return Next<int (*)(int)>("fsync")(handle);
}

extern "C" int fdatasync(int handle)
{
    Note("sync " + OpenPath(handle));
    return Next<int (*)(int)>("fdatasync")(handle);
}

extern "C" int open(const char* path, int flags, ...)
{
    mode_t mode = 0;
    if (flags & O_CREAT) {
        va_list arguments;
        va_start(arguments, flags);
        mode = static_cast<mode_t>(va_arg(arguments, int));
        va_end(arguments);
        char octal[16];
        std::snprintf(octal, sizeof octal, "%o", static_cast<unsigned>(mode));
        Note("create " + FullPath(AT_FDCWD, path) + " " + octal);
    }
    return Next<TOpen>("open")(path, flags, mode);
}

extern "C" int rename(const char* from, const char* to)
{
    Note("rename " + FullPath(AT_FDCWD, from) + " " + FullPath(AT_FDCWD, to));
    return Next<int (*)(const char*, const char*)>("rename")(from, to);
}

extern "C" int renameat(int fromFolder, const char* from, int toFolder, const char* to)
{
    Note("rename " + FullPath(fromFolder, from) + " " + FullPath(toFolder, to));
    return Next<int (*)(int, const char*, int, const char*)>("renameat")(fromFolder, from, toFolder, to);
}

extern "C" int renameat2(int fromFolder, const char* from, int toFolder, const char* to, unsigned flags)
{
    Note("rename " + FullPath(fromFolder, from) + " " + FullPath(toFolder, to));
    return Next<int (*)(int, const char*, int, const char*, unsigned)>("renameat2")(fromFolder, from, toFolder, to,
                                                                                     flags);
}
