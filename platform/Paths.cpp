#include "platform/Paths.h"

#include "platform/Classes.h"
#include "platform/Encoding.h"
#include "platform/Exception.h"
#include "platform/SysHandle.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool StatPath(const AnsiString& path, struct stat& info)
{
    return !path.empty() && ::stat(ToSystemPath(path).c_str(), &info) == 0;
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

// Creates target + ".$NN" with the first free two-digit number, exclusively.
int CreateTemporaryBeside(const AnsiString& target, AnsiString& temporaryName)
{
    for (int number = 0; number < 100; ++number) {
        char suffix[8];
        std::snprintf(suffix, sizeof suffix, ".$%02d", number);
        temporaryName = target + suffix;
        const int handle = ::open(ToSystemPath(temporaryName).c_str(),
                                  O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (handle >= 0)
            return handle;
        if (errno != EEXIST)
            RaiseOSError(errno, target);
    }
    RaiseOSError(EEXIST, target + ".$99");
}

// Writes a file under a temporary name beside the target, flushes it to the disk and
// renames it over the target. On any failure the temporary file is removed and the old
// target is left as it was.
void WriteThroughTemporary(const AnsiString& target, const std::function<void(int)>& fill)
{
    AnsiString temporaryName;
    TSysHandle handle(CreateTemporaryBeside(target, temporaryName));
    try {
        // A replaced file keeps its permissions (a profiles file may be readable by its owner only).
        KeepFilePermissions(target, temporaryName);
        fill(handle.Get());
        if (::fsync(handle.Get()) != 0 || handle.Close() != 0)
            RaiseOSError(errno, target);
        ReplaceFile(temporaryName, target);
    } catch (...) {
        ::unlink(ToSystemPath(temporaryName).c_str());
        throw;
    }
}

constexpr int32_t CopyPiece = 64 * 1024;

}  // namespace

std::string ToSystemPath(const AnsiString& path)
{
    // The system reads a name up to its first NUL: cut there, it would name another file.
    const size_t nul = path.find('\0');
    if (nul != AnsiString::npos)
        throw Exception("Имя файла содержит нулевой байт: " + path.substr(0, nul));
    return AnsiToUtf8(path);
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
    if (path.front() == PathDelim)
        return NormalizeAbsolute(path);
    return NormalizeAbsolute(CurrentFolder() + path);
}

AnsiString ExpandFileNameFrom(const AnsiString& path, const AnsiString& base)
{
    if (path.empty() || path.front() == PathDelim)
        return ExpandFileName(path);
    return ExpandFileName(IncludeTrailingPathDelimiter(ExpandFileName(base)) + path);
}

AnsiString ProgramPath()
{
    std::vector<char> buffer(4096);
    for (;;) {
        const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0)
            RaiseOSError(errno, "/proc/self/exe");
        if (static_cast<size_t>(length) < buffer.size())
            return FromSystemPath(std::string(buffer.data(), static_cast<size_t>(length)));
        buffer.resize(buffer.size() * 2);
    }
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
    if (::mkdir(ToSystemPath(folder).c_str(), 0777) != 0) {
        const int error = errno;
        if (error != EEXIST)
            RaiseOSError(error, folder);
        // Something else of that name is in the way.
        if (!DirectoryExists(folder))
            RaiseOSError(ENOTDIR, folder);
    }
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

void ReplaceFile(const AnsiString& source, const AnsiString& target)
{
    if (::rename(ToSystemPath(source).c_str(), ToSystemPath(target).c_str()) != 0)
        RaiseOSError(errno, target);
    SyncFolder(ExtractFilePath(target));
}

void KeepFilePermissions(const AnsiString& source, const AnsiString& target)
{
    struct stat info {};
    if (StatPath(source, info) && S_ISREG(info.st_mode))
        ::chmod(ToSystemPath(target).c_str(), info.st_mode & 07777);
}

void CopyFile(const AnsiString& source, const AnsiString& target)
{
    TFileStream input(source, fmOpenRead | fmShareDenyWrite);
    WriteFileAtomically(target, input);
}

void WriteFileAtomically(const AnsiString& path, TStream& source)
{
    WriteThroughTemporary(path, [&](int handle) {
        std::vector<char> piece(CopyPiece);
        while (const int32_t count = source.Read(piece.data(), CopyPiece))
            WriteAll(handle, piece.data(), static_cast<size_t>(count), path);
    });
}

std::optional<TFileStamp> FileStamp(const AnsiString& path)
{
    struct stat info {};
    if (!StatPath(path, info) || !S_ISREG(info.st_mode))
        return std::nullopt;
    return TFileStamp{info.st_dev, info.st_ino, info.st_size, info.st_mtim.tv_sec, info.st_mtim.tv_nsec};
}

void WriteFileAtomically(const AnsiString& path, const std::string& bytes)
{
    WriteThroughTemporary(path, [&](int handle) { WriteAll(handle, bytes.data(), bytes.size(), path); });
}

void WriteExecutableAtomically(const AnsiString& path, const std::string& bytes)
{
    WriteThroughTemporary(path, [&](int handle) {
        struct stat info {};
        if (::fstat(handle, &info) != 0 || ::fchmod(handle, (info.st_mode & 07777) | ((info.st_mode & 0444) >> 2)) != 0)
            RaiseOSError(errno, path);
        WriteAll(handle, bytes.data(), bytes.size(), path);
    });
}

std::string ReadFileBytes(const AnsiString& path)
{
    TFileStream input(path, fmOpenRead | fmShareDenyWrite);
    return ReadToEnd(input);
}
