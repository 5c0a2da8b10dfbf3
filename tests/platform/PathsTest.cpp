#include "platform/FileLocks.h"
#include "platform/Paths.h"
#include "platform/SysHandle.h"
#include "platform/SysUtils.h"

#include "support/TestSupport.h"

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <random>
#include <sstream>

#include <fcntl.h>
#include <grp.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Runs the test body with the current folder set to `folder`, then goes back.
class TCurrentFolder {
public:
    explicit TCurrentFolder(const AnsiString& folder) : FOld(std::filesystem::current_path())
    {
        std::filesystem::current_path(ToSystemPath(folder));
    }
    ~TCurrentFolder() { std::filesystem::current_path(FOld); }

private:
    std::filesystem::path FOld;
};

}  // namespace

TEST(PathsTest, NameParts)
{
    EXPECT_ANSI_EQ(ExtractFilePath("/home/user/Зарплата.txt"), "/home/user/");
    EXPECT_ANSI_EQ(ExtractFileName("/home/user/Зарплата.txt"), "Зарплата.txt");
    EXPECT_ANSI_EQ(ExtractFileExt("/home/user/Зарплата.txt"), ".txt");
    EXPECT_ANSI_EQ(ExtractFileExt("/a.b/c"), "");
    EXPECT_ANSI_EQ(NormalizeSeparators("C:\\Data\\Out\\"), "C:/Data/Out/");
    EXPECT_ANSI_EQ(IncludeTrailingPathDelimiter("/a"), "/a/");
    EXPECT_ANSI_EQ(ExcludeTrailingPathDelimiter("/a/"), "/a");

    // A change of extension touches the last component only.
    EXPECT_ANSI_EQ(ChangeFileExt("/a.b/c", ".rst"), "/a.b/c.rst");
    EXPECT_ANSI_EQ(ChangeFileExt("/a/c.tar.gz", ""), "/a/c.tar");
}

TEST(PathsTest, ExpandFileNameIsAbsoluteAndLexicallyNormal)
{
    EXPECT_ANSI_EQ(ExpandFileName("/a/./b//c/../d"), "/a/b/d");
    EXPECT_ANSI_EQ(ExpandFileName("/a/b/"), "/a/b/");
    EXPECT_ANSI_EQ(ExpandFileName("/../../x"), "/x");
    // Nothing of it needs to exist.
    EXPECT_ANSI_EQ(ExpandFileName("/нет/такой/папки/../файл"), "/нет/такой/файл");
    EXPECT_ANSI_EQ(ExpandFileName(""), "");

    EXPECT_ANSI_EQ(ExpandFileNameFrom("data/../out/x.txt", "/base/dir"), "/base/dir/out/x.txt");
    EXPECT_ANSI_EQ(ExpandFileNameFrom("/abs/x", "/base/"), "/abs/x");

    // A relative path without a base is taken from the current folder.
    TTempDir dir;
    const AnsiString real = FromSystemPath(std::filesystem::canonical(ToSystemPath(dir.Path())).string());
    TCurrentFolder current(dir.Path());
    EXPECT_ANSI_EQ(ExpandFileName("sub/./f.ini"), real + "/sub/f.ini");
    EXPECT_ANSI_EQ(ExpandFileNameFrom("f.ini", "rel"), real + "/rel/f.ini");
}

TEST(PathsTest, TheDisketteDriveIsFoundUnderMediaFloppy)
{
    EXPECT_ANSI_EQ(MapDrivePath("A:/Ключи/"), "/media/floppy/Ключи/");
    EXPECT_ANSI_EQ(MapDrivePath("a:"), "/media/floppy");
    EXPECT_ANSI_EQ(MapDrivePath("a:keys"), "/media/floppy/keys");
    for (const char* other : {"c:/a", "/a:/keys", "a", "ab:"})
        EXPECT_ANSI_EQ(MapDrivePath(other), other);
    EXPECT_EQ(ToSystemPath("a:/Ёлка"), "/media/floppy/\xD0\x81\xD0\xBB\xD0\xBA\xD0\xB0");
    EXPECT_TRUE(HasDriveLetter("D:/Bank") && !IsDiskettePath("D:/Bank") && IsDiskettePath("A:"));
    // The stored text keeps its drive, for the diskette test.
    EXPECT_ANSI_EQ(ExpandFileName("A:/keys/../sec/"), "A:/sec/");
    EXPECT_ANSI_EQ(ExpandFileNameFrom("a:", "/base/"), "a:/");
}

