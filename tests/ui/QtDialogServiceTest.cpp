#include "ui/QtDialogService.h"
#include "ui/Common.h"
#include "ui/QtText.h"
#include "ui/UFrmAbout.h"
#include "ui/UFrmEditProfile.h"
#include "ui/UFrmEditRecord.h"
#include "ui/UFrmFind.h"
#include "ui/UFrmProfile.h"
#include "ui/UFrmWizard.h"

#include "FileDialogLook.h"
#include "MessageBoxes.h"
#include "support/TestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTimer>

#include <filesystem>
#include <functional>
#include <initializer_list>

namespace {

QStringList ButtonTexts(QMessageBox* box)
{
    QStringList texts;
    for (QAbstractButton* button : box->buttons())
        texts << button->text();
    texts.sort();
    return texts;
}

}  // namespace

TEST(QtDialogService, TheTextIsPlainAndButtonsIconsAndAnswersFollowTheWindowsFlags)
{
    TQtDialogService service;
    WhenBoxShows(
        [](QMessageBox* box) {
            EXPECT_ANSI_EQ(FromQString(box->windowTitle()), "Экспорт в Вельтон-Банк");
            EXPECT_ANSI_EQ(FromQString(box->text()), "Удалить <b>запись</b>?");
            EXPECT_EQ(box->textFormat(), Qt::PlainText);
            EXPECT_EQ(box->icon(), QMessageBox::Question);
            EXPECT_EQ(ButtonTexts(box), (QStringList{ToQString("Да"), ToQString("Нет")}));
        },
        "Нет");
    EXPECT_EQ(service.MessageBox("Удалить <b>запись</b>?", "Экспорт в Вельтон-Банк",
                                 MessageBoxFlags::YesNo | MessageBoxFlags::IconQuestion),
              MessageBoxAnswer::No);

    WhenBoxShows(
        [](QMessageBox* box) {
            EXPECT_EQ(box->icon(), QMessageBox::Warning);
            EXPECT_EQ(box->buttons().size(), 3);
        },
        "Отмена");
    EXPECT_EQ(service.MessageBox("?", "t", MessageBoxFlags::YesNoCancel | MessageBoxFlags::IconWarning),
              MessageBoxAnswer::Cancel);
    WhenBoxShows([](QMessageBox* box) { EXPECT_EQ(box->icon(), QMessageBox::Critical); }, "OK");
    EXPECT_EQ(service.MessageBox("Ошибка.", "t", MessageBoxFlags::Ok | MessageBoxFlags::IconError),
              MessageBoxAnswer::Ok);

    // A question whose safe answer is Cancel makes it the default button.
    WhenBoxShows([](QMessageBox* box) { EXPECT_EQ(static_cast<QAbstractButton*>(box->defaultButton()), box->button(QMessageBox::Cancel)); }, "OK");
    EXPECT_EQ(service.MessageBox("?", "t", MessageBoxFlags::OkCancel | MessageBoxFlags::DefaultButton2),
              MessageBoxAnswer::Ok);
    // One Enter on a question whose "Да" throws work away answers "Нет".
    QTimer::singleShot(0, [] {
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(QApplication::activeModalWidget(), &enter);
    });
    EXPECT_EQ(service.MessageBox("?", "t", MessageBoxFlags::YesNo | MessageBoxFlags::DefaultButton2),
              MessageBoxAnswer::No);

    // Closing the box answers Cancel where there is one.
    QTimer::singleShot(0, [] { QApplication::activeModalWidget()->close(); });
    EXPECT_EQ(service.MessageBox("?", "t", MessageBoxFlags::OkCancel), MessageBoxAnswer::Cancel);
}

TEST(QtDialogService, WindowsFiltersBecomeQtNameFilters)
{
    EXPECT_ANSI_EQ(QtNameFilters("Текст (*.txt)|*.txt|Все файлы (*.*)|*.*"), "Текст (*.txt);;Все файлы (*.*)");
    EXPECT_ANSI_EQ(QtNameFilters("Таблицы|*.dbf;*.DBF"), "Таблицы (*.dbf *.DBF)");
    EXPECT_ANSI_EQ(QtNameFilters(""), "");
}

