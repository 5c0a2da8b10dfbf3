#include "platform/FileLocks.h"

#include "platform/Encoding.h"
#include "platform/Exception.h"
#include "platform/Paths.h"

#include <cerrno>
#include <cstdlib>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

TLockResult LockExclusive(int handle, bool wait)
{
    while (::flock(handle, LOCK_EX | (wait ? 0 : LOCK_NB)) != 0) {
        if (errno == EINTR)
            continue;
        return errno == EWOULDBLOCK ? TLockResult::Busy : TLockResult::Unsupported;
    }
    return TLockResult::Locked;
}

bool NamesOpenFile(const std::string& systemPath, int handle)
{
    struct stat named {}, open {};
    return ::lstat(systemPath.c_str(), &named) == 0 && ::fstat(handle, &open) == 0 && named.st_dev == open.st_dev
           && named.st_ino == open.st_ino;
}

// ---- TFileUpdateLock ----

TFileUpdateLock::TFileUpdateLock(const AnsiString& path) : FPath(path)
{
    const std::string name = ToSystemPath(path);
    for (;;) {
        FCreated = false;
        FHandle.Assign(::open(name.c_str(), O_RDONLY | O_CLOEXEC));
        if (!FHandle.IsOpen() && errno == ENOENT) {
            FHandle.Assign(::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
            FCreated = FHandle.IsOpen();
            if (!FHandle.IsOpen() && errno == EEXIST)
                continue;   // another writer created it first
        }
        if (!FHandle.IsOpen())
            RaiseOSError(errno, path);
        if (LockExclusive(FHandle.Get(), true) == TLockResult::Unsupported || NamesOpenFile(name, FHandle.Get()))
            return;
    }
}

void TFileUpdateLock::RemoveCreatedFile() noexcept
{
    struct stat info {};
    try {
        const std::string name = ToSystemPath(FPath);
        if (FCreated && NamesOpenFile(name, FHandle.Get()) && ::fstat(FHandle.Get(), &info) == 0 && info.st_size == 0)
            ::unlink(name.c_str());
    } catch (...) {
        // The name was usable when the lock was taken; nothing else to undo.
    }
}

// ---- TInstanceLock ----

bool TInstanceLock::TryLock(const AnsiString& path, std::chrono::milliseconds patience)
{
    FHandle.Close();
    if (!FileExists(path))
        return true;   // nothing to protect; opening it fails with its own message
    // Every name of the file (a link, another spelling of its folder) meets at one lock.
    AnsiString real = ExpandFileName(path);
    if (char* resolved = ::realpath(ToSystemPath(path).c_str(), nullptr)) {
        AnsiString text;
        if (Utf8ToAnsiExact(resolved, text))
            real = text;
        std::free(resolved);
    }
    const AnsiString lockName = ExtractFilePath(real) + "." + ExtractFileName(real) + ".lock";
    TSysHandle handle(::open(ToSystemPath(lockName).c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0666));
    if (!handle.IsOpen()) {
        if (errno == EACCES || errno == EROFS || errno == EPERM)
            return true;
        RaiseOSError(errno, lockName);
    }
    // flock has no time-out: ask again now and then until the patience is spent.
    const auto giveUp = std::chrono::steady_clock::now() + patience;
    while (LockExclusive(handle.Get(), false) == TLockResult::Busy) {
        if (std::chrono::steady_clock::now() >= giveUp)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    FHandle = std::move(handle);
    return true;
}