TEST(PathsTest, SystemNamesAreUtf8AndRefusedWhenCp1251CannotHoldThem)
{
    EXPECT_EQ(ToSystemPath("/tmp/Ёлка.ini"), "/tmp/\xD0\x81\xD0\xBB\xD0\xBA\xD0\xB0.ini");
    EXPECT_ANSI_EQ(FromSystemPath("/tmp/\xD0\x81\xD0\xBB\xD0\xBA\xD0\xB0.ini"), "/tmp/Ёлка.ini");
    // A Chinese character and a byte that is not UTF-8 at all.
    EXPECT_RAISES(FromSystemPath("/tmp/\xE4\xB8\xAD-\xFF.txt"), Exception,
                  "Имя файла нельзя записать в кодировке Windows-1251: /tmp/?-?.txt");
}

TEST(PathsTest, NameWithANulByteIsRefusedNotCutShort)
{
    // Cut at the NUL, this name would delete "keep".
    TTempDir dir;
    WriteBytes(dir.File("keep"), "payroll");
    const AnsiString name = dir.File("keep") + AnsiString(1, '\0') + "x";
    EXPECT_RAISES(DeleteFile(name), Exception, "Имя файла содержит нулевой байт: " + dir.File("keep"));
    EXPECT_EQ(ReadBytes(dir.File("keep")), "payroll");
}

// The program's folder and TMPDIR through the folder kinds: GetFolderTest.
TEST(PathsTest, FilesFoldersAndAnEmptyTmpdir)
{
    TTempDir dir;
    WriteBytes(dir.File("Платёж.txt"), "x");
    EXPECT_TRUE(FileExists(dir.File("Платёж.txt")));
    EXPECT_FALSE(FileExists(dir.Path()));
    EXPECT_FALSE(DirectoryExists(dir.File("Платёж.txt")));
    EXPECT_TRUE(DeleteFile(dir.File("Платёж.txt")));
    EXPECT_FALSE(DeleteFile(dir.File("Платёж.txt")));
    EXPECT_FALSE(DeleteFile(dir.Path()));
    const TEnvironmentVariable tmp("TMPDIR", "");
    EXPECT_ANSI_EQ(TempFolder(), "/tmp/");
}

TEST(PathsTest, ForceDirectoriesCreatesEveryMissingParent)
{
    TTempDir dir;
    ForceDirectories(dir.File("Входящие/2024/01/"));
    EXPECT_TRUE(DirectoryExists(dir.File("Входящие/2024/01")));
    WriteBytes(dir.File("file"), "x");
    EXPECT_RAISES(ForceDirectories(dir.File("file/sub")), EOSError,
                  dir.File("file") + ": " + SysErrorMessage(ENOTDIR));
}

