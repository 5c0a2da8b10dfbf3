#include "platform/IniFiles.h"
#include "platform/Paths.h"
#include "platform/SysUtils.h"

#include "support/TestSupport.h"

#include <sys/wait.h>
#include <unistd.h>

namespace {

using TLines = std::vector<AnsiString>;

// A profiles file as it may come from Windows: comments, odd spacing, a line before the
// first section, duplicates, a Cyrillic section.
const std::string Sample =
    "; заголовок\r\n"
    "orphan=1\r\n"
    "[Common]\r\n"
    "  Host = mail.bank.ru \r\n"
    "Empty=\r\n"
    "Quoted=\"  text  \"\r\n"
    "Single='x'\r\n"
    "Mixed=\"x'\r\n"
    "Lone=\"\r\n"
    "Host=second\r\n"
    "; Host=comment\r\n"
    "no equals sign\r\n"
    "\r\n"
    "[  Профиль Один  ]\r\n"
    "Caption=Бухгалтерия\r\n"
    "Port=\t25\t\r\n"
    "\r\n"
    "[common]\r\n"
    "Host=duplicate section\r\n";

}  // namespace

TEST(IniFileTest, ReadsValuesAsTheProgramSeesThem)
{
    TTempDir dir;
    WriteBytes(dir.File("p.ini"), Sample);
    TIniFile ini(dir.File("p.ini"));

    EXPECT_ANSI_EQ(ini.ReadString("COMMON", "host", "def"), "mail.bank.ru");   // first of two
    EXPECT_ANSI_EQ(ini.ReadString("Common", "Quoted", "def"), "  text  ");
    EXPECT_ANSI_EQ(ini.ReadString("Common", "Single", "def"), "x");
    EXPECT_ANSI_EQ(ini.ReadString("Common", "Mixed", "def"), "\"x'");
    EXPECT_ANSI_EQ(ini.ReadString("Common", "Lone", "def"), "\"");
    EXPECT_ANSI_EQ(ini.ReadString("Common", "no equals sign", "def"), "def");
    EXPECT_ANSI_EQ(ini.ReadString("Common", "; Host", "def"), "def");
    EXPECT_ANSI_EQ(ini.ReadString("", "orphan", "def"), "def");   // before any section

    // A present empty key is present.
    EXPECT_TRUE(ini.ValueExists("common", "EMPTY"));
    EXPECT_ANSI_EQ(ini.ReadString("Common", "Empty", "def"), "");
    EXPECT_FALSE(ini.ValueExists("Common", "Missing"));

    // Cyrillic section names ignore case; blanks inside the brackets do not count.
    EXPECT_TRUE(ini.SectionExists("ПРОФИЛЬ ОДИН"));
    EXPECT_ANSI_EQ(ini.ReadString("профиль один", "CAPTION", ""), "Бухгалтерия");
    EXPECT_EQ(ini.ReadInteger("Профиль Один", "Port", 0), 25);

    TStringList list;
    ini.ReadSections(list);
    EXPECT_EQ(list.Items(), (TLines{"Common", "Профиль Один"}));
    ini.ReadSection("common", list);
    EXPECT_EQ(list.Items(), (TLines{"Host", "Empty", "Quoted", "Single", "Mixed", "Lone"}));
    ini.ReadSectionValues("Профиль один", list);
    EXPECT_EQ(list.Items(), (TLines{"Caption=Бухгалтерия", "Port=25"}));
}

TEST(IniFileTest, ReadsLfFilesAndNumbers)
{
    TTempDir dir;
    WriteBytes(dir.File("p.ini"), "[S]\nA=12\nB=-7 \nC=0x1F\nD=12a\nE=\nF=0\n");
    TIniFile ini(dir.File("p.ini"));
    EXPECT_EQ(ini.ReadInteger("S", "C", 5), 31);
    EXPECT_EQ(ini.ReadInteger("S", "D", 5), 5);
    EXPECT_FALSE(ini.ReadBool("S", "F", true));
    EXPECT_TRUE(ini.ReadBool("S", "X", true));

    // A write brings every line to CR LF.
    ini.WriteInteger("S", "A", -3);
    EXPECT_EQ(ReadBytes(dir.File("p.ini")), "[S]\r\nA=-3\r\nB=-7 \r\nC=0x1F\r\nD=12a\r\nE=\r\nF=0\r\n");
}

TEST(IniFileTest, WriteInPlaceKeepsEveryOtherLineByteForByte)
{
    TTempDir dir;
    WriteBytes(dir.File("p.ini"), Sample);
    TIniFile ini(dir.File("p.ini"));

    ini.WriteString("COMMON", "HOST", "smtp.bank.ru");
    std::string expected = Sample;
    expected.replace(expected.find("  Host = mail.bank.ru "), 22, "HOST=smtp.bank.ru");
    EXPECT_EQ(ReadBytes(dir.File("p.ini")), expected);

    // A new key goes after the section's last non-blank line.
    ini.WriteString("профиль один", "Новый", "да");
    expected.replace(expected.find("Port=\t25\t\r\n") + 11, 0, "Новый=да\r\n");
    EXPECT_EQ(ReadBytes(dir.File("p.ini")), expected);

    // A new section goes to the end.
    ini.WriteBool("Второй", "Flag", true);
    expected += "[Второй]\r\nFlag=1\r\n";
    EXPECT_EQ(ReadBytes(dir.File("p.ini")), expected);

}

