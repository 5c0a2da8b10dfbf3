// Stores with a second writer: another instance of the program (another profiles file on
// the same working folder) receives, deletes and sends while a window shows an older copy
// of the store, or appends to the journal at the same moment.

#include "StoreRows.h"
#include "exchange/BankContainers.h"
#include "exchange/CipherSupport.h"
#include "exchange/ExchangeProfile.h"

#include "documents/Internals.h"
#include "platform/FileLocks.h"
#include "platform/Paths.h"
#include "platform/SysUtils.h"
#include "support/ScriptedDialogs.h"
#include "ui/ContainerSend.h"
#include "ui/QtText.h"
#include "ui/StoreModels.h"
#include "ui/UFrmMessages.h"
#include "ui/UFrmWizard.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <gmock/gmock.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <set>

namespace {

using ::testing::ElementsAre;

constexpr char BankKey[] = "0123456789ABCDEF";
const AnsiString DeleteQuestion = "Удаленное сообщение восстановить будет нельзя.\nПродолжить?";

class SharedStoresTest : public ::testing::Test {
protected:
    SharedStoresTest() { Gpg.ScriptWithStatus(GoodSignatureStatus(BankKey)); }
    ~SharedStoresTest() override { StoreLockPatience = std::chrono::milliseconds(5000); }

    // Messages with these titles, appended to the store file as another program does;
    // `failed` becomes the failed-attachment lines of each.
    void AddMessages(std::initializer_list<const char*> titles, const AnsiString& failed = AnsiString())
    {
        for (const char* title : titles)
            AppendStoreRow<TMessages>(StoreFile, {AnsiString("Текст: ") + title + "\r\n", "", failed, title,
                                                  "01/03/2024 10:00:00", "01/03/2024 11:00:00"});
    }

    std::vector<AnsiString> StoredTitles() const
    {
        TMessages store;
        store.LoadFromFile(StoreFile);
        std::vector<AnsiString> titles;
        for (int row = 0; row < store.RecordCount(); ++row)
            titles.push_back(store.RowField(row, 3));
        return titles;
    }

    TFrmMessages* OpenWindow()
    {
        auto* window = new TFrmMessages;
        window->show();
        QApplication::processEvents();
        return window;
    }

    AnsiString Shown(const TFrmMessages& window) const { return FromQString(window.LblSubject->text()); }

    // "Обработка" on the selected message, with no file allowed to grow past 16 bytes
    // when the save is to fail.
    void Reprocess(TFrmMessages& window, bool saveFails)
    {
        TFrmWizard wizard;
        FrmWizard = &wizard;
        QTimer::singleShot(0, &wizard, [&] {
            std::optional<TFileSizeLimit> limit;
            if (saveFails)
                limit.emplace(16);
            wizard.BtnNext->click();
            wizard.done(0);
        });
        window.BtnProcessClick();
        FrmWizard = nullptr;
    }

