#include "ProfileFiles.h"

#include "documents/Exportfiles.h"
#include "platform/Paths.h"

#include <sys/stat.h>

namespace {

// RecvPass=secret as the store writes it with the seed 0x5A.
const AnsiString ScrambledSecret = "RecvPass=\\kpkwkwkwksdmhr";

} // namespace

using ProfileStoreTest = ProfileFileTest;

TEST_F(ProfileStoreTest, ListsProfileSectionsInFileOrderWithCaptions)
{
    Open({"[Common]", "Caption=Общий", "RecvUser=u", "[Первый]", "Caption=Первый клиент", "[second]", "[ПЕРВЫЙ]",
          "[Клиент]", "Caption=  "});
    ASSERT_EQ(Store.Count(), 3);
    EXPECT_ANSI_EQ(Store.Profile(0)->Name, "Первый");
    EXPECT_ANSI_EQ(Store.Profile(0)->Caption, "Первый клиент");
    EXPECT_ANSI_EQ(Store.Profile(1)->Name, "second");
    EXPECT_ANSI_EQ(Store.Profile(1)->Caption, "Общий");    // from Common
    EXPECT_ANSI_EQ(Store.Profile(2)->Caption, "Клиент");   // a blank caption: the section name
    EXPECT_EQ(Store.Current(), nullptr);
    EXPECT_ANSI_EQ(Store.GetFileName(), FileName);
    // "Common" in any case is no profile.
    Open({"[cOMMON]", "Prefix=ABC"});
    EXPECT_EQ(Store.Count(), 0);
}

TEST_F(ProfileStoreTest, OpenOfAMissingFileSaysSoAndLeavesNoFileOpen)
{
    Open({"[P]"});
    const AnsiString missing = Dir.File("нет.ini");
    EXPECT_RAISES(Store.Open(missing), Exception, "Файл не существует: " + missing);
    EXPECT_ANSI_EQ(Store.GetFileName(), "");
    EXPECT_FALSE(FileExists(missing));
}

TEST_F(ProfileStoreTest, OldEntriesAreUpgradedOnceAndPasswordsReadBackPlain)
{
    Open({"[P]", "Prefix=abc", "RecvUser=user", "RecvPass=secret", "SendPass=", "ProxyPass=\\pz", "[common]",
          "RecvPass=secret"});
    const std::string upgraded = IniText({"[P]", "Prefix=abc", "RecvUser=user", ScrambledSecret, "SendPass=",
                                          "ProxyPass=\\pz", "[common]", ScrambledSecret});
    EXPECT_EQ(FileBytes(), upgraded);
    Store.Open(FileName);
    EXPECT_EQ(FileBytes(), upgraded);
    Store.Select(0);
    EXPECT_EQ(Store.Current()->RecvPass, "secret");
    EXPECT_EQ(Store.Current()->SendPass, "secret");   // an empty own key falls to the default
    EXPECT_EQ(Store.Current()->ProxyPass, "");

    Open({"[P]", "Prefix=ABC", "RecvUser=u", "SendPass=Пароль1", "RecvPass=r"});
    Store.Select(0);
    EXPECT_ANSI_EQ(Store.Current()->SendPass, "Пароль1");
    EXPECT_ANSI_EQ(UnscramblePassword(Store.Ini()->ReadString("P", "SendPass", "").substr(1), "SendPass"), "Пароль1");

    // An old file count moves to its new key, once.
    Open({"[A]", "FileCount=12", "Prefix=AAA", "[B]", "FileCount=5", "Salary.FileCount=7"});
    EXPECT_EQ(FileBytes(), IniText({"[A]", "Prefix=AAA", "Salary.FileCount=12", "[B]", "FileCount=5",
                                    "Salary.FileCount=7"}));
    const std::string once = FileBytes();
    Store.Load();
    EXPECT_EQ(FileBytes(), once);
}