TEST(PathsTest, PrivateFolderIsNewForEveryCallAndRemovedWithItsContents)
{
    TTempDir dir;
    const AnsiString first = CreatePrivateFolder(dir.Path(), "тест-");
    const AnsiString second = CreatePrivateFolder(dir.Path(), "тест-");
    EXPECT_NE(first, second);
    EXPECT_ANSI_EQ(first.substr(0, dir.Path().size() + 5), dir.Path() + "тест-");
    EXPECT_EQ(first.back(), '/');
    struct stat info {};
    ASSERT_EQ(stat(ToSystemPath(first).c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    ForceDirectories(first + "sub/");
    WriteBytes(first + "sub/file", "x");
    RemoveFolderTree(first);
    EXPECT_FALSE(DirectoryExists(first));
    RemoveFolderTree(first);   // gone already: nothing to say
    EXPECT_RAISES_PREFIX(CreatePrivateFolder(dir.File("missing/"), "x"), EOSError, dir.File("missing/"));
}

TEST(PathsTest, ProgramsAreFoundOnPathInItsOrder)
{
    TTempDir dir;
    ForceDirectories(dir.File("one/"));
    ForceDirectories(dir.File("two/"));
    ForceDirectories(dir.File("two/tool.dir/"));
    WriteBytes(dir.File("one/tool"), "#!/bin/sh\n");       // not executable
    WriteBytes(dir.File("two/tool"), "#!/bin/sh\n");
    chmod(ToSystemPath(dir.File("two/tool")).c_str(), 0755);
    EXPECT_FALSE(IsExecutableFile(dir.File("one/tool")));
    EXPECT_TRUE(IsExecutableFile(dir.File("two/tool")));
    EXPECT_FALSE(IsExecutableFile(dir.File("two/tool.dir")));

    const TEnvironmentVariable path("PATH", ToSystemPath(dir.File("one")) + ":" + ToSystemPath(dir.File("two")));
    EXPECT_ANSI_EQ(FindProgramOnPath("tool"), dir.File("two/tool"));
    EXPECT_ANSI_EQ(FindProgramOnPath("tool.dir"), "");
    EXPECT_ANSI_EQ(FindProgramOnPath("none"), "");
}

TEST(PathsTest, WriteFileAtomicallyReplacesTheTargetAndRemovesOnlyStaleTemporaryFiles)
{
    TTempDir dir;
    const AnsiString target = dir.File("x.ini");
    WriteFileAtomically(target, "new\r\n");
    EXPECT_EQ(ReadBytes(target), "new\r\n");

    // Copies held by running saves stay, however many there are: the next free number
    // is taken. Copies that no save holds (a save was killed) go.
    std::vector<TSysHandle> held;
    for (int number = 0; number < 100; ++number) {
        const AnsiString name = target + Format(".$%.2d", number);
        WriteBytes(name, "held");
        held.emplace_back(open(ToSystemPath(name).c_str(), O_RDONLY | O_CLOEXEC));
        ASSERT_EQ(LockExclusive(held.back().Get(), false), TLockResult::Locked);
    }
    WriteBytes(target + ".$100", "stale");
    WriteBytes(target + ".$123456789012", "stale");
    WriteBytes(target + ".$1x", "not a copy");
    chmod(ToSystemPath(target).c_str(), 0600);
    WriteFileAtomically(target, std::string("a\0b", 3));
    EXPECT_EQ(ReadBytes(target), std::string("a\0b", 3));
    EXPECT_EQ(ReadBytes(target + ".$99"), "held");
    EXPECT_FALSE(FileExists(target + ".$100"));
    EXPECT_FALSE(FileExists(target + ".$123456789012"));
    EXPECT_TRUE(FileExists(target + ".$1x"));
    EXPECT_EQ(SystemNames(dir.Path()).size(), 102u);
    // The replaced file keeps its permissions.
    struct stat info {};
    ASSERT_EQ(stat(ToSystemPath(target).c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST(PathsTest, AKilledSaveLeavesTheOldFileOrTheNewOneAndItsCopyGoesAtTheNextSave)
{
    TTempDir dir;
    const AnsiString target = dir.File("list.txt");
    const std::string first(1 << 22, 'A'), second(1 << 22, 'B');
    WriteBytes(target, first);
    std::mt19937 random(5);
    for (int round = 0; round < 20; ++round) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int save = 0;; ++save)
                WriteFileAtomically(target, save % 2 ? first : second);
        }
        usleep(static_cast<useconds_t>(random() % 30000));
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        const std::string bytes = ReadBytes(target);
        ASSERT_TRUE(bytes == first || bytes == second) << "round " << round << ", " << bytes.size() << " bytes";
    }
    WriteFileAtomically(target, "done");
    EXPECT_EQ(SystemNames(dir.Path()), std::vector<std::string>{"list.txt"});
}

namespace {

// The flushes, renames and file creations, in order, of one save of "new" over the
// target (a full system path) made by a process of its own.
std::vector<std::string> SafeWriteCalls(const std::string& target)
{
    const TTempDir logDir;
    const std::string log = ToSystemPath(logDir.File("calls.log"));
    pid_t child = 0;
    {
        const TEnvironmentVariable preload("LD_PRELOAD", SYSCALL_LOG_PATH);
        const TEnvironmentVariable logName("VELTON_SYSCALL_LOG", log);
        const char* arguments[] = {SAFE_WRITE_PROBE, target.c_str(), "new", nullptr};
        EXPECT_EQ(posix_spawn(&child, SAFE_WRITE_PROBE, nullptr, nullptr, const_cast<char**>(arguments), environ), 0);
    }
    int status = 0;
    EXPECT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(ReadBytes(FromSystemPath(target)), "new");

    std::vector<std::string> calls;
    std::istringstream lines(ReadBytes(FromSystemPath(log)));
    for (std::string line; std::getline(lines, line);)
        calls.push_back(line);
    return calls;
}

// The save's rename of its temporary file over the target; the end when it made none.
std::vector<std::string>::const_iterator RenameOver(const std::vector<std::string>& calls, const std::string& target)
{
    return std::find_if(calls.begin(), calls.end(), [&](const std::string& call) {
        return call.starts_with("rename ") && call.ends_with(" " + target);
    });
}

// The name that the rename call gives the target.
std::string RenamedFrom(const std::string& rename, const std::string& target)
{
    return rename.substr(7, rename.size() - 7 - target.size() - 1);
}

}  // namespace

// A power loss must leave the old file or the new one, never an empty one: the new bytes
// reach the disk before their name replaces the target. A library preloaded into a
// process that makes one save notes its flushes and renames in order.
TEST(PathsTest, TheNewFileIsFlushedToTheDiskBeforeItIsRenamedOverTheTarget)
{
    TTempDir dir;
    const std::string folder = std::filesystem::canonical(ToSystemPath(dir.Path())).string() + "/";
    const std::string target = folder + "x.ini";
    WriteBytes(FromSystemPath(target), "old");
    const std::vector<std::string> calls = SafeWriteCalls(target);
    const auto renamed = RenameOver(calls, target);
    ASSERT_TRUE(renamed != calls.end()) << ::testing::PrintToString(calls);
    const std::string temporary = RenamedFrom(*renamed, target);
    EXPECT_TRUE(std::find(calls.begin(), renamed, "sync " + temporary) != renamed)
        << "no flush of " << temporary << " before its rename: " << ::testing::PrintToString(calls);
}

// The rename reaches the disk as well: the folder that holds the new name is flushed after
// the rename, so that a power loss cannot bring the old file back.
TEST(PathsTest, TheFolderIsFlushedToTheDiskAfterTheRenameOverTheTarget)
{
    TTempDir dir;
    const std::string folder = std::filesystem::canonical(ToSystemPath(dir.Path())).string();
    const std::string target = folder + "/x.ini";
    WriteBytes(FromSystemPath(target), "old");
    const std::vector<std::string> calls = SafeWriteCalls(target);
    const auto renamed = RenameOver(calls, target);
    ASSERT_TRUE(renamed != calls.end()) << ::testing::PrintToString(calls);
    EXPECT_TRUE(std::find(renamed, calls.end(), "sync " + folder) != calls.end())
        << "no flush of " << folder << " after the rename: " << ::testing::PrintToString(calls);
}

// The new content of a file that only its owner may read is never open to others: the
// temporary copy is created without the permissions the file lacks, not narrowed after.
TEST(PathsTest, TheCopyOfAPrivateFileIsCreatedPrivate)
{
    TTempDir dir;
    const std::string target = std::filesystem::canonical(ToSystemPath(dir.Path())).string() + "/p.ini";
    WriteBytes(FromSystemPath(target), "old");
    chmod(target.c_str(), 0600);
    const std::vector<std::string> calls = SafeWriteCalls(target);
    const auto renamed = RenameOver(calls, target);
    ASSERT_TRUE(renamed != calls.end()) << ::testing::PrintToString(calls);
    const std::string create = "create " + RenamedFrom(*renamed, target) + " ";
    const auto created = std::find_if(calls.begin(), renamed, [&](const std::string& call) { return call.starts_with(create); });
    ASSERT_TRUE(created != renamed) << ::testing::PrintToString(calls);
    EXPECT_EQ(std::stoul(created->substr(create.size()), nullptr, 8) & 077, 0u) << *created;
}

// A saved file keeps every permission it had, also one that the process's umask would
// take from a new file: the file shared with the group stays writable by the group.
TEST(PathsTest, ASaveKeepsAModeThatTheUmaskWouldNarrow)
{
    TTempDir dir;
    const AnsiString target = dir.File("p.ini");
    WriteBytes(target, "old");
    chmod(ToSystemPath(target).c_str(), 0664);
    {
        const TUmask groupDenied(022);
        WriteFileAtomically(target, "new");
    }
    EXPECT_EQ(PermissionsOf(target), 0664u);
}

// A save keeps the file's group: a list shared as "root:accounting 0640" stays readable by
// its group. A saver who may not give the file that group (not one of the saver's groups)
// still saves, and the file takes the saver's group. Giving a group away needs root.
TEST(PathsTest, ASaveKeepsTheFilesGroupWhereTheSaverMayGiveIt)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "only root may hand a file to a group of its choice and take on another user";
    TTempDir dir;
    const AnsiString target = dir.File("list.txt");
    WriteBytes(target, "old");
    ASSERT_EQ(chown(ToSystemPath(target).c_str(), 0, 65534), 0);
    ASSERT_EQ(chmod(ToSystemPath(target).c_str(), 0640), 0);
    WriteFileAtomically(target, "new");
    struct stat info {};
    ASSERT_EQ(stat(ToSystemPath(target).c_str(), &info), 0);
    EXPECT_EQ(info.st_gid, 65534u);
    EXPECT_EQ(info.st_mode & 07777, 0640u);

    // User 65534, in no group but its own, saves its file of root's group.
    const AnsiString shared = dir.File("shared/");
    ForceDirectories(shared);
    ASSERT_EQ(chmod(ToSystemPath(dir.Path()).c_str(), 0711), 0);
    ASSERT_EQ(chown(ToSystemPath(shared).c_str(), 65534, 65534), 0);
    const AnsiString theirs = shared + "list.txt";
    WriteBytes(theirs, "old");
    ASSERT_EQ(chown(ToSystemPath(theirs).c_str(), 65534, 0), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)
            _exit(10);
        try {
            WriteFileAtomically(theirs, "new");
        } catch (...) {
            _exit(11);
        }
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadBytes(theirs), "new");
    ASSERT_EQ(stat(ToSystemPath(theirs).c_str(), &info), 0);
    EXPECT_EQ(info.st_gid, 65534u);
}

