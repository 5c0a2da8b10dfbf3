#include "platform/Paths.h"

#include "platform/Classes.h"
#include "platform/Encoding.h"
#include "platform/Exception.h"
#include "platform/FileLocks.h"
#include "platform/SysHandle.h"
#include "platform/SysUtils.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool StatPath(const AnsiString& path, struct stat& info)
{
    return !path.empty() && ::stat(ToSystemPath(path).c_str(), &info) == 0;
}

TFileStamp StampOf(const struct stat& info)
{
    return TFileStamp{info.st_dev, info.st_ino, info.st_size, info.st_mtim.tv_sec, info.st_mtim.tv_nsec};
}

// The lexically normal form of an absolute path: "." dropped, ".." takes away the part
// before it (never above the root), empty parts folded. A final "/" is kept.
AnsiString NormalizeAbsolute(const AnsiString& path)
{
    std::vector<AnsiString> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find(PathDelim, start);
        if (end == AnsiString::npos)
            end = path.size();
        const AnsiString part = path.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    AnsiString result;
    for (const AnsiString& part : parts)
        result += PathDelim + part;
    if (result.empty() || path.back() == PathDelim)
        result += PathDelim;
    return result;
}

AnsiString CurrentFolder()
{
    std::vector<char> buffer(4096);
    while (!::getcwd(buffer.data(), buffer.size())) {
        if (errno != ERANGE)
            RaiseLastOSError();
        buffer.resize(buffer.size() * 2);
    }
    return IncludeTrailingPathDelimiter(FromSystemPath(buffer.data()));
}

