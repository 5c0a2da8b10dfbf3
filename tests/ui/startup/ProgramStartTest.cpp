// The program as it starts under the system's locale, whatever that is (CTest runs this
// program under C and under en_US.UTF-8): its file dialogs show sizes and dates in Russian.

#include "../FileDialogLook.h"

#include <QDateTime>
#include <QFileInfo>

#include <clocale>
#include <cstdlib>
#include <string>

TEST(ProgramStart, TheFileDialogsShowSizesAndDatesInRussianWhateverTheSystemsLocale)
{
    // The locale of the environment is in force: it exists on this system.
    if (const char* wanted = std::getenv("LC_ALL")) {
        ASSERT_EQ(std::string(std::setlocale(LC_TIME, nullptr)), wanted)
            << "the locale is not installed here; scripts/setup.sh --tests generates it";
    }

    const TFreshQtSettings settings;
    const TTempDir dir;
    WriteBytes(dir.File("письмо.txt"), std::string(616, 'a'));
    WriteBytes(dir.File("data.bin"), std::string(9360, '\0'));
    LookAtOpenDialog(Dialogs(), dir.Path(), [&](QFileDialog& dialog) {
        const auto files = ListedFiles(dialog, 2);
        ASSERT_EQ(files.size(), 2u);
        EXPECT_ANSI_EQ(files.at("письмо.txt")[0], "616 байт");
        EXPECT_ANSI_EQ(files.at("data.bin")[0], "9,14 кБ");
        const QDateTime modified = QFileInfo(ToQString(dir.File("data.bin"))).lastModified();
        EXPECT_ANSI_EQ(files.at("data.bin")[2], FromQString(modified.toString(QStringLiteral("dd.MM.yyyy hh:mm"))));
    });
}

TEST(ProgramStart, QtsUserFoldersAreTheTestPrograms)
{
    ExpectQtsUserFoldersInTheTestsFolder();
}
