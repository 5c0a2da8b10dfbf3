// Preloaded (LD_PRELOAD) into a process that a test starts: every call that flushes a
// file to the disk and every rename is noted, in the order they are made, as one line
// appended to the file that VELTON_SYSCALL_LOG names ("sync PATH", "rename FROM TO",
// full paths), and is then made as usual.

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

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

void Note(const std::string& line)
{
    const char* log = std::getenv("VELTON_SYSCALL_LOG");
    if (!log)
        return;
    const int handle = ::open(log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (handle < 0)
        return;
    const std::string text = line + "\n";
    (void)!::write(handle, text.data(), text.size());
    ::close(handle);
}

template <typename Function>
Function Next(const char* name)
{
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
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
