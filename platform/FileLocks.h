#pragma once
// Advisory locks (flock) between the program's own processes.

#include "platform/AnsiString.h"

#include <string>

enum class TLockResult { Locked, Busy, Unsupported };

// Takes the exclusive lock of an open file, waiting for it or not. A file system without
// such locks says Unsupported.
TLockResult LockExclusive(int handle, bool wait);

// The name (a system path) still names the open file: no rename or removal replaced it.
bool NamesOpenFile(const std::string& systemPath, int handle);