    TTempDir Dir;
    TFakeGpg Gpg{Dir.File("bin/")};
    TExchangeProfile Profile{Dir, {"PgpKeyPath=" + Dir.File("keys/"), AnsiString("BankPgpKey=") + BankKey}};
    TScriptedDialogs Dialogs;
    AnsiString StoreFile = Dir.File("Cache/ABC.MESSAGES");
};

TEST_F(SharedStoresTest, DeleteInAStaleWindowDeletesTheShownMessageAndKeepsWhatAnotherProgramChanged)
{
    AddMessages({"Первое", "Второе", "Третье"});
    TFrmMessages* window = OpenWindow();
    window->SelectItem(0);
    ASSERT_ANSI_EQ(Shown(*window), "Третье");
    // Meanwhile another instance deleted the oldest message and received two.
    {
        TMessages other;
        UpdateStore(other, StoreFile, [&] { other.Delete(); });
    }
    AddMessages({"Четвертое", "Пятое"});

    Dialogs.ExpectMessage(DeleteQuestion, MessageBoxAnswer::Yes);
    window->BtnDelClick();
    EXPECT_THAT(StoredTitles(), ElementsAre("Второе", "Четвертое", "Пятое"));
    // The window shows the file as it is now, on the next older message.
    EXPECT_EQ(window->MessagesModel->rowCount(), 3);
    EXPECT_ANSI_EQ(Shown(*window), "Второе");
    delete window;
}

TEST_F(SharedStoresTest, ReprocessingInAStaleWindowSavesTheRowInTheStoreAsItIsNowAndDeletesTheCopyAfterIt)
{
    ForceDirectories(Dir.File("Reject/"));
    for (const char* name : {"ABC000001.TLB", "ABC000002.TLB"})
        WriteBytes(Dir.File("Reject/") + name, BankContainer({UpdateMember("3.0", "fixed")}));
    AddMessages({"Первое"}, "ABC000001.TLB: Подпись банка не найдена\r\n");
    AddMessages({"Второе"}, "ABC000002.TLB: Подпись банка не найдена\r\n");
    TFrmMessages* window = OpenWindow();
    AddMessages({"Третье", "Четвертое"});   // received by another instance

    // The row cannot be saved: the copy in "Reject/" stays, and so does the row that names it.
    window->SelectItem(0);
    ASSERT_ANSI_EQ(Shown(*window), "Второе");
    const std::string before = ReadBytes(StoreFile);
    Dialogs.ExpectMessage(StoreFile + ": " + SysErrorMessage(EFBIG) + ".");
    Reprocess(*window, true);
    EXPECT_EQ(ReadBytes(StoreFile), before);
    EXPECT_TRUE(FileExists(Dir.File("Reject/ABC000002.TLB")));

    window->SelectItem(window->MessagesModel->Item(1));
    ASSERT_ANSI_EQ(Shown(*window), "Второе");
    Reprocess(*window, false);
    EXPECT_THAT(StoredTitles(), ElementsAre("Первое", "Второе", "Третье", "Четвертое"));
    TMessages stored;
    stored.LoadFromFile(StoreFile);
    EXPECT_ANSI_EQ(stored.RowField(1, 1), "Обновления ПО до версии 3.0\r\n");
    EXPECT_ANSI_EQ(stored.RowField(1, 2), "");
    EXPECT_ANSI_EQ(stored.RowField(0, 2), "ABC000001.TLB: Подпись банка не найдена\r\n");
    EXPECT_FALSE(FileExists(Dir.File("Reject/ABC000002.TLB")));
    EXPECT_ANSI_EQ(Shown(*window), "Второе");
    EXPECT_FALSE(window->BtnProcess->isEnabled());
    delete window;
}

TEST_F(SharedStoresTest, AStoreThatAnotherProgramKeepsLockedIsNamedAndNothingIsWritten)
{
    AddMessages({"Первое", "Второе"});
    TFrmMessages* window = OpenWindow();
    const std::string before = ReadBytes(StoreFile);
    StoreLockPatience = std::chrono::milliseconds(50);
    const TStoreLock held(StoreFile);
    const AnsiString busy = "Файл " + StoreFile +
                            " занят другой программой (другая копия программы меняет его). Повторите действие позже";

    Dialogs.ExpectMessage(DeleteQuestion, MessageBoxAnswer::Yes);
    EXPECT_RAISES(window->BtnDelClick(), Exception, busy);
    EXPECT_EQ(ReadBytes(StoreFile), before);
    EXPECT_EQ(window->MessagesModel->rowCount(), 2);

    // The journal's note of a send waits for its lock the same way.
    ForceDirectories(Dir.File("Sent/"));
    const TStoreLock journal(JournalFileName("ABC"));
    TDelimRecord row(";", true);
    row.Set(0, "ABC000001");
    EXPECT_RAISES(AppendJournalRow(row), Exception,
                  "Файл " + JournalFileName("ABC") +
                      " занят другой программой (другая копия программы меняет его). Повторите действие позже");
    EXPECT_FALSE(FileExists(JournalFileName("ABC")));
    delete window;
}

// Two processes note their sends at the same moment: every row of both stays.
TEST_F(SharedStoresTest, TwoProcessesAppendingToTheJournalAtOnceLoseNoRow)
{
    constexpr int RowsEach = 300;
    ForceDirectories(Dir.File("Sent/"));
    std::vector<pid_t> children;
    for (const char* writer : {"A", "B"}) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            int code = 0;
            try {
                for (int i = 0; i < RowsEach; ++i) {
                    TDelimRecord row(";", true);
                    row.Set(0, writer + IntToStr(i));
                    AppendJournalRow(row);
                }
            } catch (...) {
                code = 1;
            }
            _exit(code);
        }
        children.push_back(child);
    }
    for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    TJournal journal;
    journal.LoadFromFile(JournalFileName("ABC"));
    std::set<AnsiString> names;
    for (int row = 0; row < journal.RecordCount(); ++row)
        names.insert(journal.RowField(row, 0));
    EXPECT_EQ(journal.RecordCount(), 2 * RowsEach);
    EXPECT_EQ(names.size(), 2u * RowsEach);
}

}  // namespace
