#pragma once
// Advisory locks (flock) between the program's own processes: the lock of one
// read-modify-write of a file, and the lock of a profiles file for a program's whole run.

#include "platform/AnsiString.h"
#include "platform/SysHandle.h"

#include <chrono>
#include <string>

enum class TLockResult { Locked, Busy, Unsupported };

// Takes the exclusive lock of an open file, waiting for it or not. A file system without
// such locks says Unsupported.
TLockResult LockExclusive(int handle, bool wait);

// The name (a system path) still names the open file: no rename or removal replaced it.
bool NamesOpenFile(const std::string& systemPath, int handle);

// Holds the exclusive lock of a file from the read of a read-modify-write to the rename of
// its new content, so that two writers never undo each other's changes. The file that the
// path names when the lock is granted is the one held: when another writer replaced it
// meanwhile, the lock is taken again on the new file. A missing file is created empty, so
// that there is something to lock.
class TFileUpdateLock {
public:
    explicit TFileUpdateLock(const AnsiString& path);

    // After a write that failed or was not needed: an empty file that this lock created
    // goes again.
    void RemoveCreatedFile() noexcept;

private:
    AnsiString FPath;
    TSysHandle FHandle;
    bool FCreated = false;
};

// How long a writer waits for the lock of a store before it gives up. A setting of the
// program, not of a store: tests shorten it.
extern std::chrono::milliseconds StoreLockPatience;

// The lock of one change of a store (read afresh, change, save): an exclusive lock on a
// lock file beside the store ("." + name + ".lock"), which every writer of the store
// takes. The store itself is replaced by every save, so a lock on its own file would be
// lost with it; the lock file is never replaced nor removed. The folder must exist.
class TStoreLock {
public:
    // Waits for the lock as long as StoreLockPatience; when another writer holds it still,
    // raises "Файл <path> занят другой программой ..." and nothing is to be written. A
    // folder where no lock file can be created takes no lock: nothing can be saved there.
    explicit TStoreLock(const AnsiString& storePath);

private:
    TSysHandle FHandle;
};

// The lock of one profiles file for the life of the program, on a hidden lock file beside
// the file ("." + name + ".lock"), which is left in place: removing it could let two
// programs lock two different lock files.
class TInstanceLock {
public:
    // False when another program holds the lock, also after waiting for it as long as
    // `patience`. A lock held before is given up first. A missing file takes no lock, nor
    // does a folder where no lock file can be created (read-only): no program can write
    // there.
    bool TryLock(const AnsiString& path, std::chrono::milliseconds patience = std::chrono::milliseconds(0));

private:
    TSysHandle FHandle;
};
