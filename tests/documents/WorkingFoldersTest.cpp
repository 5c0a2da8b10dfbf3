#include "ProfileFiles.h"

#include "documents/Common.h"
#include "platform/Paths.h"

TEST(WorkingFoldersTest, KindsZeroToFourLieInTheCurrentProfilesDataPath)
{
    TTempDir dir;
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

TEST(WorkingFoldersTest, NoSelectedProfileNoDataFolders)
{
    TTempDir dir;
    {
        TSelectedProfile selected(dir.File("velton.ini"), dir.Path());
    }
    EXPECT_EQ(Profiles.Get()->Current(), nullptr);
    EXPECT_RAISES(GetFolder(3, true), Exception, "Профиль не выбран");
    EXPECT_RAISES(CurrentDataPath(), Exception, "Профиль не выбран");
    EXPECT_ANSI_EQ(GetFolder(5, false), ProgramFolder());
}
