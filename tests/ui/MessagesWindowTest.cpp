// The messages window over a store on disk, without servers: the list, the split between
// the list and the message, and deleting, also when the store cannot be saved.

#include "exchange/ExchangeProfile.h"

#include "documents/Internals.h"
#include "platform/Paths.h"
#include "platform/SysUtils.h"
#include "support/ScriptedDialogs.h"
#include "ui/QtText.h"
#include "ui/StoreModels.h"
#include "ui/UFrmMessages.h"
#include "ui/UFrmWizard.h"

#include <QAction>
#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QSplitter>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTimer>

#include <gtest/gtest.h>

#include <cerrno>

namespace {

void PressKey(QWidget* widget, int key, Qt::KeyboardModifiers modifiers)
{
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(widget, &press);
}

class MessagesWindowTest : public ::testing::Test {
protected:
    // Messages "Первое" (oldest) to "Третье": text, report lines, failed lines, title, dates.
    void WriteStore()
    {
        TMessages store;
        store.LoadFromFile(StoreFile);
        for (const char* title : {"Первое", "Второе", "Третье"}) {
            store.Append();
            store.CurRecord()->Set(0, AnsiString("Текст: ") + title + "\r\n");
            store.CurRecord()->Set(1, "Эталонный список\r\n");
            store.CurRecord()->Set(3, title);
            store.CurRecord()->Set(4, "01/03/2024 10:00:00");
            store.CurRecord()->Set(5, "01/03/2024 11:00:00");
        }
        store.SaveToFile(AnsiString());
    }

    TFrmMessages* OpenWindow()
    {
        auto* window = new TFrmMessages;
        window->show();
        QApplication::processEvents();
        return window;
    }

