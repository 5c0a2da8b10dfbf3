// The incoming side and the send journal as a user meets them, against the real servers:
// the bank's messages, sealed with the real gpg, are fetched from the mailbox by the
// receive wizard of the messages window, reload the open list windows and are
// re-processed there; the journal window sends an archived container again through the SMTP server.

#include "../StoreRows.h"
#include "BankSide.h"

#include "exchange/Transport.h"
#include "platform/Paths.h"
#include "ui/QtText.h"
#include "ui/ReloadLink.h"
#include "ui/StoreModels.h"
#include "ui/UFrmJournal.h"
#include "ui/UFrmMessages.h"
#include "ui/UFrmWizard.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTimer>

#include <functional>

namespace {

// Runs the wizard command; `onDone` looks at the page the work ended on, then "Выход".
void RunWizard(TFrmWizard& wizard, const std::function<void()>& command, const std::function<void()>& onDone)
{
    QTimer::singleShot(0, &wizard, [&] {
        wizard.BtnNext->click();   // "Далее >": the work
        onDone();
        wizard.BtnNext->click();   // "Выход"
        if (wizard.isVisible()) {
            ADD_FAILURE() << "the wizard window stayed open";
            wizard.done(-1);
        }
    });
    command();
}

AnsiString PageText(const TFrmWizard& wizard)
{
    return FromQString(wizard.LblMessage->text());
}

// The mail with a second attachment added after the first.
std::string WithAttachment(const std::string& mail, const std::string& name, const std::string& bytes)
{
    const size_t end = mail.rfind("--\r\n", mail.size() - 3);
    const size_t boundaryStart = mail.rfind("\r\n--", end) + 2;
    const std::string boundary = mail.substr(boundaryStart, end - boundaryStart);
    const std::string part = boundary + "\r\nContent-Type: application/octet-stream; name=\"" + name +
                             "\"\r\nContent-Transfer-Encoding: base64\r\nContent-Disposition: attachment; filename=\"" +
                             name + "\"\r\n\r\n" + EncodeBase64(bytes) + "\r\n";
    return mail.substr(0, boundaryStart) + part + mail.substr(boundaryStart);
}

class IncomingWindowsTest : public TBankExchangeTest {
protected:
    void SetUp() override { FrmWizard = &Wizard; }
    void TearDown() override { FrmWizard = nullptr; }