namespace {

// A title bar with the close box only: Qt adds no button of its own choice.
bool HasCloseBoxOnly(const QWidget& dialog)
{
    const Qt::WindowFlags flags = dialog.windowFlags();
    return (flags & Qt::CustomizeWindowHint) && (flags & Qt::WindowCloseButtonHint) &&
           !(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
}

}  // namespace

TEST(QtDialogService, ABoxIsWideEnoughForItsCaptionInATitleBar)
{
    TQtDialogService service;
    WhenBoxShows(
        [](QMessageBox* box) {
            QFont bold = box->font();
            bold.setBold(true);
            // The window manager's icon and buttons take room beside the caption.
            EXPECT_GE(box->width(), QFontMetrics(bold).horizontalAdvance(box->windowTitle()) + 100);
        },
        "OK");
    service.MessageBox("Обновлений ПО нет.", "Экспорт в Вельтон-Банк", MessageBoxFlags::Ok);
}

TEST(QtDialogService, AHyphenatedWordIsNeverBrokenAcrossTwoLinesOfTheBox)
{
    TQtDialogService service;
    WhenBoxShows(
        [](QMessageBox* box) {
            EXPECT_TRUE(box->text().contains(ToQString("Вельтон") + QChar(0x2011) + ToQString("Банк")));
            EXPECT_TRUE(box->text().contains(QStringLiteral("Updates-5.4.exe")));
            EXPECT_TRUE(box->text().contains(QStringLiteral(" - ")));
        },
        "OK");
    service.MessageBox("программа \"Экспорт в Вельтон-Банк\" - Updates-5.4.exe", "t", MessageBoxFlags::Ok);
}

TEST(QtDialogService, EveryModalDialogHasACloseBoxOnly)
{
    TQtDialogService service;
    WhenBoxShows([](QMessageBox* box) { EXPECT_TRUE(HasCloseBoxOnly(*box)); }, "OK");
    service.MessageBox("?", "t", MessageBoxFlags::Ok);

    for (bool folder : {false, true}) {
        QTimer::singleShot(0, [] {
            QWidget* dialog = QApplication::activeModalWidget();
            ASSERT_NE(qobject_cast<QFileDialog*>(dialog), nullptr);
            EXPECT_TRUE(HasCloseBoxOnly(*dialog));
            dialog->close();
        });
        if (folder)
            service.BrowseFolder("Обзор папок", AnsiString());
        else
            service.OpenFileName(TFileDialogRequest());
    }

    TFrmWizard wizard;
    TFrmProfile chooser;
    TFrmFind find;
    TFrmEditRecord editor;
    TFrmEditProfile profileEditor;
    TFrmAbout about;
    for (const QWidget* dialog : std::initializer_list<const QWidget*>{&wizard, &chooser, &find, &editor, &profileEditor, &about})
        EXPECT_TRUE(HasCloseBoxOnly(*dialog)) << dialog->metaObject()->className();
    // A hint that is not about buttons stays as the dialog set it.
    QDialog onTop(nullptr, Qt::WindowStaysOnTopHint);
    SetDialogBorder(&onTop);
    EXPECT_TRUE(HasCloseBoxOnly(onTop));
    EXPECT_TRUE(onTop.windowFlags() & Qt::WindowStaysOnTopHint);
    // A window manager that offers to maximise whatever can be resized finds nothing to
    // offer on a dialog of a fixed size.
    for (const QWidget* dialog : std::initializer_list<const QWidget*>{&find, &profileEditor})
        EXPECT_EQ(dialog->minimumSize(), dialog->maximumSize()) << dialog->metaObject()->className();
}

// The file dialog keeps its state in Qt's own settings: a test writes them into a
// temporary folder, never into the home folder.
TEST(QtDialogService, QtsOwnSettingsStayInATemporaryFolder)
{
    const QSettings settings(QSettings::UserScope, QStringLiteral("QtProject"));
    const std::string temporary = std::filesystem::temp_directory_path().string() + "/";
    EXPECT_EQ(settings.fileName().toStdString().rfind(temporary, 0), 0u) << settings.fileName().toStdString();
}

TEST(QtDialogService, QtsUserFoldersAreTheTestPrograms)
{
    ExpectQtsUserFoldersInTheTestsFolder();
}
