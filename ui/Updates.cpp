#include "ui/Updates.h"

#include "documents/Common.h"
#include "documents/Profiles.h"
#include "exchange/Appexec.h"
#include "platform/Dialogs.h"
#include "platform/Exception.h"
#include "platform/Paths.h"
#include "platform/SysHandle.h"
#include "platform/SysUtils.h"
#include "ui/UFrmMain.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr char UpdatePrefix[] = "Updates-";
constexpr size_t UpdatePrefixLength = sizeof UpdatePrefix - 1;

// The version of an update file's name, or nothing when the name is not one.
std::optional<AnsiString> UpdateVersion(const AnsiString& name)
{
    if (!SameText(ExtractFileExt(name), ".exe") || !SameText(name.substr(0, UpdatePrefixLength), UpdatePrefix))
        return std::nullopt;
    const AnsiString stem = ChangeFileExt(name, "");
    return stem.size() >= UpdatePrefixLength ? stem.substr(UpdatePrefixLength) : AnsiString();
}

// The file that an update entry runs: the entry itself when it is a regular file, the
// file that a link leads to when that lies inside the folder; nothing otherwise. A link
// that leads elsewhere must not make the program run what someone placed there.
std::optional<fs::path> UpdateProgram(const fs::path& entry, const fs::path& realFolder)
{
    std::error_code error;
    const fs::file_status status = fs::symlink_status(entry, error);
    if (error)
        return std::nullopt;
    if (fs::is_regular_file(status))
        return entry;
    if (!fs::is_symlink(status))
        return std::nullopt;
    const fs::path target = fs::canonical(entry, error);
    if (error || !fs::is_regular_file(target, error))
        return std::nullopt;
    const std::string inside = realFolder.string() + "/";
    if (target.string().compare(0, inside.size(), inside) != 0)
        return std::nullopt;
    return target;
}

// The path in code page 1251; false when it cannot hold it: such a name is no update of
// ours.
bool ToAnsiPath(const std::string& systemPath, AnsiString& path)
{
    try {
        path = FromSystemPath(systemPath);
        return true;
    } catch (const Exception&) {
        return false;
    }
}

// The names of the folder's entries in byte order, so that the choice among equal
// versions does not depend on the order in which the system lists them.
std::vector<std::string> SortedNames(const fs::path& folder)
{
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

std::optional<TUpdateFile> FindUpdate(const AnsiString& folder, int64_t current)
{
    const fs::path systemFolder = ToSystemPath(folder);
    std::error_code error;
    const fs::path realFolder = fs::canonical(systemFolder, error);
    if (error)
        return std::nullopt;
    std::optional<TUpdateFile> best;
    int64_t bestNumber = current;
    for (const std::string& systemName : SortedNames(systemFolder)) {
        AnsiString name;
        if (!ToAnsiPath(systemName, name))
            continue;
        const std::optional<AnsiString> version = UpdateVersion(name);
        if (!version || VersionToInt(*version) <= bestNumber)
            continue;
        const std::optional<fs::path> program = UpdateProgram(systemFolder / systemName, realFolder);
        if (!program)
            continue;
        // Of a link, its target is started: the start follows no link.
        AnsiString path = IncludeTrailingPathDelimiter(folder) + name;
        if (*program != systemFolder / systemName && !ToAnsiPath(program->string(), path))
            continue;
        bestNumber = VersionToInt(*version);
        best = TUpdateFile{*version, path};
    }
    return best;
}

AnsiString UpdateQuestion(const AnsiString& version)
{
    return "Имеются обновления программного обеспечения до версии " + version +
           ".\nВо время процедуры обновления программа \"" + ApplicationTitle +
           "\" будет закрыта.\nЗапустить обновление ПО?";
}

namespace {

// Nobody but this user may change it: it belongs to the user this program runs as, and
// neither its group nor anyone else may write to it.
bool IsOwnUnshared(const struct stat& info)
{
    return info.st_uid == geteuid() && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

[[noreturn]] void RefuseSharedUpdate(const AnsiString& path)
{
    throw Exception("Файл обновления " + path + " может изменить другой пользователь. Обновление не запущено.");
}

// The folder that holds the update, open, after the check that nobody else may change
// what stands in it.
TSysHandle OpenUpdateFolder(const AnsiString& path)
{
    const AnsiString folder = ExtractFilePath(path);
    TSysHandle handle(open(ToSystemPath(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat info {};
    if (!handle.IsOpen() || fstat(handle.Get(), &info) != 0)
        RaiseOSError(errno, folder);
    if (!IsOwnUnshared(info))
        RefuseSharedUpdate(path);
    return handle;
}

// The update file, open for reading, once it and its folder have passed the check that
// nobody but this user may change them: another user's file would run with this user's
// rights. A link that stands at its name now, in place of the file chosen, is refused:
// the update must be the file that the receive path stored.
TSysHandle OpenUpdate(const AnsiString& path)
{
    const TSysHandle folder = OpenUpdateFolder(path);
    const std::string name = ToSystemPath(ExtractFileName(path));
    TSysHandle file(openat(folder.Get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    const int code = errno;
    if (!file.IsOpen() && code == ELOOP && IsSymbolicLink(path))
        throw Exception("Обновление ПО не запущено: файл " + path + " заменен ссылкой.");
    if (!file.IsOpen())
        RaiseOSError(code, path);
    struct stat info {};
    if (fstat(file.Get(), &info) != 0)
        RaiseOSError(errno, path);
    if (!S_ISREG(info.st_mode))
        throw Exception("Обновление ПО не запущено: " + path + " не является файлом.");
    if (!IsOwnUnshared(info))
        RefuseSharedUpdate(path);
    return file;
}

// Makes the open update file runnable by its owner and runs exactly it.
void StartOpenUpdate(TSysHandle file, const AnsiString& path)
{
    struct stat info {};
    if (fstat(file.Get(), &info) != 0 || fchmod(file.Get(), (info.st_mode & 07777) | S_IXUSR) != 0)
        RaiseOSError(errno, path);
    StartDetachedProcess(std::move(file), path);
}

}  // namespace

void StartUpdate(const AnsiString& path)
{
    StartOpenUpdate(OpenUpdate(path), path);
}

bool RunSelfUpdate(const AnsiString& programPath, const std::function<bool()>& canClose)
{
    const std::optional<TUpdateFile> update =
        FindUpdate(GetFolder(FolderUpdates), VersionToInt(GetShortFileVersion()));
    if (!update) {
        AppMessageBox("Обновлений ПО нет.", MessageBoxFlags::Ok | MessageBoxFlags::IconInformation);
        return false;
    }
    // Checked before it is offered and held open until it starts: what runs is the file
    // that passed the check, whatever happens to its name meanwhile.
    TSysHandle program = OpenUpdate(update->Path);
    if (AppMessageBox(UpdateQuestion(update->Version), MessageBoxFlags::OkCancel | MessageBoxFlags::IconQuestion) !=
            MessageBoxAnswer::Ok ||
        !canClose())
        return false;
    SaveRestartState(RestartStateFile(programPath), {Profiles.Get()->GetFileName(), CurrentProfile().Name});
    StartOpenUpdate(std::move(program), update->Path);
    // Give the update a moment to start before this program goes.
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    return true;
}
