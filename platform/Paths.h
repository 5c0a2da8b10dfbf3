#pragma once
// Paths and files. Inside the program a path is CP1251 with "/" between its parts and a
// folder path ends with "/"; on disk names are UTF-8 (ToSystemPath / FromSystemPath).

#include "platform/AnsiString.h"

#include <cstdint>
#include <optional>
#include <string>

class TStream;

constexpr char PathDelim = '/';

// The folder where the diskette drive "a:" of stored paths is found.
inline constexpr char DisketteFolder[] = "/media/floppy";

// The path begins with a drive letter and ":" ("D:\Bank"), as paths written on Windows do.
bool HasDriveLetter(const AnsiString& path);
// The path lies on the diskette drive "a:" (either case).
bool IsDiskettePath(const AnsiString& path);
// The place a path names on this system: a leading "a:" (either case) stands for
// DisketteFolder ("a:/keys" -> "/media/floppy/keys"); every other path is returned as it
// is. ToSystemPath applies it, so every open does; a path handed to another program or
// library as text goes through it too. Stored paths keep "a:", for the diskette test.
AnsiString MapDrivePath(const AnsiString& path);

// CP1251 path -> the UTF-8 name the system uses, with the diskette drive mapped; a path
// holding a NUL byte raises.
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
// anything exists. A relative path is taken from the current folder, or from `base`. A
// path on the diskette drive stays one ("a:" -> "a:/").
AnsiString ExpandFileName(const AnsiString& path);
AnsiString ExpandFileNameFrom(const AnsiString& path, const AnsiString& base);

// The program file (/proc/self/exe), its folder ending with "/", and the temporary folder
// ($TMPDIR, else /tmp/) ending with "/".
AnsiString ProgramPath();
AnsiString ProgramFolder();
AnsiString TempFolder();

// A regular file (not a folder) of that name exists.
bool FileExists(const AnsiString& path);
// A symbolic link stands at the name (whatever it leads to, or nothing).
bool IsSymbolicLink(const AnsiString& path);
bool DirectoryExists(const AnsiString& path);
// A regular file whose owner may not write it: what the read-only attribute of Windows
// says (root's exemption from the permission bits does not count).
bool IsReadOnlyFile(const AnsiString& path);
// Creates the folder and every missing parent, each readable, writable and enterable by
// its owner only (0700) whatever the umask: what the program keeps is its user's alone.
// Existing folders are left as they are. Raises the system's error on failure.
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
// Removes a folder that holds nothing; false when it could not be removed.
bool RemoveEmptyFolder(const AnsiString& path);
// Renames over an existing target in one step and makes the rename durable; raises the
// system's error on failure.
void ReplaceFile(const AnsiString& source, const AnsiString& target);
// The file that the path names once every symbolic link at its end is followed (a
// relative link from the link's folder); the path itself when it is no link or names
// nothing. The folders on the way are left as they are.
AnsiString ResolveFileLink(const AnsiString& path);
// Copies a file's bytes to a new or existing target through a temporary name.
void CopyFile(const AnsiString& source, const AnsiString& target);

// What a save does with a symbolic link that stands at the target's name.
enum class TLinkAtTarget {
    // The file that the link names gets the bytes and the link stays: for the files that
    // the user chose (the profiles file, a data file), which may live elsewhere on purpose.
    Follow,
    // The new file takes the link's own name and the link is gone: for every file whose
    // name the bank or the program made, so that a planted link never leads a write out
    // of its folder.
    Replace,
};

// Writes the bytes to a temporary file beside the target (name.$NN, the first free number),
// flushes it to disk and renames it over the target: a crash leaves either the old file or
// the new one, never a mix. A link at the name is followed or replaced as `link` says.
// Temporary copies of the target that no running save holds (left by a save that was
// killed) are removed. A replaced file keeps its permissions and, where the system lets
// the saver give it, its group.
void WriteFileAtomically(const AnsiString& path, const std::string& bytes,
                         TLinkAtTarget link = TLinkAtTarget::Follow);
// As WriteFileAtomically, with the bytes of the stream from its position to its end.
void WriteFileAtomically(const AnsiString& path, TStream& source, TLinkAtTarget link = TLinkAtTarget::Follow);
// As WriteFileAtomically, for a program file: whoever may read the new file may also
// run it, and nobody but its owner may write it.
void WriteExecutableAtomically(const AnsiString& path, const std::string& bytes,
                               TLinkAtTarget link = TLinkAtTarget::Follow);
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
// Creates an empty regular file at the name and makes it durable, unless anything at all
// stands there (a file, a folder, a link even to nothing): then none. Two processes never
// both create the same name. Other failures raise the system's error.
std::optional<TFileStamp> CreateEmptyFile(const AnsiString& path);

// Reads a whole file; raises EFOpenError when it cannot be opened.
std::string ReadFileBytes(const AnsiString& path);