    TTempDir Dir;
    TExchangeProfile Profile{Dir, {}};
    TScriptedDialogs Dialogs;
    AnsiString StoreFile = Dir.File("Cache/ABC.MESSAGES");
};

TEST(SplitProportion, KeepsTheListsShareAndWaitsForAKnownHolderHeight)
{
    TSplitProportion proportion;
    EXPECT_FALSE(proportion.ListHeight(400));
    proportion.Remember(0, 151);
    EXPECT_FALSE(proportion.ListHeight(400));
    proportion.Remember(328, 151);
    EXPECT_EQ(proportion.ListHeight(400), 184);   // 400 * 151 / 328, multiplied first
}

TEST_F(MessagesWindowTest, AMaximisedWindowKeepsTheListsShareOfTheHeight)
{
    QMdiArea area;
    area.resize(1000, 800);
    area.show();
    auto* window = new TFrmMessages;
    QMdiSubWindow* frame = area.addSubWindow(window);
    frame->resize(620, 400);
    window->show();
    QApplication::processEvents();
    const auto listShare = [&] {
        const QList<int> sizes = window->HorzSplitter->sizes();
        return double(sizes[0]) / (sizes[0] + sizes[1]);
    };
    const double before = listShare();
    EXPECT_NEAR(before, 0.5, 0.05);
    frame->showMaximized();
    QApplication::processEvents();
    EXPECT_NEAR(listShare(), before, 0.03);
}

TEST_F(MessagesWindowTest, AnEmptyStoreLeavesOnlyReceiveEnabled)
{
    TFrmMessages* window = OpenWindow();
    EXPECT_EQ(window->MessagesModel->rowCount(), 0);
    EXPECT_TRUE(window->LblSubject->text().isEmpty());
    EXPECT_TRUE(window->BtnReceive->isEnabled());
    for (QAction* button : {window->BtnSave, window->BtnPrint, window->BtnFind, window->BtnDel, window->BtnProcess})
        EXPECT_FALSE(button->isEnabled());
    delete window;
}

TEST_F(MessagesWindowTest, DeleteMovesToTheNextOlderMessageAndAFailedSaveKeepsTheFile)
{
    WriteStore();
    TFrmMessages* window = OpenWindow();
    ASSERT_EQ(window->MessagesModel->rowCount(), 3);
    EXPECT_ANSI_EQ(FromQString(window->LblSubject->text()), "Третье");
    window->SelectItem(1);
    EXPECT_ANSI_EQ(FromQString(window->LblSubject->text()), "Второе");

    // Delete with Ctrl held does nothing; No keeps the message.
    PressKey(window->LstMessages, Qt::Key_Delete, Qt::ControlModifier);
    Dialogs.ExpectMessage("Удаленное сообщение восстановить будет нельзя.\nПродолжить?", MessageBoxAnswer::No, 0x134);
    PressKey(window->LstMessages, Qt::Key_Delete, Qt::NoModifier);
    EXPECT_EQ(window->MessagesModel->rowCount(), 3);

    const std::string before = ReadBytes(StoreFile);
    {
        const TFileSizeLimit limit(16);
        Dialogs.ExpectMessage("Удаленное сообщение восстановить будет нельзя.\nПродолжить?", MessageBoxAnswer::Yes);
        EXPECT_THROW(window->BtnDelClick(), Exception);
    }
    EXPECT_EQ(ReadBytes(StoreFile), before);
    ASSERT_EQ(window->MessagesModel->rowCount(), 3);
    EXPECT_EQ(window->SelectedItem(), 1);

    Dialogs.ExpectMessage("Удаленное сообщение восстановить будет нельзя.\nПродолжить?", MessageBoxAnswer::Yes);
    window->BtnDelClick();
    ASSERT_EQ(window->MessagesModel->rowCount(), 2);
    EXPECT_ANSI_EQ(FromQString(window->LblSubject->text()), "Первое");
    TMessages stored;
    stored.LoadFromFile(StoreFile);
    ASSERT_EQ(stored.RecordCount(), 2);
    EXPECT_ANSI_EQ(stored.RowField(1, 3), "Третье");

    // Deleting the oldest selects the new oldest one.
    Dialogs.ExpectMessage("Удаленное сообщение восстановить будет нельзя.\nПродолжить?", MessageBoxAnswer::Yes);
    window->BtnDelClick();
    EXPECT_ANSI_EQ(FromQString(window->LblSubject->text()), "Третье");
    delete window;
}

TEST_F(MessagesWindowTest, AReprocessingWhoseSaveFailsLeavesTheFileAndShowsIt)
{
    WriteStore();
    {
        TMessages store;
        store.LoadFromFile(StoreFile);
        store.GoTo(2);
        store.CurRecord()->Set(2, "a line that names no file\r\n");
        store.SaveToFile(AnsiString());
    }
    const std::string before = ReadBytes(StoreFile);
    TFrmWizard wizard;
    FrmWizard = &wizard;
    TFrmMessages* window = OpenWindow();
    ASSERT_TRUE(window->BtnProcess->isEnabled());
    window->FailedLines().Add("a line added in memory");

    Dialogs.ExpectMessage(StoreFile + ": " + SysErrorMessage(EFBIG) + ".");
    QTimer::singleShot(0, &wizard, [&] {
        const TFileSizeLimit limit(16);
        wizard.BtnNext->click();
        EXPECT_ANSI_EQ(FromQString(wizard.LblMessage->text()), "Произошла ошибка при повторной обработке вложений.");
        wizard.done(0);
    });
    window->BtnProcessClick();
    FrmWizard = nullptr;
    EXPECT_EQ(ReadBytes(StoreFile), before);
    EXPECT_EQ(window->FailedLines().Count(), 1);
    EXPECT_TRUE(window->BtnProcess->isEnabled());
    delete window;
}

// A damaged store is named with what to do, shows no rows, and is left as it is.
TEST_F(MessagesWindowTest, ADamagedStoreIsNamedAndLeftAsItIs)
{
    WriteStore();
    const std::string damaged = ReadBytes(StoreFile).substr(0, 40);
    WriteBytes(StoreFile, damaged);
    Dialogs.ExpectMessage("Файл сообщений " + StoreFile + " поврежден: Ошибка распаковки. Переместите его в другую "
                          "папку, чтобы снова принимать сообщения; сообщения остаются на сервере.");
    TFrmMessages* window = OpenWindow();
    EXPECT_EQ(window->MessagesModel->rowCount(), 0);
    EXPECT_EQ(ReadBytes(StoreFile), damaged);
    delete window;
}

TEST_F(MessagesWindowTest, AReloadKeepsTheSelectedMessageBelowNewOnes)
{
    WriteStore();
    TFrmMessages* window = OpenWindow();
    window->SelectItem(2);
    WriteStore();   // three more, appended after them
    window->ReloadMessages();
    ASSERT_EQ(window->MessagesModel->rowCount(), 6);
    EXPECT_EQ(window->SelectedItem(), 5);
    EXPECT_ANSI_EQ(FromQString(window->LblSubject->text()), "Первое");
    delete window;
}

}  // namespace
