#include "documents/Common.h"

#include "ProfileFiles.h"

#include "platform/Classes.h"
#include "platform/Paths.h"
#include "platform/SysUtils.h"
#include "platform/VersionInfo.h"
#include "support/TestSupport.h"

#include <vector>

#include <sys/stat.h>

namespace {

std::vector<AnsiString> Split(const AnsiString& text, const AnsiString& delimiter)
{
    TStringList list;
    list.Add("left over");   // the list is cleared first
    SplitString(list, text, delimiter);
    return list.Items();
}

}  // namespace

TEST(GetFolderTest, ProgramAndTemporaryFolders)
{
    EXPECT_EQ(GetFolder(FolderProgram), ProgramFolder());
    TTempDir temp;
    const AnsiString tmp = temp.File("tmp/");
    const TEnvironmentVariable tmpDir("TMPDIR", tmp);
    EXPECT_EQ(GetFolder(6), tmp);
    EXPECT_FALSE(DirectoryExists(tmp));
    EXPECT_EQ(GetFolder(6, true), tmp);
    EXPECT_TRUE(DirectoryExists(tmp));
    EXPECT_RAISES(GetFolder(7), Exception, "Выход индекса за пределы диапазона (7)");
    EXPECT_RAISES(GetFolder(-1), Exception, "Выход индекса за пределы диапазона (-1)");
}

TEST(GetFolderTest, KindsZeroToFourLieInTheSelectedProfilesDataPathWhichEnsureDirMakes)
{
    TTempDir dir;
    {
        TSelectedProfile selected(dir.File("velton.ini"), dir.Path() + "Банк");
        const AnsiString dataPath = dir.Path() + "Банк/";
        EXPECT_ANSI_EQ(GetFolder(3, true), dataPath + "Sent/");
        EXPECT_TRUE(DirectoryExists(dataPath + "Sent/"));
        EXPECT_ANSI_EQ(GetFolder(3, true), dataPath + "Sent/");   // found, nothing to do
        EXPECT_ANSI_EQ(GetFolder(0, false), dataPath + "Reject/");
        EXPECT_ANSI_EQ(GetFolder(1, false), dataPath + "Cache/");
        EXPECT_ANSI_EQ(GetFolder(2, false), dataPath + "Updates/");
        EXPECT_ANSI_EQ(GetFolder(4, false), dataPath + "Log/");
        EXPECT_FALSE(DirectoryExists(dataPath + "Log/"));
    }
    // Without a selected profile there are no data folders.
    for (int kind = FolderReject; kind <= FolderLog; ++kind)
        EXPECT_RAISES(GetFolder(kind, true), Exception, "Профиль не выбран");
    EXPECT_RAISES(CurrentDataPath(), Exception, "Профиль не выбран");

    // A folder is made with its missing parents; a file in the way fails.
    EnsureDir(dir.File("Bank/Sent/"));
    EXPECT_TRUE(DirectoryExists(dir.File("Bank/Sent/")));
    WriteBytes(dir.File("file"), "");
    EXPECT_THROW(EnsureDir(dir.File("file/sub/")), EOSError);
}

// What the program keeps about the bank's clients is its user's alone: the profile's data
// folder and the working folders made in it on demand are 0700 whatever the umask; a
// folder that is there already keeps its mode.
TEST(GetFolderTest, FoldersThatTheProgramMakesAreItsUsersAlone)
{
    TTempDir dir;
    TSelectedProfile selected(dir.File("velton.ini"), dir.Path() + "Банк");
    const AnsiString dataPath = dir.Path() + "Банк/";
    {
        const TUmask groupShares(002);
        GetFolder(FolderSent, true);
        EXPECT_EQ(PermissionsOf(dataPath), 0700u);
        EXPECT_EQ(PermissionsOf(dataPath + "Sent/"), 0700u);

        ASSERT_EQ(mkdir(ToSystemPath(dataPath + "Cache").c_str(), 0775), 0);
        GetFolder(FolderCache, true);
        EXPECT_EQ(PermissionsOf(dataPath + "Cache/"), 0775u);
    }
    // A umask that takes the owner's own rights does not make a folder the program
    // cannot use.
    const TUmask ownerless(0277);
    EnsureDir(dataPath + "Log/Old/");
    EXPECT_EQ(PermissionsOf(dataPath + "Log/"), 0700u);
    EXPECT_EQ(PermissionsOf(dataPath + "Log/Old/"), 0700u);
}

