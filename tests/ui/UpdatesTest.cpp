// The self-update: which file of the "Updates/" folder is offered, and a start that fails.

#include "documents/Common.h"
#include "documents/Profiles.h"
#include "platform/Exception.h"
#include "platform/Paths.h"
#include "ui/UFrmMain.h"
#include "ui/Updates.h"

#include "support/ScriptedDialogs.h"
#include "support/TestSupport.h"

#include <QAction>
#include <QCoreApplication>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

TEST(SelfUpdate, OffersTheNewestRegularUpdateFileOfTheFolder)
{
    TTempDir dir;
    const AnsiString folder = dir.File("Updates/");
    ForceDirectories(folder);
    for (const char* name : {"Updates-5.9.exe", "UPDATES-5.10.EXE", "Updates5.11.exe", "Updates-5.12.txt",
                             "readme.exe"})
        WriteBytes(folder + name, "x");
    // A folder named like an update, a link that leads out of the folder, a dangling link.
    ForceDirectories(folder + "Updates-7.0.exe");
    WriteBytes(dir.File("outside.exe"), "x");
    ASSERT_EQ(symlink(ToSystemPath(dir.File("outside.exe")).c_str(), ToSystemPath(folder + "Updates-8.0.exe").c_str()),
              0);
    ASSERT_EQ(symlink("gone.exe", ToSystemPath(folder + "Updates-6.0.exe").c_str()), 0);

    std::optional<TUpdateFile> update = FindUpdate(folder, VersionToInt("5.3"));
    ASSERT_TRUE(update);
    EXPECT_ANSI_EQ(update->Version, "5.10");
    EXPECT_ANSI_EQ(update->Path, folder + "UPDATES-5.10.EXE");
    // Only a strictly newer version counts.
    EXPECT_FALSE(FindUpdate(folder, VersionToInt("5.10")));

    // A link to a file inside the folder is an update like the file itself; its target is
    // what starts.
    ASSERT_EQ(symlink("Updates-5.9.exe", ToSystemPath(folder + "Updates-5.11.exe").c_str()), 0);
    update = FindUpdate(folder, VersionToInt("5.3"));
    ASSERT_TRUE(update);
    EXPECT_ANSI_EQ(update->Version, "5.11");
    EXPECT_ANSI_EQ(update->Path, folder + "Updates-5.9.exe");

    EXPECT_FALSE(FindUpdate(dir.File("none/"), 0));

    // A version beyond 16-bit numbers is none; a high major number is still offered.
    WriteBytes(folder + "Updates-5.65536.exe", "x");
    WriteBytes(folder + "Updates- 9.0.exe", "x");
    EXPECT_ANSI_EQ(FindUpdate(folder, VersionToInt("5.3"))->Version, "5.11");
    WriteBytes(folder + "Updates-40000.1.exe", "x");
    EXPECT_ANSI_EQ(FindUpdate(folder, VersionToInt("5.3"))->Version, "40000.1");
}

TEST(SelfUpdate, AnUpdateThatCannotStartIsReportedAndTheProgramStaysOpen)
{
    TTempDir dir;
    const AnsiString ini = dir.File("profiles.ini");
    WriteBytes(ini, "[Only]\r\nPrefix=ABC\r\nRecvUser=only\r\nRecvPass=one\r\nDataPath=" + dir.Path() + "\r\n");
    const AnsiString program = dir.File("velton-export");
    TFrmMain main(TStartupParams{program, {ToSystemPath(ini)}});
    FrmMain = &main;
    main.show();
    QCoreApplication::processEvents();
    ASSERT_NE(Profiles.Get()->Current(), nullptr);

    {
        // No folder, no update.
        TScriptedDialogs dialogs;
        dialogs.ExpectMessage("Обновлений ПО нет.", MessageBoxAnswer::Ok,
                              MessageBoxFlags::Ok | MessageBoxFlags::IconInformation);
        main.ItmUpdates->trigger();
    }
    // A file that is no program: the system's error, and nothing is deleted.
    const AnsiString update = dir.File("Updates/Updates-9.0.exe");
    ForceDirectories(dir.File("Updates"));
    WriteBytes(update, "not a program");
    {
        TScriptedDialogs dialogs;
        dialogs.ExpectMessage("Имеются обновления программного обеспечения до версии 9.0.\nВо время процедуры "
                              "обновления программа \"Экспорт в Вельтон-Банк\" будет закрыта.\nЗапустить обновление ПО?",
                              MessageBoxAnswer::Ok);
        dialogs.ExpectMessage(update + ": " + SysErrorMessage(ENOEXEC) + ".", MessageBoxAnswer::Ok,
                              MessageBoxFlags::Ok | MessageBoxFlags::IconError);
        main.ItmUpdates->trigger();
    }
    EXPECT_TRUE(main.isVisible());
    EXPECT_TRUE(FileExists(update));
    EXPECT_TRUE(FileExists(ini));
    ASSERT_NE(Profiles.Get()->Current(), nullptr);
    {
        // Cancel does nothing at all.
        TScriptedDialogs dialogs;
        dialogs.ExpectMessage(UpdateQuestion("9.0"), MessageBoxAnswer::Cancel);
        main.ItmUpdates->trigger();
    }
    EXPECT_TRUE(main.isVisible());
    FrmMain = nullptr;
    Profiles.Reset();
}

