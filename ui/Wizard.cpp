#include "ui/Wizard.h"

#include "platform/Exception.h"
#include "ui/Guard.h"

#include <exception>

void TWizard::LinkClick(const AnsiString& /*name*/) {}

TWizardView& TWizard::View() const
{
    if (!FView)
        throw Exception("Мастер " + Caption + " не связан с окном");
    return *FView;
}

void TSimpleWizard::Start()
{
    State = StateStart;
    Refresh();
}

void TSimpleWizard::Next()
{
    if (State == StateDone)
        View().CloseWizard();
    else
        RunWork();
    Refresh();
}

void TSimpleWizard::Back()
{
    if (State == StateDone || State == StateFailed)
        State = StateStart;
    Refresh();
}

void TSimpleWizard::RunWork()
{
    std::exception_ptr failure;
    {
        TBusyScope busy(View());
        try {
            DoWork();
            State = StateDone;
        } catch (...) {
            failure = std::current_exception();
            State = StateFailed;
        }
    }
    // The error box comes after the busy state has ended, so that it shows the normal
    // cursor and the window can be closed once the box is gone.
    if (failure)
        Guarded([&] { std::rethrow_exception(failure); });
}

void TSimpleWizard::Refresh()
{
    TWizardView& view = View();
    switch (State) {
    case StateStart:
        ShowStart();
        view.SetButtons(WizardBackCaption, WizardNextCaption, false, true);
        break;
    case StateDone: {
        bool backEnabled = false;
        ShowDone(backEnabled);
        view.SetButtons(WizardBackCaption, WizardExitCaption, backEnabled, true);
        break;
    }
    case StateFailed:
        ShowFailed();
        view.SetButtons(WizardBackCaption, WizardRetryCaption, true, true);
        break;
    }
}
