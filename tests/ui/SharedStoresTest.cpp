// Stores with a second writer: another instance of the program (another profiles file on
// the same working folder) receives, deletes and sends while a window shows an older copy
// of the store, or appends to the journal at the same moment.

#include "StoreRows.h"
#include "exchange/BankContainers.h"
#include "exchange/CipherSupport.h"
#include "exchange/ExchangeProfile.h"

#include "documents/Internals.h"
#include "exchange/MailMessage.h"
#include "exchange/ReceivedMail.h"
#include "exchange/Transport.h"
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
#include <functional>
#include <optional>
#include <set>
#include <thread>

namespace {

using ::testing::ElementsAre;

constexpr char BankKey[] = "0123456789ABCDEF";
const AnsiString DeleteQuestion = "Удаленное сообщение восстановить будет нельзя.\nПродолжить?";
const AnsiString FailedCopyLine = "ABC000001.TLB: Подпись банка не найдена\r\n";

struct TTestReceiver : TReceiver {
    void Receive() override {}
    using TReceiver::BeginRun;   // what every receiver does first
};

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

    // Notes the send of the file in the journal as a send does, or in the journal file
    // named otherwise.
    static void NoteSend(const AnsiString& name, const AnsiString& journalFile = AnsiString())
    {
        TDelimRecord row(";", true);
        row.Set(0, name);
        if (journalFile.empty()) {
            AppendJournalRow(row);
            return;
        }
        TJournal journal;
        UpdateStore(journal, journalFile, [&] { journal.Append(&row); });
    }

