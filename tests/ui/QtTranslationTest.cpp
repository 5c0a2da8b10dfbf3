// Qt's own texts in Russian: the catalogue and the locale the program installs at
// start-up, and the program's own numbers, which follow neither.

#include "ui/QtTranslation.h"
#include "ui/QtDialogService.h"
#include "ui/QtText.h"
#include "ui/UFrmWizard.h"

#include "FileDialogLook.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>
#include <QTreeView>

#include <chrono>
#include <functional>
#include <map>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace {

QString CancelText()
{
    const QDialogButtonBox buttons(QDialogButtonBox::Cancel);
    return buttons.button(QDialogButtonBox::Cancel)->text();
}

TEST(QtTranslation, StandardButtonsAndFileDialogsSpeakRussianWhileTheCatalogueIsInstalled)
{
    {
        const std::unique_ptr<QTranslator> translation = InstallQtTranslation(QtTranslationsFolder());
        ASSERT_NE(translation, nullptr) << "Qt's translations (qt6-translations-l10n) are not installed";
        EXPECT_ANSI_EQ(FromQString(CancelText()), "Отмена");
        QFileDialog dialog;
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        EXPECT_ANSI_EQ(FromQString(dialog.labelText(QFileDialog::LookIn)), "Перейти к:");
        EXPECT_ANSI_EQ(FromQString(dialog.labelText(QFileDialog::FileName)), "&Имя файла:");
        EXPECT_ANSI_EQ(FromQString(dialog.labelText(QFileDialog::Accept)), "&Сохранить");
    }
    EXPECT_EQ(CancelText(), QStringLiteral("Cancel"));

    // A folder without Qt's catalogues: English texts, and no error.
    const TTempDir empty;
    EXPECT_EQ(InstallQtTranslation(ToQString(empty.Path())), nullptr);
    EXPECT_EQ(CancelText(), QStringLiteral("Cancel"));
}

}  // namespace

namespace {

// The program's locale for the test's length; the default locale is restored afterwards.
class ProgramLocaleTest : public ::testing::Test {
protected:
    ProgramLocaleTest() { UseProgramLocale(); }
    ~ProgramLocaleTest() override { QLocale::setDefault(Previous); }

    const QLocale Previous;
    const std::unique_ptr<QTranslator> Translation = InstallQtTranslation(QtTranslationsFolder());
};

// Opens the program's open dialog on the folder and runs the check while it is shown.
void LookAtOpenDialog(const AnsiString& folder, const std::function<void(QFileDialog&)>& check)
{
    TQtDialogService service;
    LookAtOpenDialog(service, folder, check);
}

}  // namespace

TEST_F(ProgramLocaleTest, TheFileDialogsShowSizesDatesAndTypesInRussianAndTheirPlacesWhole)
{
    const TTempDir dir;
    WriteBytes(dir.File("письмо.txt"), std::string(616, 'a'));
    WriteBytes(dir.File("data.bin"), std::string(9360, '\0'));
    ASSERT_EQ(mkdir(dir.File("Sent").c_str(), 0700), 0);

    LookAtOpenDialog(dir.Path(), [&](QFileDialog& dialog) {
        const auto files = ListedFiles(dialog, 3);
        ASSERT_EQ(files.size(), 3u);
        EXPECT_ANSI_EQ(files.at("письмо.txt")[0], "616 байт");
        EXPECT_ANSI_EQ(files.at("письмо.txt")[1], "Текстовый документ");
        EXPECT_ANSI_EQ(files.at("data.bin")[0], "9,14 кБ");
        EXPECT_ANSI_EQ(files.at("Sent")[1], "Папка");
        const QDateTime modified = QFileInfo(ToQString(dir.File("data.bin"))).lastModified();
        EXPECT_ANSI_EQ(files.at("data.bin")[2], FromQString(modified.toString(QStringLiteral("dd.MM.yyyy hh:mm"))));

        // "Компьютер" and the other places stand whole in the side bar.
        auto* places = dialog.findChild<QListView*>(QStringLiteral("sidebar"));
        ASSERT_NE(places, nullptr);
        EXPECT_GE(places->viewport()->width(), places->sizeHintForColumn(0));
    });
}

TEST_F(ProgramLocaleTest, TheProgramsOwnNumbersKeepThePointAndNoGroupSeparator)
{
    TFrmWizard wizard;
    wizard.ShowEndPrepare(12345, 0);
    EXPECT_ANSI_EQ(FromQString(wizard.LblCheckCount->text()), "12345");
    wizard.ShowRegistry(1750, 1750.5, 1234567.25);
    EXPECT_ANSI_EQ(FromQString(wizard.LblCount->text()), "1750");
    EXPECT_ANSI_EQ(FromQString(wizard.LblSumKt->text()), "1750.50");
    EXPECT_ANSI_EQ(FromQString(wizard.LblSumDt->text()), "1234567.25");
}

TEST_F(ProgramLocaleTest, TheFileDialogsOpenWithEveryColumnOfTheDetailedListWhole)
{
    const TFreshQtSettings settings;
    const TTempDir dir;
    WriteBytes(dir.File("письмо в банк.txt"), std::string(616, 'a'));
    ASSERT_EQ(mkdir(dir.File("Sent").c_str(), 0700), 0);

    LookAtOpenDialog(dir.Path(), [](QFileDialog& dialog) {
        ASSERT_EQ(ListedFiles(dialog, 2).size(), 2u);
        const QSize screen = dialog.screen()->availableGeometry().size();
        EXPECT_TRUE(dialog.width() <= screen.width() && dialog.height() <= screen.height());
        EXPECT_NE(dialog.minimumSize(), dialog.maximumSize()) << "the dialog stays resizable";

        auto* list = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
        ASSERT_NE(list, nullptr);
        const QHeaderView& header = *list->header();
        ASSERT_EQ(header.count(), 4);
        const QAbstractItemView& cells = *list;
        for (int column = 0; column < header.count(); ++column) {
            const AnsiString caption = FromQString(list->model()->headerData(column, Qt::Horizontal).toString());
            EXPECT_GE(header.sectionSize(column), header.sectionSizeHint(column)) << "caption cut: " << caption;
            EXPECT_GE(header.sectionSize(column), cells.sizeHintForColumn(column)) << "cells cut: " << caption;
        }
        EXPECT_LE(header.sectionViewportPosition(3) + header.sectionSize(3), list->viewport()->width());
    });
}