TEST(PathsTest, ALinkIsFollowedAndStaysALink)
{
    TTempDir dir;
    ForceDirectories(dir.File("real/"));
    ForceDirectories(dir.File("links/"));
    WriteBytes(dir.File("real/p.ini"), "old");
    ASSERT_EQ(symlink("../real/p.ini", ToSystemPath(dir.File("links/step")).c_str()), 0);
    ASSERT_EQ(symlink(ToSystemPath(dir.File("links/step")).c_str(), ToSystemPath(dir.File("links/p.ini")).c_str()), 0);
    EXPECT_ANSI_EQ(ResolveFileLink(dir.File("links/p.ini")), dir.File("links/../real/p.ini"));

    WriteFileAtomically(dir.File("links/p.ini"), "new");
    EXPECT_EQ(ReadBytes(dir.File("real/p.ini")), "new");
    EXPECT_EQ(SystemNames(dir.File("links/")), (std::vector<std::string>{"p.ini", "step"}));
    EXPECT_TRUE(std::filesystem::is_symlink(ToSystemPath(dir.File("links/p.ini"))));
    EXPECT_EQ(SystemNames(dir.File("real/")), std::vector<std::string>{"p.ini"});

    // A link to nothing yet: the file appears where it points.
    ASSERT_EQ(symlink("new.txt", ToSystemPath(dir.File("links/dangling")).c_str()), 0);
    CopyFile(dir.File("real/p.ini"), dir.File("links/dangling"));
    EXPECT_EQ(ReadBytes(dir.File("links/new.txt")), "new");
    EXPECT_TRUE(std::filesystem::is_symlink(ToSystemPath(dir.File("links/dangling"))));
}