    // Runs each writer in a child process of its own, all at the same moment; each must
    // end without an error.
    static void RunInChildren(const std::vector<std::function<void()>>& writers)
    {
        std::vector<pid_t> children;
        for (const std::function<void()>& writer : writers) {
            const pid_t child = fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                int code = 0;
                try {
                    writer();
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
    }

    // The journal holds the rows of two writers of RowsEach rows each, every one once.
    static void ExpectEveryRowOfBothWriters()
    {
        TJournal journal;
        journal.LoadFromFile(JournalFileName("ABC"));
        std::set<AnsiString> names;
        for (int row = 0; row < journal.RecordCount(); ++row)
            names.insert(journal.RowField(row, 0));
        EXPECT_EQ(journal.RecordCount(), 2 * RowsEach);
        EXPECT_EQ(names.size(), 2u * RowsEach);
    }

    static constexpr int RowsEach = 300;

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

// A message that stayed on the server (its deletion failed) counts as recorded also after
// "Обработка" processed its attachment again: the next receive neither stores it twice nor
// processes it again.
TEST_F(SharedStoresTest, AMessageLeftOnTheServerIsStillRecordedAfterItsAttachmentWasProcessedAgain)
{
    const TMailContent content{"bank@example.test", "client@example.test", "ABC", "Выписка", "ABC000001.TLB",
                               BankContainer({UpdateMember("3.0", "fixed")})};
    const std::string bytes = ComposeMail(content, TMailFrame{"Tue, 05 Mar 2024 09:07:02 +0300", "boundary"});
    TTestReceiver receiver;
    const auto receive = [&] {
        TReceivedMail mail = ReadMail(bytes);
        const std::unique_ptr<TReceiveRun> run = receiver.BeginRun();
        ASSERT_TRUE(run->Process(mail));
        run->Save();
    };
    Gpg.ScriptWithStatus("");
    Dialogs.ExpectMessage(
        "Ошибка обработки файла ABC000001.TLB:\nПодпись банка не найдена либо некорректна.\nФайл пропущен.");
    receive();
    Gpg.ScriptWithStatus(GoodSignatureStatus(BankKey));
    TFrmMessages* window = OpenWindow();
    window->SelectItem(0);
    Reprocess(*window, false);
    ASSERT_FALSE(FileExists(Dir.File("Reject/ABC000001.TLB")));

    receive();
    EXPECT_THAT(StoredTitles(), ElementsAre("Выписка"));
    EXPECT_EQ(receiver.Messages, 1);
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
    ForceDirectories(Dir.File("Sent/"));
    const auto writer = [](const char* name) {
        return [name] {
            for (int i = 0; i < RowsEach; ++i)
                NoteSend(name + IntToStr(i));
        };
    };
    RunInChildren({writer("A"), writer("B")});
    ExpectEveryRowOfBothWriters();
}

// A writer that finds the lock held waits for it: when the other writer lets it go within
// the lock's patience, the row is saved.
TEST_F(SharedStoresTest, AWriterThatWaitsAMomentForTheStoresLockGetsItAndSaves)
{
    ForceDirectories(Dir.File("Sent/"));
    int held[2];
    ASSERT_EQ(pipe(held), 0);
    const pid_t holder = fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        {
            const TStoreLock lock(JournalFileName("ABC"));
            (void)!write(held[1], "+", 1);
            std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        }
        _exit(0);
    }
    close(held[1]);
    char signal = 0;
    ASSERT_EQ(read(held[0], &signal, 1), 1);
    close(held[0]);

    NoteSend("ABC000001");
    int status = 0;
    ASSERT_EQ(waitpid(holder, &status, 0), holder);
    TJournal journal;
    journal.LoadFromFile(JournalFileName("ABC"));
    ASSERT_EQ(journal.RecordCount(), 1);
    EXPECT_ANSI_EQ(journal.RowField(0, 0), "ABC000001");
}

// One writer reaches the journal through a link to its folder, the other through the
// folder's real path: both take the one lock of the store, and every row of both stays.
TEST_F(SharedStoresTest, TwoWritersThroughALinkedFolderAndTheRealPathLoseNoRow)
{
    ForceDirectories(Dir.File("Sent/"));
    ASSERT_EQ(symlink(ToSystemPath(Dir.File("Sent")).c_str(), ToSystemPath(Dir.File("Linked")).c_str()), 0);
    RunInChildren({[] {
                       for (int i = 0; i < RowsEach; ++i)
                           NoteSend("A" + IntToStr(i));
                   },
                   [this] {
                       for (int i = 0; i < RowsEach; ++i)
                           NoteSend("B" + IntToStr(i), Dir.File("Linked/ABC.JOURNAL"));
                   }});
    ExpectEveryRowOfBothWriters();
}

// Another program re-processed the shown message: the same line, another report. A stale
// window's "Удалить" and "Обработка" are refused, and nothing is written.
TEST_F(SharedStoresTest, AStaleWindowNeitherDeletesNorReprocessesAMessageThatAnotherProgramReprocessed)
{
    ForceDirectories(Dir.File("Reject/"));
    WriteBytes(Dir.File("Reject/ABC000001.TLB"), BankContainer({UpdateMember("3.0", "fixed")}));
    AddMessages({"Первое"}, FailedCopyLine);
    TFrmMessages* deleting = OpenWindow();
    TFrmMessages* reprocessing = OpenWindow();
    {
        TMessages other;
        UpdateStore(other, StoreFile, [&] {
            other.GoTo(0);
            other.CurRecord()->Set(1, "Справочник банков\r\n");
        });
    }
    const std::string before = ReadBytes(StoreFile);
    const AnsiString changed = "Сообщение в файле " + StoreFile + " изменено или удалено другой программой; ";

    Dialogs.ExpectMessage(DeleteQuestion, MessageBoxAnswer::Yes);
    EXPECT_RAISES(deleting->BtnDelClick(), Exception, changed + "оно не удалено");
    EXPECT_EQ(ReadBytes(StoreFile), before);

    Dialogs.ExpectMessage(changed + "результат обработки не сохранен.");
    Reprocess(*reprocessing, false);
    EXPECT_EQ(ReadBytes(StoreFile), before);
    delete deleting;
    delete reprocessing;
}

// "Обработка" of a message that another program deleted meanwhile says so and keeps the
// copy in "Reject/": no row names it any more, but nothing the user chose has happened.
TEST_F(SharedStoresTest, ReprocessingAMessageThatAnotherProgramDeletedKeepsTheRejectedCopy)
{
    ForceDirectories(Dir.File("Reject/"));
    const std::string copy = BankContainer({UpdateMember("3.0", "fixed")});
    WriteBytes(Dir.File("Reject/ABC000001.TLB"), copy);
    AddMessages({"Первое"}, FailedCopyLine);
    TFrmMessages* window = OpenWindow();
    {
        TMessages other;
        UpdateStore(other, StoreFile, [&] { other.Delete(); });
    }

    Dialogs.ExpectMessage("Сообщение в файле " + StoreFile +
                          " изменено или удалено другой программой; результат обработки не сохранен.");
    Reprocess(*window, false);
    EXPECT_EQ(ReadBytes(Dir.File("Reject/ABC000001.TLB")), copy);
    delete window;
}

}  // namespace
