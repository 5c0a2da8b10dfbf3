#include "platform/FileLocks.h"

#include <cerrno>

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
