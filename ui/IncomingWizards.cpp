#include "ui/IncomingWizards.h"

#include "documents/Internals.h"
#include "exchange/Ciphers.h"
#include "exchange/Transport.h"
#include "platform/Classes.h"
#include "platform/Exception.h"

// ---- TReceiveWizard ----

TReceiveWizard::TReceiveWizard() : TSimpleWizard("Прием входящих сообщений") {}

void TReceiveWizard::ShowStart()
{
    View().ShowMessage("Сейчас будет выполнен прием входящих сообщений.\n\n" + Cipher.Get()->GetPrompt());
}

void TReceiveWizard::DoWork()
{
    View().ShowMessage("Идет прием входящих сообщений...");
    FRefreshPending = false;
    Receiver.Get()->Receive();
    FRefreshPending = true;
}

void TReceiveWizard::ShowDone(bool& /*backEnabled*/)
{
    TReceiver& receiver = *Receiver.Get();
    const AnsiString summary = receiver.SummaryText();
    View().ShowMessage(summary.empty() ? AnsiString("Прием закончен, входящих сообщений нет.")
                                       : "Прием закончен.\n\n" + summary);
    // The done page is shown again when the window closes: the windows reload once.
    if (FRefreshPending) {
        FRefreshPending = false;
        receiver.RefreshForms();
    }
}

void TReceiveWizard::ShowFailed()
{
    View().ShowMessage("Произошла ошибка во время приема.");
}

// ---- TProcessWizard ----

TProcessWizard::TProcessWizard(TSelectedMessage& window)
    : TSimpleWizard("Повторная обработка ошибочных вложений"), FWindow(window)
{
}

int TSelectedMessage::ChangeSelectedInFile(const std::function<void(TMessages& store, int row)>& change,
                                           const AnsiString& consequence)
{
    const int shownRow = SelectedRow();
    const TStoreRow shown = MessageStore().RowContent(shownRow);
    int row = -1;
    TMessages store;
    UpdateMessageStore(store, MessageStoreFile(), [&] {
        row = store.FindRow(shown, shownRow);
        if (row >= 0)
            change(store, row);
    });
    // A message changed since the window read it is not the one the user acted on.
    if (row < 0)
        throw Exception("Сообщение в файле " + MessageStoreFile() + " изменено или удалено другой программой; " +
                        consequence);
    return row;
}

void TProcessWizard::ShowStart()
{
    View().ShowMessage("Сейчас будет выполнена повторная обработка ошибочных вложений.\n\n" +
                       Cipher.Get()->GetPrompt());
}

void TProcessWizard::DoWork()
{
    View().ShowMessage("Идет повторная обработка ошибочных вложений...");
    TStringList& report = FWindow.ReportLines();
    TStringList& failed = FWindow.FailedLines();
    int savedRow = -1;
    try {
        Receiver.Get()->ProcessStoredFiles(report, failed, [&] {
            savedRow = FWindow.ChangeSelectedInFile(
                [&](TMessages& store, int row) {
                    store.GoTo(row);
                    store.CurRecord()->Set(TMessages::ReportField, report.Text());
                    store.CurRecord()->Set(TMessages::FailedField, failed.Text());
                },
                "результат обработки не сохранен");
        });
    } catch (...) {
        // The file keeps the old row; the window shows it instead of the unsaved one.
        try {
            FWindow.ReloadMessages();
        } catch (...) {
            // The first error is the one to show.
        }
        throw;
    }
    FWindow.ReloadAt(savedRow);
}

void TProcessWizard::ShowDone(bool& backEnabled)
{
    View().ShowMessage("Обработка закончена.\n\n" + Receiver.Get()->SummaryText());
    backEnabled = FWindow.FailedLines().Count() > 0;
    FWindow.ShowMessageAgain();
}

void TProcessWizard::ShowFailed()
{
    View().ShowMessage("Произошла ошибка при повторной обработке вложений.");
}
