#pragma once
// Paths and files. Inside the program a path is CP1251 with "/" between its parts and a
// folder path ends with "/"; on disk names are UTF-8 (ToSystemPath / FromSystemPath).

#include "platform/AnsiString.h"

#include <cstdint>
#include <optional>
#include <string>

class TStream;

constexpr char PathDelim = '/';

// CP1251 path -> the UTF-8 name the system uses; a path holding a NUL byte raises.
std::string ToSystemPath(const AnsiString& path);
// UTF-8 name from the system -> CP1251; a name that CP1251 cannot hold raises an
// Exception that names it, never an altered name.
AnsiString FromSystemPath(const std::string& path);

// "\" becomes "/" (stored values written on Windows).
AnsiString NormalizeSeparators(const AnsiString& path);

AnsiString IncludeTrailingPathDelimiter(const AnsiString& path);
AnsiString ExcludeTrailingPathDelimiter(const AnsiString& path);

// The folder part with its final "/" ("" when there is none), the name part, and the
// extension of the name part with its "." ("" when the name has none).
AnsiString ExtractFilePath(const AnsiString& path);
AnsiString ExtractFileName(const AnsiString& path);
AnsiString ExtractFileExt(const AnsiString& path);
// Replaces the extension of the last component only (a "." in a folder name is kept).
AnsiString ChangeFileExt(const AnsiString& path, const AnsiString& extension);

// Absolute and lexically normal ("." and ".." resolved, "//" folded), with no check that
// anything exists. A relative path is taken from the current folder, or from `base`.
AnsiString ExpandFileName(const AnsiString& path);
AnsiString ExpandFileNameFrom(const AnsiString& path, const AnsiString& base);

// The program file (/proc/self/exe), its folder ending with "/", and the temporary folder
// ($TMPDIR, else /tmp/) ending with "/".
AnsiString ProgramPath();
AnsiString ProgramFolder();
AnsiString TempFolder();

// A regular file (not a folder) of that name exists.
bool FileExists(const AnsiString& path);
bool DirectoryExists(const AnsiString& path);
// Creates the folder and every missing parent; raises the system's error on failure.
void ForceDirectories(const AnsiString& path);
// A new folder parent + prefix + six random characters that only this user may enter
// (mode 0700); returns its path ending with "/". Raises the system's error on failure.
AnsiString CreatePrivateFolder(const AnsiString& parent, const AnsiString& prefix);
// Removes the folder with everything in it, as far as it can; failures are ignored.
void RemoveFolderTree(const AnsiString& path) noexcept;
// A regular file that this process may run.
bool IsExecutableFile(const AnsiString& path);
// The path of the first program of that name in the folders of PATH (an empty entry
// meaning the current folder); "" when there is none.
AnsiString FindProgramOnPath(const AnsiString& name);
// Removes a file; false when it could not be removed.
bool DeleteFile(const AnsiString& path);
// Renames over an existing target in one step and makes the rename durable; raises the
// system's error on failure.
void ReplaceFile(const AnsiString& source, const AnsiString& target);
// Gives the file `target` the permission bits of the regular file `source` (nothing when
// source is not one), so that a file rewritten under a temporary name keeps its mode.
void KeepFilePermissions(const AnsiString& source, const AnsiString& target);
// Copies a file's bytes to a new or existing target through a temporary name.
void CopyFile(const AnsiString& source, const AnsiString& target);

// Writes the bytes to a temporary file beside the target, flushes it to disk and renames
// it over the target: a crash leaves either the old file or the new one, never a mix.
void WriteFileAtomically(const AnsiString& path, const std::string& bytes);
// As WriteFileAtomically, with the bytes of the stream from its position to its end.
void WriteFileAtomically(const AnsiString& path, TStream& source);
// As WriteFileAtomically, for a program file: whoever may read the new file may also
// run it.
void WriteExecutableAtomically(const AnsiString& path, const std::string& bytes);
// One state of a regular file: which file it is, its size and the time of its last change.
struct TFileStamp {
    uint64_t Device = 0;
    uint64_t Inode = 0;
    int64_t Size = 0;
    int64_t ChangedSeconds = 0;
    int64_t ChangedNanoseconds = 0;
    bool operator==(const TFileStamp&) const = default;
};
// The stamp of the regular file at the path; none when there is no such file.
std::optional<TFileStamp> FileStamp(const AnsiString& path);

// Reads a whole file; raises EFOpenError when it cannot be opened.
std::string ReadFileBytes(const AnsiString& path);
