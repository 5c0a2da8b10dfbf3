// The reference-list and reply-list windows meet a real receive: the bank's containers,
// sealed with the real gpg, are fetched by POP3 from the mailbox, and the receiver's
// refresh reloads the windows that are open.

#include "exchange/BankContainers.h"
#include "exchange/ExchangeProfile.h"
#include "exchange/GpgHome.h"

#include "exchange/MailMessage.h"
#include "exchange/Transport.h"
#include "support/ScriptedDialogs.h"
#include "support/TestServers.h"
#include "ui/QtText.h"
#include "ui/RecordGrid.h"
#include "ui/StoreModels.h"
#include "ui/ListGrids.h"
#include "ui/UFrmEtalons.h"
#include "ui/UFrmReplyFiles.h"

#include <QApplication>
#include <QMenu>

#include <gmock/gmock.h>

#include <memory>

namespace {

class ListWindowsReceiveTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { FKeys = std::make_unique<TGpgParties>(); }
    static void TearDownTestSuite() { FKeys.reset(); }

    void MailFromBank(const AnsiString& fileName, const std::vector<std::string>& members)
    {
        const std::string container = FKeys->SealedByBank(BankArchive(members));
        const TMailContent content{"bank@example.test", "client@example.test", "ABC", "Выписка", fileName, container};
        Mail.PutMessage(ComposeMail(content, NewMailFrame()));
    }

    void Receive()
    {
        Receiver.Get()->Receive();
        Receiver.Get()->RefreshForms();
    }

    TTempDir Dir;
    TMailServer Mail{"client", "secret"};
    TScriptedDialogs Dialogs;
    static inline std::unique_ptr<TGpgParties> FKeys;
};

TEST_F(ListWindowsReceiveTest, AReceiveReloadsTheOpenListWindows)
{
    Mail.Start();
    const TExchangeProfile profile(
        Dir, {"RecvType=POP3", "RecvHost=127.0.0.1", "RecvPort=" + std::to_string(Mail.Ports().Pop3),
              "BankEMail=bank@example.test", "PgpKeyPath=" + FKeys->Client.Path, "BankPgpKey=" + FKeys->Bank.KeyId(),
              "Salary.EtalonTypes=SAL,NNS"});
    TFrmEtalons etalons;
    TFrmReplyFiles replies(&FrmNewCliReply, profile.Profile().ReplyProfiles.At(0));
    etalons.show();
    replies.show();
    QApplication::processEvents();
    EXPECT_TRUE(etalons.MnuEtalonType->actions().isEmpty());
    EXPECT_EQ(replies.FilesModel->rowCount(), 0);

    MailFromBank("ABC000001.TLB", {EtalonMember("ABC", "SAL", "ПЕТРОВ П;000000000002\r\nИВАНОВ И;000000000001\r\n"),
                                   ReplyMember("ABC000007N.TXT", "Иванов И;4500 123456;40817810000000000001;Добавлен\r\n")});
    Receive();
    EXPECT_ANSI_EQ(FromQString(etalons.windowTitle()),
                   AnsiString(EtalonTypeInfos[0].Title) + " (c" + "формирован 01/03/2024)");
    EXPECT_ANSI_EQ(etalons.Grid->Model()->Text(0, 0), "ИВАНОВ И");
    ASSERT_EQ(replies.FilesModel->rowCount(), 1);
    EXPECT_ANSI_EQ(replies.Grid->Model()->Text(0, 3), "Добавлен");

    // A second receive: a newer list of the other type and a second reply file on top,
    // the list shown and the reply file selected stay.
    MailFromBank("ABC000002.TLB", {EtalonMember("ABC", "NNS", "СИДОРОВ С;40817810000000000003\r\n", "02/03/2024"),
                                   ReplyMember("ABC000008N.TXT", "Петров П;4500 654321;;Отказ\r\n")});
    Receive();
    EXPECT_TRUE(Mail.Messages().empty());
    EXPECT_EQ(etalons.MnuEtalonType->actions().size(), 2);
    EXPECT_EQ(etalons.ShownType(), 0);
    ASSERT_EQ(replies.FilesModel->rowCount(), 2);
    EXPECT_ANSI_EQ(replies.FilesModel->Text(0, 0), "ABC000008N.TXT");
    EXPECT_EQ(replies.SelectedRow(), 0);
    EXPECT_ANSI_EQ(replies.Grid->Model()->Text(0, 0), "Иванов И");
}

}  // namespace