TEST(VersionTest, ValuesOfTheProgramsOwnFileAndTheirNumbers)
{
    EXPECT_EQ(GetVersionInfoValue("FileVersion", ProgramPath()), VELTON_FILE_VERSION);
    EXPECT_EQ(GetShortFileVersion(""),
              std::to_string(VELTON_VERSION_MAJOR) + "." + std::to_string(VELTON_VERSION_MINOR));
    EXPECT_RAISES(GetVersionInfoValue("FileVersion", "/usr/bin/gpg"), EOSError,
                  "Не найдено значение версии FileVersion в файле /usr/bin/gpg");

    EXPECT_EQ(VersionToInt("5.3"), 5 * 65536 + 3);
    EXPECT_EQ(VersionToInt("5"), 5 * 65536);
    EXPECT_GT(VersionToInt("1.10"), VersionToInt("1.9"));
    for (const char* bad : {"x.1", "5.3.1", ""})
        EXPECT_EQ(VersionToInt(bad), 0) << bad;
    // Each number has 16 bits: a larger one, a sign or a blank makes no version at all.
    for (const char* bad : {"0.2147483647", "1.65536", "65536.0", "4294967296", " 7.0", "7 .0", "7.0 ", "7. 0", "+7.0",
                            "-1.0", "7.", ".7"})
        EXPECT_EQ(VersionToInt(bad), 0) << bad;
    EXPECT_GT(VersionToInt("32768.0"), VersionToInt("32767.65535"));
    EXPECT_GT(VersionToInt("65535.65535"), VersionToInt("65535.65534"));
    EXPECT_GT(VersionToInt("65535.0"), VersionToInt("2.0"));
}

TEST(SplitStringTest, PartsBetweenDelimitersAndJoinUndoesIt)
{
    using Items = std::vector<AnsiString>;
    EXPECT_EQ(Split("", ","), Items{});
    EXPECT_EQ(Split("a,,b", ","), (Items{"a", "", "b"}));
    EXPECT_EQ(Split("a<>b<>", "<>"), (Items{"a", "b", ""}));
    EXPECT_EQ(Split("a<b", "<>"), (Items{"a<b"}));
    EXPECT_EQ(Split("a,b", ""), (Items{"a,b"}));
    TStringList list;
    for (const AnsiString text : {"", "a;;b", ";", "Иванов;Пётр;"}) {
        SplitString(list, text, ";");
        EXPECT_ANSI_EQ(JoinStrings(list, ";"), text);
    }
}

TEST(EscapeTest, EscapesTheSetAndTheMarkAndUnescapesUpToTwoHexDigits)
{
    EXPECT_EQ(EscapeChars("a;b#c", ";"), "a#3Bb#23c");
    EXPECT_EQ(EscapeChars("x\r\ny", "\r\n;"), "x#0D#0Ay");
    EXPECT_EQ(EscapeChars(AnsiString(1, '\0'), AnsiString(1, '\0')), "#00");
    EXPECT_ANSI_EQ(UnescapeChars(EscapeChars("##;;Сумма", ";")), "##;;Сумма");
    EXPECT_EQ(UnescapeChars("a#3bb#23"), "a;b#");
    EXPECT_EQ(UnescapeChars("#4"), "\x04");
    for (const char* bad : {"abc#", "#x1", "#4x"})
        EXPECT_THROW(UnescapeChars(bad), EConvertError) << bad;
}

TEST(FreeBackupNameTest, FirstFreeNumberWithAtLeastTwoDigits)
{
    TTempDir temp;
    const AnsiString name = temp.File("data.txt");
    EXPECT_EQ(FreeBackupName(name), name + ".$00");
    for (int n = 0; n < 100; ++n)
        WriteBytes(name + Format(".$%.2d", n), "");
    EXPECT_EQ(FreeBackupName(name), name + ".$100");
}
