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

bool RunBusyStep(TWizardView& view, const std::function<void()>& step)
{
    std::exception_ptr failure;
    {
        TBusyScope busy(view);
        try {
            step();
        } catch (...) {
            failure = std::current_exception();
        }
    }
    if (failure)
        Guarded([&] { std::rethrow_exception(failure); });
    return !failure;
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
        State = RunBusyStep(View(), [this] { DoWork(); }) ? StateDone : StateFailed;
    Refresh();
}

void TSimpleWizard::Back()
{
    if (State == StateDone || State == StateFailed)
        State = StateStart;
    Refresh();
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