TEST(IniFileTest, WriteToAMissingFileCreatesIt)
{
    TTempDir dir;
    const AnsiString name = dir.File("Новый.ini");
    TIniFile ini(name);
    EXPECT_ANSI_EQ(ini.ReadString("State", "Profile", "нет"), "нет");

    ini.DeleteKey("State", "Profile");   // nothing to delete: no file appears
    ini.EraseSection("State");
    EXPECT_FALSE(FileExists(name));

    ini.WriteString("State", "IniFile", "/home/user/profiles.ini");
    ini.WriteString("State", "Profile", "");
    EXPECT_EQ(ReadBytes(name), "[State]\r\nIniFile=/home/user/profiles.ini\r\nProfile=\r\n");
    EXPECT_TRUE(TIniFile(name).ValueExists("state", "profile"));
}

TEST(IniFileTest, DeleteKeyAndEraseSectionRemoveDuplicatesToo)
{
    TTempDir dir;
    WriteBytes(dir.File("p.ini"),
               "[A]\r\nK=1\r\nk=2\r\nL=3\r\n\r\n; about B\r\n[B]\r\nX=1\r\n[a]\r\nK=4\r\n[C]\r\nY=2\r\n");
    TIniFile ini(dir.File("p.ini"));

    ini.DeleteKey("a", "K");
    EXPECT_EQ(ReadBytes(dir.File("p.ini")),
              "[A]\r\nL=3\r\n\r\n; about B\r\n[B]\r\nX=1\r\n[a]\r\nK=4\r\n[C]\r\nY=2\r\n");

    ini.EraseSection("A");
    EXPECT_EQ(ReadBytes(dir.File("p.ini")), "[B]\r\nX=1\r\n[C]\r\nY=2\r\n");
}

TEST(IniFileTest, FailedWriteLeavesTheOldFileAndTheOldValues)
{
    TTempDir dir;
    const AnsiString name = dir.File("p.ini");
    WriteBytes(name, "[S]\r\nK=old\r\n");
    TIniFile ini(name);
    {
        const TFileSizeLimit full(8);
        EXPECT_RAISES(ini.WriteString("S", "K", "new"), EOSError, name + ": " + SysErrorMessage(EFBIG));
        // A missing file that cannot be written does not appear empty either.
        EXPECT_THROW(TIniFile(dir.File("new.ini")).WriteString("S", "K", "new"), EOSError);
    }
    EXPECT_EQ(ReadBytes(name), "[S]\r\nK=old\r\n");
    EXPECT_ANSI_EQ(ini.ReadString("S", "K", ""), "old");
    EXPECT_EQ(SystemNames(dir.Path()), std::vector<std::string>{"p.ini"});

    // A folder is no profiles file.
    EXPECT_RAISES(TIniFile{dir.Path()}, EFOpenError,
                  "Не удается открыть файл \"" + dir.Path() + "\". " + SysErrorMessage(EISDIR));
}

TEST(IniFileTest, RefusesWritesThatWouldBreakTheFile)
{
    TTempDir dir;
    WriteBytes(dir.File("p.ini"), "[S]\r\nK=1\r\n");
    TIniFile ini(dir.File("p.ini"));
    EXPECT_RAISES(ini.WriteString("S", "K", "1\r\n[Other]\r\nX=2"), Exception,
                  "Недопустимое имя или значение параметра: [S] K");
    for (const auto& [section, key] : {std::pair{"S", "A=B"}, {"S", ""}, {"S]x", "K"}})
        EXPECT_THROW(ini.WriteString(section, key, "1"), Exception) << section << " " << key;
    EXPECT_EQ(ReadBytes(dir.File("p.ini")), "[S]\r\nK=1\r\n");
}

TEST(IniFileTest, EveryWriteChangesOnlyItsKeyInTheFileAsItIsOnDiskNow)
{
    TTempDir dir;
    ForceDirectories(dir.File("real/"));
    WriteBytes(dir.File("real/p.ini"), "[S]\r\nA=1\r\nCount=5\r\n");
    // The program's name for the file is a link: it stays one.
    ASSERT_EQ(symlink("real/p.ini", ToSystemPath(dir.File("p.ini")).c_str()), 0);
    TIniFile ini(dir.File("p.ini"));

    // Changed by hand while the program runs.
    WriteBytes(dir.File("real/p.ini"), "[S]\r\nA=by hand\r\nCount=5\r\n");
    ini.WriteInteger("S", "Count", 6);
    EXPECT_EQ(ReadBytes(dir.File("real/p.ini")), "[S]\r\nA=by hand\r\nCount=6\r\n");
    EXPECT_ANSI_EQ(ini.ReadString("S", "A", ""), "by hand");
    EXPECT_EQ(SystemNames(dir.Path()), (std::vector<std::string>{"p.ini", "real"}));

    WriteBytes(dir.File("real/p.ini"), "[S]\r\nA=again\r\n");
    EXPECT_ANSI_EQ(ini.ReadString("S", "A", ""), "by hand");
    ini.Reload();
    EXPECT_ANSI_EQ(ini.ReadString("S", "A", ""), "again");
}

TEST(IniFileTest, TwoProcessesAdvancingOneCounterLoseNoStep)
{
    TTempDir dir;
    const AnsiString name = dir.File("p.ini");
    WriteBytes(name, "[S]\r\nCount=7\r\n");
    const auto advance = [&] {
        TIniFile ini(name);
        for (int step = 0; step < 1000; ++step)
            ini.ChangeString("S", "Count", [](const AnsiString& count) { return IntToStr(StrToInt(count) + 1); });
    };
    pid_t children[2] = {};
    for (pid_t& child : children) {
        child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            try {
                advance();
                _exit(0);
            } catch (...) {
                _exit(1);
            }
        }
    }
    for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(TIniFile(name).ReadInteger("S", "Count", 0), 2007);
}