TEST(PathsTest, AnExecutableMayBeRunByWhoeverMayReadIt)
{
    TTempDir dir;
    const AnsiString target = dir.File("Updates-5.4.exe");
    {
        const TUmask othersDenied(027);
        WriteExecutableAtomically(target, "#!/bin/sh\n");
    }
    EXPECT_EQ(PermissionsOf(target), 0750u);
    EXPECT_EQ(ReadBytes(target), "#!/bin/sh\n");

    chmod(ToSystemPath(target).c_str(), 0600);
    WriteExecutableAtomically(target, "new");
    EXPECT_EQ(PermissionsOf(target), 0700u);
    EXPECT_EQ(SystemNames(dir.Path()), (std::vector<std::string>{"Updates-5.4.exe"}));
}

// A program that the self-update may run is changed by its owner alone, whatever the umask
// or the file that it replaces allowed.
TEST(PathsTest, AnExecutableIsWritableByItsOwnerAlone)
{
    TTempDir dir;
    const AnsiString target = dir.File("Updates-5.4.exe");
    const TUmask groupShares(002);
    WriteExecutableAtomically(target, "#!/bin/sh\n");
    EXPECT_EQ(PermissionsOf(target), 0755u);
    ASSERT_EQ(chmod(ToSystemPath(target).c_str(), 0666), 0);
    WriteExecutableAtomically(target, "new");
    EXPECT_EQ(PermissionsOf(target), 0755u);
}