TEST_F(ProfileStoreTest, RefusedLoadsLeaveTheFileAsItIsAndNoProfiles)
{
    const std::string bytes = IniText({"[A]", "Prefix=ABC", "[B]", "RecvPass=plain"});
    WriteBytes(FileName, bytes);
    {
        const TFileSizeLimit full(8);   // no write can reach the file
        EXPECT_THROW(Store.Open(FileName), EOSError);
    }
    EXPECT_EQ(Store.Count(), 0);
    EXPECT_EQ(Store.Current(), nullptr);
    EXPECT_EQ(FileBytes(), bytes);

    const AnsiString refusal = "Файл " + FileName + " сохранен в кодировке UTF-8. Сохраните его в кодировке Windows-1251.";
    for (const std::string& utf8 : {AnsiToUtf8(IniText({"[Клиент]", "RecvPass=plain"})),
                                     "\xEF\xBB\xBF" + IniText({"[P]", "RecvPass=plain"})}) {
        WriteBytes(FileName, utf8);
        EXPECT_RAISES(Store.Open(FileName), Exception, refusal);
        EXPECT_EQ(FileBytes(), utf8);
    }
}

// CP1251 text whose byte pairs also form valid UTF-8 (as "Д№", C4 B9) is no UTF-8 text:
// the program loads the file it wrote such a value into, and writes to it again. A file
// saved in UTF-8 behind the program's back does not stop a write; its next load refuses it.
TEST_F(ProfileStoreTest, AFileTheProgramWroteLoadsAgainWhateverItsValues)
{
    for (const AnsiString value : {"Д№", "Л»", "Пњ"}) {
        SelectProfile({}).WriteParam("Caption", value);
        Store.Current()->WriteParam("Caption", value);   // reads the file as it is now
        Store.Open(FileName);
        EXPECT_ANSI_EQ(Store.Profile(0)->Caption, value);
    }

    TProfile& profile = SelectProfile({});
    const std::string utf8 = AnsiToUtf8(IniText({"[P]", "Caption=Клиент"}));
    WriteBytes(FileName, utf8);
    profile.WriteParam("Salary.FileCount", "2");
    EXPECT_EQ(FileBytes(), utf8 + "Salary.FileCount=2\r\n");
    EXPECT_RAISES(Store.Open(FileName), Exception,
                  "Файл " + FileName + " сохранен в кодировке UTF-8. Сохраните его в кодировке Windows-1251.");
}

// CP1251 text whose every non-ASCII byte pair is also valid UTF-8. "Т№1" (D2 B9) would be
// a letter that CP1251 lacks: the file is CP1251 as it stands. "Р°" (D0 B0) would be the
// UTF-8 of "а": written into a file of plain ASCII, it must not make the program refuse
// the file it has just written, and the lines already there keep their bytes.
TEST_F(ProfileStoreTest, Cp1251TextThatAlsoReadsAsUtf8LoadsAsCp1251)
{
    Open({"[P]", "Caption=Т№1"});
    ASSERT_EQ(Store.Count(), 1);
    EXPECT_EQ(Hex(Store.Profile(0)->Caption), "D2 B9 31");

    const std::string ascii = IniText({"[P]", "Prefix = abc ", "RecvUser=client"});
    WriteBytes(FileName, ascii);
    Store.Open(FileName);
    Store.Profile(0)->WriteParam("Caption", "Р°");
    Store.Open(FileName);
    EXPECT_EQ(Hex(Store.Profile(0)->Caption), "D0 B0");
    const std::string tail = ascii + IniText({"Caption=Р°"});
    const std::string written = FileBytes();
    ASSERT_GT(written.size(), tail.size());
    EXPECT_EQ(written.substr(written.size() - tail.size()), tail);
}

