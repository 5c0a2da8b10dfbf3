#include "ui/Updates.h"

#include "documents/Common.h"
#include "documents/Profiles.h"
#include "exchange/Appexec.h"
#include "platform/Dialogs.h"
#include "platform/Exception.h"
#include "platform/Paths.h"
#include "platform/SysUtils.h"
#include "ui/UFrmMain.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
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

// A regular file, or a link to one that lies inside the folder: a link that leads
// elsewhere must not make the program run what someone placed there.
bool IsUpdateFile(const fs::path& entry, const fs::path& realFolder)
{
    std::error_code error;
    const fs::file_status status = fs::symlink_status(entry, error);
    if (error)
        return false;
    if (fs::is_regular_file(status))
        return true;
    if (!fs::is_symlink(status))
        return false;
    const fs::path target = fs::canonical(entry, error);
    if (error || !fs::is_regular_file(target, error))
        return false;
    const std::string inside = realFolder.string() + "/";
    return target.string().compare(0, inside.size(), inside) == 0;
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
        try {
            name = FromSystemPath(systemName);
        } catch (const Exception&) {
            continue;   // a name that code page 1251 cannot hold is no update of ours
        }
        const std::optional<AnsiString> version = UpdateVersion(name);
        if (!version || VersionToInt(*version) <= bestNumber || !IsUpdateFile(systemFolder / systemName, realFolder))
            continue;
        bestNumber = VersionToInt(*version);
        best = TUpdateFile{*version, IncludeTrailingPathDelimiter(folder) + name};
    }
    return best;
}

AnsiString UpdateQuestion(const AnsiString& version)
{
    return "Имеются обновления программного обеспечения до версии " + version +
           ".\nВо время процедуры обновления программа \"" + ApplicationTitle +
           "\" будет закрыта.\nЗапустить обновление ПО?";
}

void StartUpdate(const AnsiString& path)
{
    // The receive path stores an update as a plain file.
    struct stat info {};
    const std::string systemPath = ToSystemPath(path);
    if (stat(systemPath.c_str(), &info) != 0 || chmod(systemPath.c_str(), (info.st_mode & 07777) | S_IXUSR) != 0)
        RaiseOSError(errno, path);
    StartDetachedProcess(path);
}

bool RunSelfUpdate(const AnsiString& programPath, const std::function<bool()>& canClose)
{
    const std::optional<TUpdateFile> update =
        FindUpdate(GetFolder(FolderUpdates), VersionToInt(GetShortFileVersion()));
    if (!update) {
        AppMessageBox("Обновлений ПО нет.", MessageBoxFlags::Ok | MessageBoxFlags::IconInformation);
        return false;
    }
    if (AppMessageBox(UpdateQuestion(update->Version), MessageBoxFlags::OkCancel | MessageBoxFlags::IconQuestion) !=
            MessageBoxAnswer::Ok ||
        !canClose())
        return false;
    SaveRestartState(RestartStateFile(programPath), {Profiles.Get()->GetFileName(), CurrentProfile().Name});
    StartUpdate(update->Path);
    // Give the update a moment to start before this program goes.
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    return true;
}