// An update that another user may change is never offered and nothing runs: not in an
// "Updates/" folder that its group may write, not a file that its group may write, not
// one that another user owns. The message names the file. A file and folder of this
// user's alone are offered again.
TEST(SelfUpdate, AnUpdateThatAnotherUserMayChangeIsNotOffered)
{
    TTempDir dir;
    const AnsiString ini = dir.File("profiles.ini");
    WriteBytes(ini, "[Only]\r\nPrefix=ABC\r\nRecvUser=only\r\nRecvPass=one\r\nDataPath=" + dir.Path() + "\r\n");
    TFrmMain main(TStartupParams{dir.File("velton-export"), {ToSystemPath(ini)}});
    FrmMain = &main;
    main.show();
    QCoreApplication::processEvents();
    ASSERT_NE(Profiles.Get()->Current(), nullptr);

    const AnsiString folder = dir.File("Updates/");
    const AnsiString update = folder + "Updates-9.0.exe";
    ForceDirectories(folder);
    WriteBytes(update, "not a program");
    const AnsiString refusal =
        "Файл обновления " + update + " может изменить другой пользователь. Обновление не запущено.";
    const auto expectRefusal = [&] {
        TScriptedDialogs dialogs;
        dialogs.ExpectMessage(refusal, MessageBoxAnswer::Ok, MessageBoxFlags::Ok | MessageBoxFlags::IconError);
        main.ItmUpdates->trigger();
    };
    ASSERT_EQ(chmod(ToSystemPath(folder).c_str(), 0770), 0);
    expectRefusal();
    ASSERT_EQ(chmod(ToSystemPath(folder).c_str(), 0700), 0);
    ASSERT_EQ(chmod(ToSystemPath(update).c_str(), 0664), 0);
    expectRefusal();
    ASSERT_EQ(chmod(ToSystemPath(update).c_str(), 0644), 0);
    if (geteuid() == 0) {
        ASSERT_EQ(chown(ToSystemPath(update).c_str(), 65534, 65534), 0);
        expectRefusal();
        ASSERT_EQ(chown(ToSystemPath(update).c_str(), 0, 0), 0);
    }
    {
        TScriptedDialogs dialogs;
        dialogs.ExpectMessage(UpdateQuestion("9.0"), MessageBoxAnswer::Cancel);
        main.ItmUpdates->trigger();
    }
    EXPECT_TRUE(main.isVisible());
    EXPECT_EQ(PermissionsOf(update), 0644u);
    FrmMain = nullptr;
    Profiles.Reset();
}

TEST(SelfUpdate, AnUpdateSwappedForALinkAfterTheChoiceIsRefused)
{
    TTempDir dir;
    const AnsiString folder = dir.File("Updates/");
    ForceDirectories(folder);
    WriteBytes(folder + "Updates-9.0.exe", "#!/bin/sh\n");
    const AnsiString outside = dir.File("outside.sh");
    WriteBytes(outside, "#!/bin/sh\n");
    ASSERT_EQ(chmod(ToSystemPath(outside).c_str(), 0644), 0);

    const std::optional<TUpdateFile> update = FindUpdate(folder, VersionToInt("5.3"));
    ASSERT_TRUE(update);
    ASSERT_EQ(unlink(ToSystemPath(update->Path).c_str()), 0);
    ASSERT_EQ(symlink(ToSystemPath(outside).c_str(), ToSystemPath(update->Path).c_str()), 0);

    EXPECT_RAISES(StartUpdate(update->Path), Exception,
                  "Обновление ПО не запущено: файл " + update->Path + " заменен ссылкой.");
    struct stat info {};
    ASSERT_EQ(stat(ToSystemPath(outside).c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0644u);
}