TEST_F(ProfileStoreTest, LoadAndSelectReadTheFileAsItIsNowAndChangeNothingElse)
{
    Open({"[A]", "Prefix=ABC", "RecvUser=u", "RecvPass=\\x"});
    Write({"[A]", "Prefix=XYZ", "RecvUser=u", "RecvPass=\\x", "[B]"});
    Store.Select(0);
    EXPECT_EQ(Store.Current()->Prefix, "XYZ");
    // A counter written now keeps the other program's change.
    Write({"[A]", "Prefix=NEW", "RecvUser=u", "RecvPass=\\x", "[B]", "Caption=Второй"});
    Store.Current()->ExportProfiles.At(0)->SetFileCount(8);
    EXPECT_EQ(FileBytes(), IniText({"[A]", "Prefix=NEW", "RecvUser=u", "RecvPass=\\x", "Salary.FileCount=8", "[B]",
                                    "Caption=Второй"}));
    Store.Load();
    EXPECT_EQ(Store.Current(), nullptr);
    ASSERT_EQ(Store.Count(), 2);
    EXPECT_ANSI_EQ(Store.Profile(1)->Caption, "Второй");

    // Opening the same file twice leaves it byte for byte.
    const std::string bytes = IniText({"; Профили клиентов", "[Common]", "RecvHost = mail.example.ru ",
                                       "", "[Клиент]", "Caption=\"Клиент 1\"", "Prefix=abc", "RecvUser=u",
                                       "RecvPass=\\kpkwkwkwksdmhr", "Salary.FileCount=3", "x=y=z"});
    WriteBytes(FileName, bytes);
    Store.Open(FileName);
    Store.Select(0);
    Store.Open(FileName);
    Store.Select(0);
    EXPECT_EQ(FileBytes(), bytes);
    EXPECT_ANSI_EQ(Store.Current()->Caption, "Клиент 1");
}

TEST_F(ProfileStoreTest, AFailedSelectOrACloseLeavesNoCurrentProfile)
{
    Open({"[Good]", "Prefix=ABC", "RecvUser=u", "RecvPass=p", "[Плохой]", "Prefix=AB"});
    Store.Select(0);
    ASSERT_NE(Store.Current(), nullptr);
    EXPECT_RAISES(Store.Select(1), Exception,
                  "Профиль Плохой: Параметр Prefix должен состоять из трех латинских букв и/или цифр");
    EXPECT_EQ(Store.Current(), nullptr);

    // Selecting the good profile again works; an index out of range keeps it.
    Store.Select(0);
    EXPECT_RAISES(Store.Select(2), Exception, "Выход индекса за пределы диапазона (2)");
    EXPECT_RAISES(Store.Select(-1), Exception, "Выход индекса за пределы диапазона (-1)");
    EXPECT_EQ(Store.Current(), Store.Profile(0));

    // Close keeps the list, but no key can be read.
    Open({"[P]", "Prefix=ABC", "RecvUser=u", "RecvPass=p"});
    Store.Select(0);
    Store.Close();
    EXPECT_EQ(Store.Current(), nullptr);
    EXPECT_ANSI_EQ(Store.GetFileName(), "");
    ASSERT_EQ(Store.Count(), 1);
    EXPECT_RAISES(Store.Select(0), Exception, "Профиль P: Файл профилей не открыт");
    EXPECT_RAISES(Store.Load(), Exception, "Файл профилей не открыт");
    EXPECT_EQ(Store.Count(), 0);
}

// ---- Key access ----

using KeyAccessTest = ProfileFileTest;

TEST_F(KeyAccessTest, OwnSectionThenCommonThenDefault)
{
    Open({"[Common]", "RecvHost=common.host", "EMail=common@x", "SendUser=common-user", "[P]", "Prefix=ABC",
          "RecvUser=u", "RecvPass=p", "EMail=", "SendUser=\t own \t"});
    TProfile& profile = *Store.Profile(0);
    profile.Load();
    EXPECT_EQ(profile.RecvHost, "common.host");   // absent: Common
    EXPECT_EQ(profile.EMail, "u");                // blank own key: the default, not Common
    EXPECT_EQ(profile.SendUser, "own");           // trimmed
    EXPECT_EQ(profile.ReadParam("Nothing", "def"), "def");
    EXPECT_EQ(profile.ReadParam("Nothing", ""), "");
    EXPECT_RAISES(profile.ReadParam("Nothing"), Exception, "Не задано значение параметра Nothing");

    // A blank required key fails even when Common has it.
    Open({"[Common]", "RecvUser=common", "[P]", "Prefix=ABC", "RecvUser= "});
    EXPECT_RAISES(Store.Select(0), Exception, "Профиль P: Не задано значение параметра RecvUser");
}

