#include "ui/IncomingWizards.h"

#include "documents/Internals.h"
#include "exchange/Ciphers.h"
#include "exchange/Transport.h"
#include "platform/Classes.h"
#include "platform/Exception.h"

// Fields of a message row: the report lines and the failed lines.
namespace {
constexpr int ReportField = 1;
constexpr int FailedField = 2;
}  // namespace

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
    const int shownRow = FWindow.SelectedRow();
    const TStoreRow shown = FWindow.MessageStore().RowContent(shownRow);
    TMessages store;
    int savedRow = shownRow;
    try {
        Receiver.Get()->ProcessStoredFiles(report, failed, [&] {
            UpdateMessageStore(store, FWindow.MessageStoreFile(), [&] {
                savedRow = store.FindRow(shown, shownRow);
                if (savedRow < 0)
                    throw Exception("Сообщение в файле " + FWindow.MessageStoreFile() +
                                    " изменено или удалено другой программой; результат обработки не сохранен");
                store.GoTo(savedRow);
                store.CurRecord()->Set(ReportField, report.Text());
                store.CurRecord()->Set(FailedField, failed.Text());
            });
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