// Flushes a folder's entries (a rename or a new name in it) to the disk. File systems
// that cannot sync a folder say EINVAL; there is nothing more to do on them.
void SyncFolder(const AnsiString& folder)
{
    const AnsiString name = folder.empty() ? AnsiString(".") : folder;
    TSysHandle handle(::open(ToSystemPath(name).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (handle.Get() < 0)
        RaiseOSError(errno, name);
    if (::fsync(handle.Get()) != 0 && errno != EINVAL)
        RaiseOSError(errno, name);
}

void WriteAll(int handle, const char* data, size_t size, const AnsiString& name)
{
    while (size > 0) {
        const ssize_t written = ::write(handle, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            RaiseOSError(errno, name);
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
}

// The text of a symbolic link (a system path).
std::string ReadLinkText(const std::string& systemPath)
{
    std::vector<char> buffer(4096);
    for (;;) {
        const ssize_t length = ::readlink(systemPath.c_str(), buffer.data(), buffer.size());
        if (length < 0)
            return std::string();
        if (static_cast<size_t>(length) < buffer.size())
            return std::string(buffer.data(), static_cast<size_t>(length));
        buffer.resize(buffer.size() * 2);
    }
}

// The name of a temporary copy of the file: the file's name, ".$" and at least two digits.
bool IsTemporaryNameOf(const AnsiString& entry, const AnsiString& fileName)
{
    const size_t digits = fileName.size() + 2;
    return entry.size() >= digits + 2 && entry.compare(0, fileName.size(), fileName) == 0
           && entry.compare(fileName.size(), 2, ".$") == 0
           && entry.find_first_not_of("0123456789", digits) == AnsiString::npos;
}

// Removes one temporary copy when no save holds its lock: a save killed half-way left it.
void RemoveWhenStale(const AnsiString& path)
{
    const std::string name = ToSystemPath(path);
    const TSysHandle handle(::open(name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (handle.IsOpen() && LockExclusive(handle.Get(), false) == TLockResult::Locked && NamesOpenFile(name, handle.Get()))
        ::unlink(name.c_str());
}

// Every temporary copy of the target that no running save owns goes, so that interrupted
// saves neither pile up full copies of the file nor use up the temporary names.
void RemoveStaleTemporaries(const AnsiString& target)
{
    const AnsiString folder = ExtractFilePath(target);
    const AnsiString fileName = ExtractFileName(target);
    DIR* listing = ::opendir(ToSystemPath(folder.empty() ? AnsiString(".") : folder).c_str());
    if (!listing)
        return;   // the save itself reports what is wrong with the folder
    std::vector<AnsiString> stale;
    while (const dirent* entry = ::readdir(listing)) {
        AnsiString name;
        if (Utf8ToAnsiExact(entry->d_name, name) && IsTemporaryNameOf(name, fileName))
            stale.push_back(folder + name);
    }
    ::closedir(listing);
    for (const AnsiString& path : stale)
        RemoveWhenStale(path);
}

// Creates target + ".$NN" with the first free number (two digits at least, no upper
// bound), exclusively, and locks it for the whole save so that no other save takes it for
// a stale copy. A copy removed as stale between its creation and the lock is replaced.
TSysHandle CreateTemporaryBeside(const AnsiString& target, AnsiString& temporaryName, mode_t permissions)
{
    for (uint64_t number = 0;; ++number) {
        temporaryName = target + ".$" + (number < 10 ? "0" : "") + IntToStr(static_cast<int64_t>(number));
        const std::string name = ToSystemPath(temporaryName);
        TSysHandle handle(::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, permissions));
        if (!handle.IsOpen()) {
            if (errno == EEXIST)
                continue;
            RaiseOSError(errno, target);
        }
        if (LockExclusive(handle.Get(), true) == TLockResult::Unsupported || NamesOpenFile(name, handle.Get()))
            return handle;
    }
}

// What a save keeps of the regular file that it replaces: its permission bits and its group.
struct TKeptAttributes {
    mode_t Permissions;
    gid_t Group;
};

// The attributes of the regular file that a save replaces, when the save keeps them; none
// for a new file, a link that is replaced or anything but a regular file.
std::optional<TKeptAttributes> KeptAttributes(const AnsiString& target, bool keepsAttributes)
{
    struct stat info {};
    if (!keepsAttributes || !StatPath(target, info) || !S_ISREG(info.st_mode))
        return std::nullopt;
    return TKeptAttributes{info.st_mode & 07777, info.st_gid};
}

// The permissions a save's temporary copy is created with: none that the replaced file
// lacks, so that the new content of a private file (a profiles file holds passwords) is
// never open to others, not even before the file's permissions are given to it. Its
// owner may always read and write it.
mode_t TemporaryPermissions(const std::optional<TKeptAttributes>& kept)
{
    return kept ? (kept->Permissions & 0777) | S_IRUSR | S_IWUSR : 0666;
}

// Gives the temporary copy, still empty, the replaced file's group and then its
// permissions (a change of group may clear the set-id bits). The group goes over only
// where the system allows it (the saver belongs to that group); where it does not, the
// copy keeps the saver's group and the save goes on.
void GiveKeptAttributes(int handle, const TKeptAttributes& kept)
{
    if (::fchown(handle, static_cast<uid_t>(-1), kept.Group) != 0) {
        // Not allowed: the copy stays in the saver's group.
    }
    ::fchmod(handle, kept.Permissions);
}

// Writes a file under a temporary name beside the target, flushes it to the disk and
// renames it over the target. A link that is followed gives its file the new content and
// stays; a link that is replaced gives the new file its place, and the file it named
// (its content and its permissions) plays no part. On any failure the temporary file is
// removed and the old target is left as it was.
void WriteThroughTemporary(const AnsiString& path, TLinkAtTarget link, const std::function<void(int)>& fill)
{
    const AnsiString target = link == TLinkAtTarget::Follow ? ResolveFileLink(path) : path;
    const bool keepsAttributes = link == TLinkAtTarget::Follow || !IsSymbolicLink(target);
    RemoveStaleTemporaries(target);
    AnsiString temporaryName;
    const std::optional<TKeptAttributes> kept = KeptAttributes(target, keepsAttributes);
    TSysHandle handle = CreateTemporaryBeside(target, temporaryName, TemporaryPermissions(kept));
    const std::string systemName = ToSystemPath(temporaryName);
    // The duplicate holds the lock until the rename is done; the handle is closed before
    // it, so that a late write error still stops the rename.
    const TSysHandle lockHolder(::dup(handle.Get()));
    try {
        if (!lockHolder.IsOpen())
            RaiseOSError(errno, target);
        // A replaced file keeps its group and permissions (a profiles file may be readable
        // by its owner only, a shared list by its group).
        if (kept)
            GiveKeptAttributes(handle.Get(), *kept);
        fill(handle.Get());
        if (::fsync(handle.Get()) != 0 || handle.Close() != 0)
            RaiseOSError(errno, target);
        ReplaceFile(temporaryName, target);
    } catch (...) {
        // Only while the name is still this save's copy: once renamed, it may be another's.
        if (!lockHolder.IsOpen() || NamesOpenFile(systemName, lockHolder.Get()))
            ::unlink(systemName.c_str());
        throw;
    }
}

}  // namespace

std::string ToSystemPath(const AnsiString& path)
{
    // The system reads a name up to its first NUL: cut there, it would name another file.
    const size_t nul = path.find('\0');
    if (nul != AnsiString::npos)
        throw Exception("Имя файла содержит нулевой байт: " + path.substr(0, nul));
    return AnsiToUtf8(MapDrivePath(path));
}

AnsiString FromSystemPath(const std::string& path)
{
    AnsiString result;
    if (!Utf8ToAnsiExact(path, result))
        throw Exception("Имя файла нельзя записать в кодировке Windows-1251: " + Utf8ToAnsi(path));
    return result;
}

AnsiString NormalizeSeparators(const AnsiString& path)
{
    AnsiString result = path;
    for (char& c : result)
        if (c == '\\')
            c = PathDelim;
    return result;
}

bool HasDriveLetter(const AnsiString& path)
{
    const auto first = static_cast<unsigned char>(path.empty() ? 0 : path[0]);
    return path.size() >= 2 && path[1] == ':' && ((first >= 'a' && first <= 'z') || (first >= 'A' && first <= 'Z'));
}

bool IsDiskettePath(const AnsiString& path)
{
    return HasDriveLetter(path) && (path[0] == 'a' || path[0] == 'A');
}

AnsiString MapDrivePath(const AnsiString& path)
{
    if (!IsDiskettePath(path))
        return path;
    const AnsiString rest = path.substr(2);
    return AnsiString(DisketteFolder) + (rest.empty() || rest.front() == PathDelim ? "" : "/") + rest;
}

AnsiString ResolveFileLink(const AnsiString& path)
{
    AnsiString current = path;
    // As many links in a row as the system itself follows.
    for (int hop = 0; hop < 40; ++hop) {
        if (!IsSymbolicLink(current))
            return current;
        const AnsiString target = FromSystemPath(ReadLinkText(ToSystemPath(current)));
        current = !target.empty() && target.front() == PathDelim ? target : ExtractFilePath(current) + target;
    }
    RaiseOSError(ELOOP, path);
}

AnsiString IncludeTrailingPathDelimiter(const AnsiString& path)
{
    if (!path.empty() && path.back() == PathDelim)
        return path;
    return path + PathDelim;
}

AnsiString ExcludeTrailingPathDelimiter(const AnsiString& path)
{
    if (!path.empty() && path.back() == PathDelim)
        return path.substr(0, path.size() - 1);
    return path;
}

AnsiString ExtractFilePath(const AnsiString& path)
{
    const size_t delimiter = path.rfind(PathDelim);
    return delimiter == AnsiString::npos ? AnsiString() : path.substr(0, delimiter + 1);
}

AnsiString ExtractFileName(const AnsiString& path)
{
    const size_t delimiter = path.rfind(PathDelim);
    return delimiter == AnsiString::npos ? path : path.substr(delimiter + 1);
}

AnsiString ExtractFileExt(const AnsiString& path)
{
    const AnsiString name = ExtractFileName(path);
    const size_t dot = name.rfind('.');
    return dot == AnsiString::npos ? AnsiString() : name.substr(dot);
}

AnsiString ChangeFileExt(const AnsiString& path, const AnsiString& extension)
{
    const size_t nameStart = path.size() - ExtractFileName(path).size();
    const size_t dot = path.rfind('.');
    if (dot == AnsiString::npos || dot < nameStart)
        return path + extension;
    return path.substr(0, dot) + extension;
}

AnsiString ExpandFileName(const AnsiString& path)
{
    if (path.empty())
        return path;
    if (IsDiskettePath(path))
        return path.substr(0, 2) + NormalizeAbsolute(PathDelim + path.substr(2));
    if (path.front() == PathDelim)
        return NormalizeAbsolute(path);
    return NormalizeAbsolute(CurrentFolder() + path);
}

AnsiString ExpandFileNameFrom(const AnsiString& path, const AnsiString& base)
{
    if (path.empty() || path.front() == PathDelim || IsDiskettePath(path))
        return ExpandFileName(path);
    return ExpandFileName(IncludeTrailingPathDelimiter(ExpandFileName(base)) + path);
}

AnsiString ProgramPath()
{
    const std::string path = ReadLinkText("/proc/self/exe");
    if (path.empty())
        RaiseOSError(errno, "/proc/self/exe");
    return FromSystemPath(path);
}

AnsiString ProgramFolder()
{
    return ExtractFilePath(ProgramPath());
}

AnsiString TempFolder()
{
    const char* folder = std::getenv("TMPDIR");
    if (!folder || !*folder)
        return "/tmp/";
    return IncludeTrailingPathDelimiter(FromSystemPath(folder));
}

bool FileExists(const AnsiString& path)
{
    struct stat info {};
    return StatPath(path, info) && S_ISREG(info.st_mode);
}

bool IsSymbolicLink(const AnsiString& path)
{
    struct stat info {};
    return ::lstat(ToSystemPath(path).c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

bool IsReadOnlyFile(const AnsiString& path)
{
    struct stat info {};
    return StatPath(path, info) && S_ISREG(info.st_mode) && (info.st_mode & S_IWUSR) == 0;
}

bool DirectoryExists(const AnsiString& path)
{
    struct stat info {};
    return StatPath(path, info) && S_ISDIR(info.st_mode);
}

void ForceDirectories(const AnsiString& path)
{
    const AnsiString folder = ExcludeTrailingPathDelimiter(path);
    if (folder.empty() || DirectoryExists(folder))
        return;
    const AnsiString parent = ExtractFilePath(folder);
    if (!parent.empty())
        ForceDirectories(parent);
    const std::string systemFolder = ToSystemPath(folder);
    if (::mkdir(systemFolder.c_str(), S_IRWXU) != 0) {
        const int error = errno;
        if (error != EEXIST)
            RaiseOSError(error, folder);
        // Something else of that name is in the way.
        if (!DirectoryExists(folder))
            RaiseOSError(ENOTDIR, folder);
        return;   // made meanwhile by someone else: an existing folder keeps its mode
    }
    // The umask may have taken the owner's own rights too; nobody else gets any. Asked
    // first, since a change of mode that follows no link needs /proc on older kernels.
    struct stat info {};
    if (::fstatat(AT_FDCWD, systemFolder.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
        (info.st_mode & 07777) == S_IRWXU)
        return;
    if (::fchmodat(AT_FDCWD, systemFolder.c_str(), S_IRWXU, AT_SYMLINK_NOFOLLOW) != 0)
        RaiseOSError(errno, folder);
}

AnsiString CreatePrivateFolder(const AnsiString& parent, const AnsiString& prefix)
{
    std::string pattern = ToSystemPath(IncludeTrailingPathDelimiter(parent) + prefix) + "XXXXXX";
    if (!::mkdtemp(pattern.data()))
        RaiseOSError(errno, parent);
    return IncludeTrailingPathDelimiter(FromSystemPath(pattern));
}

void RemoveFolderTree(const AnsiString& path) noexcept
{
    std::error_code ignored;
    std::filesystem::remove_all(ToSystemPath(path), ignored);
}

bool IsExecutableFile(const AnsiString& path)
{
    struct stat info {};
    return StatPath(path, info) && S_ISREG(info.st_mode) && ::access(ToSystemPath(path).c_str(), X_OK) == 0;
}

AnsiString FindProgramOnPath(const AnsiString& name)
{
    const char* variable = std::getenv("PATH");
    const std::string folders = variable ? variable : "";
    size_t start = 0;
    while (start <= folders.size()) {
        size_t end = folders.find(':', start);
        if (end == std::string::npos)
            end = folders.size();
        const std::string folder = end > start ? folders.substr(start, end - start) : std::string(".");
        AnsiString candidate;
        // A folder whose name CP1251 cannot hold is passed over: no path inside the
        // program could name it.
        if (Utf8ToAnsiExact(folder + "/", candidate) && IsExecutableFile(candidate + name))
            return candidate + name;
        start = end + 1;
    }
    return AnsiString();
}

bool DeleteFile(const AnsiString& path)
{
    return !path.empty() && ::unlink(ToSystemPath(path).c_str()) == 0;
}

bool RemoveEmptyFolder(const AnsiString& path)
{
    return !path.empty() && ::rmdir(ToSystemPath(path).c_str()) == 0;
}

void ReplaceFile(const AnsiString& source, const AnsiString& target)
{
    if (::rename(ToSystemPath(source).c_str(), ToSystemPath(target).c_str()) != 0)
        RaiseOSError(errno, target);
    SyncFolder(ExtractFilePath(target));
}

void CopyFile(const AnsiString& source, const AnsiString& target)
{
    TFileStream input(source, fmOpenRead | fmShareDenyWrite);
    WriteFileAtomically(target, input);
}

void WriteFileAtomically(const AnsiString& path, TStream& source, TLinkAtTarget link)
{
    WriteThroughTemporary(path, link, [&](int handle) {
        std::vector<char> piece(StreamPiece);
        while (const int32_t count = source.Read(piece.data(), StreamPiece))
            WriteAll(handle, piece.data(), static_cast<size_t>(count), path);
    });
}

std::optional<TFileStamp> FileStamp(const AnsiString& path)
{
    struct stat info {};
    if (!StatPath(path, info) || !S_ISREG(info.st_mode))
        return std::nullopt;
    return StampOf(info);
}

std::optional<TFileStamp> CreateEmptyFile(const AnsiString& path)
{
    // O_EXCL with O_CREAT follows no link: a link at the name, even a dangling one, fails.
    const TSysHandle handle(::open(ToSystemPath(path).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!handle.IsOpen()) {
        if (errno == EEXIST)
            return std::nullopt;
        RaiseOSError(errno, path);
    }
    struct stat info {};
    if (::fstat(handle.Get(), &info) != 0)
        RaiseOSError(errno, path);
    SyncFolder(ExtractFilePath(path));
    return StampOf(info);
}

void WriteFileAtomically(const AnsiString& path, const std::string& bytes, TLinkAtTarget link)
{
    WriteThroughTemporary(path, link, [&](int handle) { WriteAll(handle, bytes.data(), bytes.size(), path); });
}

void WriteExecutableAtomically(const AnsiString& path, const std::string& bytes, TLinkAtTarget link)
{
    WriteThroughTemporary(path, link, [&](int handle) {
        // Runnable by whoever may read it, changeable by its owner alone: the self-update
        // runs no program that another user may write.
        struct stat info {};
        if (::fstat(handle, &info) != 0)
            RaiseOSError(errno, path);
        const mode_t runnable = ((info.st_mode & 07777) | ((info.st_mode & 0444) >> 2)) & ~(S_IWGRP | S_IWOTH);
        if (::fchmod(handle, runnable) != 0)
            RaiseOSError(errno, path);
        WriteAll(handle, bytes.data(), bytes.size(), path);
    });
}

std::string ReadFileBytes(const AnsiString& path)
{
    TFileStream input(path, fmOpenRead | fmShareDenyWrite);
    return ReadToEnd(input);
}