TEST_F(KeyAccessTest, Ports)
{
    Open({"[P]", "A=65535", "B=65536", "C=-1", "D=12a", "E=0", "F=99999999999", "Prefix=ABC", "RecvUser=u",
          "RecvPass=p", "RecvPort=12a"});
    const TProfile& profile = *Store.Profile(0);
    EXPECT_EQ(profile.ReadPortParam("A"), 65535);
    EXPECT_EQ(profile.ReadPortParam("E"), 0);
    EXPECT_RAISES(profile.ReadPortParam("B"), Exception, "Неверное значение параметра B");
    EXPECT_RAISES(profile.ReadPortParam("C"), Exception, "Неверное значение параметра C");
    EXPECT_RAISES(profile.ReadPortParam("D"), Exception, "Неверный формат параметра D");
    EXPECT_RAISES(profile.ReadIntParam("F"), Exception, "Неверный формат параметра F");
    EXPECT_EQ(profile.ReadPortParam("G", "110"), 110);
    // Errors of a selected profile carry its name.
    EXPECT_RAISES(Store.Select(0), Exception, "Профиль P: Неверный формат параметра RecvPort");
}

TEST_F(KeyAccessTest, PathsAreAbsoluteFoldersFromTheProgramsFolder)
{
    Open({"[P]", "Rel=data\\Клиент", "Abs=/var/bank", "Slash=/var/bank/", "Up=..\\x\\.\\y", "Drive=A:\\keys",
          "Bare=a:", "Other=D:\\Bank\\", "Lower=c:"});
    const TProfile& profile = *Store.Profile(0);
    EXPECT_ANSI_EQ(profile.ReadPathParam("Rel"), ProgramFolder() + "data/Клиент/");
    EXPECT_EQ(profile.ReadPathParam("Abs"), "/var/bank/");
    EXPECT_EQ(profile.ReadPathParam("Slash"), "/var/bank/");
    EXPECT_ANSI_EQ(profile.ReadPathParam("Up"), ExpandFileName(ProgramFolder() + "../x/y") + "/");
    EXPECT_EQ(profile.ReadPathParam("Drive"), "A:/keys/");
    EXPECT_EQ(profile.ReadPathParam("Bare"), "a:/");
    // Any other drive has no place here: "D:/Bank/" must not become a folder of that name.
    EXPECT_RAISES(profile.ReadPathParam("Other"), Exception, "Неверное значение параметра Other");
    EXPECT_RAISES(profile.ReadPathParam("Lower"), Exception, "Неверное значение параметра Lower");
    EXPECT_ANSI_EQ(profile.ReadPathParam("None", ProgramFolder()), ProgramFolder());
}

TEST_F(KeyAccessTest, WriteGoesToTheOwnSectionAndKeepsTheRest)
{
    Open({"; comment", "[P]", "A=1", "[Common]", "B=2"});
    const TProfile& profile = *Store.Profile(0);
    profile.WriteParam("B", "Значение");
    profile.WriteParam("A", "3");
    EXPECT_EQ(FileBytes(), IniText({"; comment", "[P]", "A=3", "B=Значение", "[Common]", "B=2"}));
}

// The file holds the passwords: a save keeps the mode its owner gave it.
TEST_F(KeyAccessTest, AWriteKeepsTheFilesMode)
{
    Open({"[P]", "A=1"});
    chmod(ToSystemPath(FileName).c_str(), 0640);
    Store.Profile(0)->WriteParam("A", "2");
    struct stat info {};
    ASSERT_EQ(stat(ToSystemPath(FileName).c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
}

TEST(DemoProfilesTest, EveryDemoProfileLoadsAndTheFileStaysAsItIs)
{
    TTempDir dir;
    const AnsiString demo = dir.File("velton.ini");
    const std::string bytes = ReadBytes(SourceDir() + "examples/velton.ini");
    WriteBytes(demo, bytes);
    TProfiles store;
    store.Open(demo);
    ASSERT_GT(store.Count(), 0);
    for (int i = 0; i < store.Count(); ++i)
        store.Select(i);
    EXPECT_EQ(ReadBytes(demo), bytes);
}
