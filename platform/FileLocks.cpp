#include "platform/FileLocks.h"

#include "platform/Encoding.h"
#include "platform/Exception.h"
#include "platform/Paths.h"

#include <cerrno>
#include <cstdlib>
#include <condition_variable>
#include <memory>
#include <mutex>
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

// ---- Lock files ----

namespace {

// The hidden lock file beside a file: "." + name + ".lock".
AnsiString LockFileBeside(const AnsiString& path)
{
    return ExtractFilePath(path) + "." + ExtractFileName(path) + ".lock";
}

// The path with the links of its folders resolved, so that every spelling of a folder
// meets at one lock file; as given when the folder cannot be resolved.
AnsiString ResolvedPath(const AnsiString& path, bool withName)
{
    const AnsiString resolve = withName ? path : ExtractFilePath(ExpandFileName(path));
    AnsiString real = ExpandFileName(path);
    if (char* resolved = ::realpath(ToSystemPath(resolve).c_str(), nullptr)) {
        AnsiString text;
        if (Utf8ToAnsiExact(resolved, text))
            real = withName ? text : IncludeTrailingPathDelimiter(text) + ExtractFileName(path);
        std::free(resolved);
    }
    return real;
}

// Opens (creating it) the lock file of a path; not open when the folder allows no file
// there (read-only), where nothing can be written anyway.
TSysHandle OpenLockFile(const AnsiString& lockName)
{
    TSysHandle handle(::open(ToSystemPath(lockName).c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0666));
    if (!handle.IsOpen() && errno != EACCES && errno != EROFS && errno != EPERM)
        RaiseOSError(errno, lockName);
    return handle;
}

// The state of one blocking wait for a lock, shared by the waiter and the thread that waits.
struct TLockWait {
    std::mutex Guard;
    std::condition_variable Done;
    bool Granted = false;
    bool Abandoned = false;
};

// flock has no time-out. A blocking wait lets the system hand the lock over in turn, so
// that a writer that saves again and again cannot keep a waiting one out, as asking now
// and then could: the wait runs in a thread of its own on a duplicate of the handle (one
// lock for both), and when it is granted too late, that thread gives the lock up at once.
bool LockWithin(int handle, std::chrono::milliseconds patience)
{
    if (LockExclusive(handle, false) != TLockResult::Busy)
        return true;
    if (patience.count() <= 0)
        return false;
    const int duplicate = ::fcntl(handle, F_DUPFD_CLOEXEC, 0);
    if (duplicate < 0)
        RaiseOSError(errno, AnsiString());
    auto wait = std::make_shared<TLockWait>();
    std::thread([wait, duplicate] {
        LockExclusive(duplicate, true);
        std::lock_guard<std::mutex> hold(wait->Guard);
        if (wait->Abandoned)
            ::flock(duplicate, LOCK_UN);
        wait->Granted = true;
        ::close(duplicate);
        wait->Done.notify_all();
    }).detach();
    std::unique_lock<std::mutex> hold(wait->Guard);
    if (!wait->Done.wait_for(hold, patience, [&] { return wait->Granted; }))
        wait->Abandoned = true;
    return wait->Granted;
}

}  // namespace

// ---- TStoreLock ----

std::chrono::milliseconds StoreLockPatience(5000);

TStoreLock::TStoreLock(const AnsiString& storePath)
{
    TSysHandle handle = OpenLockFile(LockFileBeside(ResolvedPath(storePath, false)));
    if (handle.IsOpen() && !LockWithin(handle.Get(), StoreLockPatience))
        throw Exception("Файл " + storePath +
                        " занят другой программой (другая копия программы меняет его). Повторите действие позже");
    FHandle = std::move(handle);
}

// ---- TInstanceLock ----

bool TInstanceLock::TryLock(const AnsiString& path, std::chrono::milliseconds patience)
{
    FHandle.Close();
    if (!FileExists(path))
        return true;   // nothing to protect; opening it fails with its own message
    // Every name of the file (a link, another spelling of its folder) meets at one lock.
    TSysHandle handle = OpenLockFile(LockFileBeside(ResolvedPath(path, true)));
    if (!handle.IsOpen())
        return true;
    if (!LockWithin(handle.Get(), patience))
        return false;
    FHandle = std::move(handle);
    return true;
}