    TScriptedDialogs Dialogs;
    TFrmWizard Wizard;
};

TEST_F(IncomingWindowsTest, ReceiveFromTheMessagesWindowThenReprocessTheBrokenAttachment)
{
    SelectMailboxProfile();
    Mail.PutMessage(WithAttachment(BankMail("Выписка", "ABC000001.TLB",
                                            Sealed({EtalonMember("ABC", "SAL", "40817810000000000001;Иванов\r\n"),
                                                    ReplyMember("ABC000007N.TXT", "40817810000000000002;Петров\r\n")})),
                                   "ABC000002.TLB", "not a container"));
    MailFromBank("Уведомление", "ABC000003.TLB", {EtalonMember("ABC", "NNS", "40817810000000000003\r\n")});

    // The reference-list and reply-list windows are open.
    int etalonReloads = 0;
    int replyReloads = 0;
    const TReloadLink etalonWindow(StoreWindows.ReloadEtalons, [&] { ++etalonReloads; });
    const TReloadLink replyWindow(StoreWindows.ReloadReplies, [&] { ++replyReloads; });
    auto* window = new TFrmMessages;
    window->show();
    QApplication::processEvents();
    EXPECT_EQ(window->MessagesModel->rowCount(), 0);

    Dialogs.ExpectMessage("Ошибка обработки файла ABC000002.TLB:\ngpg: no valid OpenPGP data found.\n"
                          "gpg: decrypt_message failed: Unknown system error.\nФайл пропущен.");
    RunWizard(Wizard, [&] { window->BtnReceiveClick(); }, [&] {
        EXPECT_ANSI_EQ(PageText(Wizard), "Прием закончен.\n\nПринято сообщений: 2\nЭталонных списков: 2\n"
                                         "Списков добавленных: 1\nОшибочных файлов: 1");
    });

    EXPECT_TRUE(Mail.Messages().empty());
    EXPECT_EQ(etalonReloads, 1);
    EXPECT_EQ(replyReloads, 1);
    const TStoreModel& list = *window->MessagesModel;
    ASSERT_EQ(list.rowCount(), 2);
    EXPECT_ANSI_EQ(list.Text(0, 0), "Уведомление");
    EXPECT_ANSI_EQ(list.Text(0, 1), "1");
    EXPECT_ANSI_EQ(list.Text(1, 0), "Выписка");
    EXPECT_ANSI_EQ(list.Text(1, 1), "2 / 1");
    EXPECT_EQ(window->SelectedItem(), 0);
    EXPECT_FALSE(window->BtnProcess->isEnabled());

    window->SelectItem(1);
    const QAbstractItemModel& attaches = *window->AttachesModel;
    ASSERT_EQ(attaches.rowCount(), 3);
    EXPECT_FALSE(attaches.index(1, 0).data(Qt::ForegroundRole).isValid());
    EXPECT_EQ(attaches.index(2, 0).data(Qt::ForegroundRole).value<QColor>(), QColor(128, 0, 0));
    EXPECT_TRUE(window->BtnProcess->isEnabled());

    // The bank's good container takes the broken one's place.
    WriteBytes(Dir.File("Reject/ABC000002.TLB"), Sealed({ReplyMember("ABC000009N.TXT", "added")}));
    RunWizard(Wizard, [&] { window->BtnProcessClick(); }, [&] {
        EXPECT_ANSI_EQ(PageText(Wizard), "Обработка закончена.\n\nСписков добавленных: 1");
        EXPECT_FALSE(Wizard.BtnBack->isEnabled());
    });
    EXPECT_ANSI_EQ(list.Text(1, 1), "3");
    EXPECT_EQ(attaches.rowCount(), 3);
    EXPECT_FALSE(attaches.index(2, 0).data(Qt::ForegroundRole).isValid());
    EXPECT_FALSE(window->BtnProcess->isEnabled());
    EXPECT_FALSE(FileExists(Dir.File("Reject/ABC000002.TLB")));
    TMessages stored;
    stored.LoadFromFile(Dir.File("Cache/ABC.MESSAGES"));
    EXPECT_ANSI_EQ(stored.RowField(0, 2), "");
    EXPECT_EQ(etalonReloads, 1);   // re-processing reloads the messages window only
    delete window;
}

// Journal rows as the senders write them: base name, kind, records, sums, comment, date,
// container file.
void AddJournalRow(const AnsiString& fileName, std::initializer_list<AnsiString> fields)
{
    AppendStoreRow<TJournal>(fileName, fields);
}

TEST_F(IncomingWindowsTest, JournalResendsTheArchivedContainerByteForByte)
{
    SelectMailboxProfile();
    const AnsiString journalFile = Dir.File("Sent/ABC.JOURNAL");
    AddJournalRow(journalFile, {"ABC000001", "salary", "2", "100.00", "0.00", "Зарплата", "01/03/2024 10:00:00",
                                "ABC000001.TLB"});
    AddJournalRow(journalFile, {"ABC000002", "ARBITRARY", "0", "", "", "Письмо", "02/03/2024 11:00:00", ""});
    const std::string container = RandomBytes(5000, 7);
    WriteBytes(Dir.File("Sent/ABC000001.TLB"), container);

    auto* window = new TFrmJournal;
    window->show();
    QApplication::processEvents();
    const TStoreModel& list = *window->JournalModel;
    ASSERT_EQ(list.rowCount(), 2);
    EXPECT_ANSI_EQ(list.Text(0, 1), "Произвольный файл");
    EXPECT_ANSI_EQ(list.Text(1, 1), "Список на зачисление");
    EXPECT_EQ(window->SelectedItem(), 0);

    // A send elsewhere: the new row comes on top, the selected row stays selected.
    AddJournalRow(journalFile, {"ABC000003", "NewCli", "1", "", "", "", "03/03/2024 12:00:00", "ABC000003N.TLB"});
    window->Reload();
    ASSERT_EQ(list.rowCount(), 3);
    EXPECT_ANSI_EQ(list.Text(0, 0), "ABC000003");
    EXPECT_EQ(window->SelectedItem(), 1);

    // No sends nothing; a container missing from the archive fails before the send.
    Dialogs.ExpectMessage("Отправить файл повторно?", MessageBoxAnswer::No, 0x124);
    window->BtnRepeatClick();
    Dialogs.ExpectMessage("Отправить файл повторно?", MessageBoxAnswer::Yes, 0x124);
    EXPECT_RAISES_PREFIX(window->BtnRepeatClick(), Exception, "Не удается открыть файл");
    EXPECT_TRUE(Mail.Messages().empty());
    EXPECT_EQ(list.rowCount(), 3);

    window->SelectItem(2);
    Dialogs.ExpectMessage("Отправить файл повторно?", MessageBoxAnswer::Yes, 0x124);
    Dialogs.ExpectMessage("Файл успешно отправлен в банк.", MessageBoxAnswer::Ok, 0x40);
    window->BtnRepeatClick();

    ASSERT_EQ(Mail.Messages().size(), 1u) << Mail.Logs();
    const std::string sent = Mail.Messages()[0].Bytes;
    EXPECT_NE(sent.find(SubjectLine("ABC", "Список на зачисление (ABC000001) - повторно") + "\r\n"),
              std::string::npos);
    const TReceivedMail received = ReadMail(sent);
    ASSERT_EQ(received.Parts.size(), 2u);
    EXPECT_ANSI_EQ(received.Parts[1].FileName, "ABC000001.TLB");
    EXPECT_TRUE(received.Parts[1].Content == container);

    ASSERT_EQ(list.rowCount(), 4);
    EXPECT_EQ(window->SelectedItem(), 0);
    TJournal journal;
    journal.LoadFromFile(journalFile);
    ASSERT_EQ(journal.RecordCount(), 4);
    for (int field = 0; field < 8; ++field) {
        if (field != 6) {
            EXPECT_ANSI_EQ(journal.RowField(3, field), journal.RowField(0, field));
        }
    }
    EXPECT_NE(journal.RowField(3, 6), journal.RowField(0, 6));
    delete window;
}

// A row written before the journal kept the container's file name is sent again from the
// archived container named by its base name and ".TLB".
TEST_F(IncomingWindowsTest, JournalResendsARowWithoutAFileNameFromTheBaseNamesContainer)
{
    SelectMailProfile({});
    AddJournalRow(Dir.File("Sent/ABC.JOURNAL"), {"ABC000005N", "NewCli", "1", "", "", "", "05/03/2024 09:00:00", ""});
    const std::string container = RandomBytes(300, 5);
    WriteBytes(Dir.File("Sent/ABC000005N.TLB"), container);
    const auto window = std::make_unique<TFrmJournal>();
    window->show();
    QApplication::processEvents();

    Dialogs.ExpectMessage("Отправить файл повторно?", MessageBoxAnswer::Yes, 0x124);
    Dialogs.ExpectMessage("Файл успешно отправлен в банк.", MessageBoxAnswer::Ok, 0x40);
    window->BtnRepeatClick();
    ASSERT_EQ(Mail.Messages().size(), 1u) << Mail.Logs();
    EXPECT_TRUE(Attachment(Mail.Messages()[0].Bytes, "ABC000005N.TLB") == container);
}

}  // namespace