TEST(PathsTest, FailedWriteLeavesTheOldFile)
{
    TTempDir dir;
    WriteBytes(dir.File("blocker"), "not a folder");
    EXPECT_RAISES(WriteFileAtomically(dir.File("blocker/x.ini"), "data"), EOSError,
                  dir.File("blocker/x.ini") + ": " + SysErrorMessage(ENOTDIR));
    EXPECT_EQ(ReadBytes(dir.File("blocker")), "not a folder");

    // The rename fails (the target is a folder that is not empty): the temporary file goes.
    ForceDirectories(dir.File("target/inner"));
    EXPECT_THROW(WriteFileAtomically(dir.File("target"), "data"), EOSError);
    EXPECT_TRUE(DirectoryExists(dir.File("target/inner")));
    EXPECT_EQ(SystemNames(dir.Path()), (std::vector<std::string>{"blocker", "target"}));
}

TEST(PathsTest, ReplaceCopyAndRead)
{
    TTempDir dir;
    WriteBytes(dir.File("a"), "first");
    WriteBytes(dir.File("b"), "second");
    ReplaceFile(dir.File("a"), dir.File("b"));
    EXPECT_FALSE(FileExists(dir.File("a")));
    EXPECT_EQ(ReadBytes(dir.File("b")), "first");
    EXPECT_THROW(ReplaceFile(dir.File("a"), dir.File("b")), EOSError);

    const std::string big = RandomBytes(200000, 7);
    WriteBytes(dir.File("big"), big);
    CopyFile(dir.File("big"), dir.File("b"));
    EXPECT_EQ(ReadBytes(dir.File("b")), big);
    EXPECT_EQ(ReadFileBytes(dir.File("b")), big);
    EXPECT_EQ(SystemNames(dir.Path()), (std::vector<std::string>{"b", "big"}));

    EXPECT_RAISES(ReadFileBytes(dir.File("нет")), EFOpenError,
                  "Не удается открыть файл \"" + dir.File("нет") + "\". " + SysErrorMessage(ENOENT));
    EXPECT_THROW(CopyFile(dir.File("нет"), dir.File("b")), EFOpenError);
    EXPECT_EQ(ReadBytes(dir.File("b")), big);
}
