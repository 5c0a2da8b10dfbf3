#include "ui/ExportWizard.h"

#include "documents/Common.h"
#include "documents/Datafiles.h"
#include "documents/Profiles.h"
#include "exchange/Ciphers.h"
#include "platform/SysUtils.h"
#include "ui/ExportDocument.h"
#include "ui/ExportReports.h"
#include "ui/ExportSend.h"

namespace {

struct TPage {
    bool BackEnabled;
    const char* NextCaption;
    bool NextEnabled;
};

// The buttons of each page, by state.
constexpr TPage Pages[] = {
    {false, WizardNextCaption, true},    // start
    {true, WizardNextCaption, true},     // checked
    {true, WizardRetryCaption, true},    // check failed
    {true, WizardNextCaption, false},    // nothing to send
    {true, WizardNextCaption, true},     // registry
    {true, WizardNextCaption, true},     // comment
    {false, WizardExitCaption, true},    // sent
    {true, WizardRetryCaption, true},    // send failed
};

}  // namespace

TExportWizard::TExportWizard(TExportDocument& document)
    : TWizard("Экспорт файла"), FDocument(document), FOutFile(NewExportTable())
{
}

TExportWizard::~TExportWizard() = default;

TExportProfile& TExportWizard::Kind() const
{
    return FDocument.ExportKind();
}

void TExportWizard::Start()
{
    if (FFirstStart) {
        View().SetFileComment(Kind().Comment);
        View().SetPrintRegistryEnabled(IsSalaryKind(Kind()));
        State = StateStart;
        FFirstStart = false;
    }
    ShowPage();
}

void TExportWizard::Next()
{
    switch (State) {
    case StateStart:
    case StateCheckFailed:
        CheckRecords();
        break;
    case StateChecked:
        State = Totals.ExportCount != 0 ? StateRegistry : StateEmpty;
        break;
    case StateRegistry:
        State = StateComment;
        break;
    case StateComment:
        Kind().SetComment(View().FileComment());
        SendFile();
        break;
    case StateSendFailed:
        SendFile();
        break;
    case StateSent:
        View().CloseWizard();
        break;
    default:
        break;
    }
    ShowPage();
}

void TExportWizard::Back()
{
    switch (State) {
    case StateChecked:
    case StateCheckFailed:
        State = StateStart;
        break;
    case StateEmpty:
    case StateRegistry:
        State = StateChecked;
        break;
    case StateComment:
        State = StateRegistry;
        break;
    case StateSendFailed:
        State = StateComment;
        break;
    default:
        break;
    }
    ShowPage();
}

void TExportWizard::LinkClick(const AnsiString& name)
{
    if (SameText(name, "ViewErrors")) {
        FDocument.GotoFirstError();
        View().CloseWizard();
    } else if (SameText(name, "PrintRegistry")) {
        PrintExportRegistry(Kind(), *FOutFile, Totals);
    }
}

void TExportWizard::CheckRecords()
{
    const bool checked = RunBusyStep(View(), [this] {
        View().ShowMessage("Идет проверка файла...");
        CheckExportRecords(Kind(), FDocument.DataFile(), FDocument.Marks(), *FOutFile, Totals);
    });
    // The marks set by the pass stay, also by a pass that failed half-way.
    FDocument.MarksChanged();
    State = checked ? StateChecked : StateCheckFailed;
}

void TExportWizard::SendFile()
{
    const std::optional<TSentFile> sent =
        RunSendStep(View(), [this] { return SendExportFile(Kind(), *FOutFile, Totals); });
    State = sent ? StateSent : StateSendFailed;
    if (sent)
        BaseName = sent->BaseName;
}

void TExportWizard::ShowPage()
{
    TWizardView& view = View();
    switch (State) {
    case StateStart:
        view.ShowMessage("Сейчас будет выполнена проверка и подготовка файла к отправке в банк.\n\n" +
                         Cipher.Get()->GetPrompt());
        break;
    case StateChecked:
        view.ShowEndPrepare(Totals.CheckedCount, Totals.ErrorCount);
        break;
    case StateCheckFailed:
        view.ShowMessage("Произошла ошибка при подготовке файла.");
        break;
    case StateEmpty:
        view.ShowMessage("Итоговый файл не содержит записей и не может быть отправлен в банк.");
        break;
    case StateRegistry:
        view.ShowRegistry(Totals.ExportCount, Totals.CreditSum, Totals.DebitSum);
        break;
    case StateComment:
        view.ShowFileComment();
        break;
    case StateSent:
        view.ShowMessage("Файл успешно отправлен в банк.\nИмя файла: " + BaseName);
        break;
    case StateSendFailed:
        view.ShowMessage("Произошла ошибка при отправке файла.");
        break;
    }
    const TPage& page = Pages[State];
    view.SetButtons(WizardBackCaption, page.NextCaption, page.BackEnabled, page.NextEnabled);
}
