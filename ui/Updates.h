#pragma once
// The self-update: the bank delivers new versions of the program as files named
// "Updates-" + version + ".exe" in the profile's "Updates/" folder. The newest one that is
// newer than the running program is offered; on consent the restart state is saved, the
// update is started as a program of its own, and the program ends so that the update can
// replace it. The next start reopens the same profiles file and profile.

#include "platform/AnsiString.h"

#include <cstdint>
#include <functional>
#include <optional>

struct TUpdateFile {
    AnsiString Version;   // the text after "Updates-", as "5.10"
    AnsiString Path;
};

// The update file of the highest version above `current` (VersionToInt numbers) in the
// folder; nothing when there is none or no such folder. Names compare ignoring case; only
// regular files count, directly or through a link that stays inside the folder, whose
// target is then the path to start. Of equal versions the first by name wins.
std::optional<TUpdateFile> FindUpdate(const AnsiString& folder, int64_t current);

// The question that offers the update.
AnsiString UpdateQuestion(const AnsiString& version);

// Opens the file without following a link, makes that open file runnable by its owner and
// starts exactly it, detached from this program. A link at the name is refused with a
// message that names it, and so is a file that another user may change: one that is not
// this user's own, or that its group or others may write, or whose folder is so. A start
// that fails raises the system's error; nothing is deleted.
void StartUpdate(const AnsiString& path);

// The menu command: finds the update of the current profile's "Updates/" folder, refuses
// it as StartUpdate does before anything is asked, asks,
// lets canClose ask about unsaved data, writes the restart state beside the program (the
// open profiles file and the current profile's section) and starts the update. True when
// the update runs and the program is to close.
bool RunSelfUpdate(const AnsiString& programPath, const std::function<bool()>& canClose);
