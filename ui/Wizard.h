#pragma once
// The step-by-step tasks that drive every exchange with the bank. A task talks to its
// window only through TWizardView, so that a task can run in a test without a display;
// the wizard window (UFrmWizard) is the view of the running program.

#include "platform/AnsiString.h"

#include <functional>
#include <utility>

inline constexpr char WizardBackCaption[] = "< Назад";
inline constexpr char WizardNextCaption[] = "Далее >";
inline constexpr char WizardExitCaption[] = "Выход";
inline constexpr char WizardRetryCaption[] = "Повтор";

// The page operations of the wizard window.
class TWizardView {
public:
    virtual ~TWizardView() = default;

    // A message page; trailing blanks and line breaks of the text are dropped.
    virtual void ShowMessage(const AnsiString& text) = 0;
    // The end of a check: records checked, errors found ("Просмотр ошибок" only with errors).
    virtual void ShowEndPrepare(int checkedCount, int errorCount) = 0;
    // The registry to be sent: record count and the credit and debit sums (a sum of at
    // most 0.005 is hidden with its caption).
    virtual void ShowRegistry(int count, double creditSum, double debitSum) = 0;
    // The page with the comment of the file, and the page with the file name.
    virtual void ShowFileComment() = 0;
    virtual void ShowFileName() = 0;
    // The registry page's "Печать реестра" button.
    virtual void SetPrintRegistryEnabled(bool enabled) = 0;

    // The texts of the two edit pages.
    virtual AnsiString FileComment() const = 0;
    virtual void SetFileComment(const AnsiString& text) = 0;
    virtual AnsiString FileName() const = 0;
    virtual void SetFileName(const AnsiString& text) = 0;

    virtual void SetButtons(const AnsiString& backCaption, const AnsiString& nextCaption, bool backEnabled,
                            bool nextEnabled) = 0;

    // While busy both buttons are disabled, the window cannot be closed and the hourglass
    // shows. EndBusy leaves the buttons to the next page and must not throw.
    virtual void BeginBusy() = 0;
    virtual void EndBusy() noexcept = 0;

    // Closes the window; the run of the task ends.
    virtual void CloseWizard() = 0;
};

// Keeps the view busy for the length of a scope, whatever is thrown inside it.
class TBusyScope {
public:
    explicit TBusyScope(TWizardView& view) : FView(view) { FView.BeginBusy(); }
    ~TBusyScope() { FView.EndBusy(); }

    TBusyScope(const TBusyScope&) = delete;
    TBusyScope& operator=(const TBusyScope&) = delete;

private:
    TWizardView& FView;
};

// Runs a long step of a task in the view's busy state. Whatever the step throws is shown
// in the standard error box once the busy state has ended (so that the box shows the
// normal cursor and the window can be closed once it is gone); the result says whether
// the step succeeded.
bool RunBusyStep(TWizardView& view, const std::function<void()>& step);

// A task run page by page in the wizard window. The command that runs it creates it,
// hands it to the window and deletes it after the window has closed.
class TWizard {
public:
    explicit TWizard(AnsiString caption) : Caption(std::move(caption)) {}
    virtual ~TWizard() = default;

    TWizard(const TWizard&) = delete;
    TWizard& operator=(const TWizard&) = delete;

    // Called by the window: when it is shown, by its two buttons and by its two link
    // buttons ("ViewErrors", "PrintRegistry").
    virtual void Start() = 0;
    virtual void Next() = 0;
    virtual void Back() = 0;
    virtual void LinkClick(const AnsiString& name);

    // The window the task runs in; set before Start.
    void SetView(TWizardView* view) { FView = view; }
    // The window; raises an Exception when the task runs in none.
    TWizardView& View() const;

    // The window's caption while the task runs.
    AnsiString Caption;

private:
    TWizardView* FView = nullptr;
};

// A task of three states: the start page, the work (on "Далее >"), and the page of its
// result. A failed work is shown in the standard error box and can be run again with
// "Повтор" or taken back to the start page; a finished one closes with "Выход".
class TSimpleWizard : public TWizard {
public:
    enum TState { StateStart = 0, StateDone = 1, StateFailed = 2 };

    using TWizard::TWizard;

    void Start() override;
    void Next() override;
    void Back() override;

    int State = StateStart;

protected:
    virtual void ShowStart() = 0;
    // The work; it may show its progress on the view. Whatever it throws fails the task.
    virtual void DoWork() = 0;
    // The done page; backEnabled is false on entry and enables "< Назад" when set.
    virtual void ShowDone(bool& backEnabled) = 0;
    virtual void ShowFailed() = 0;

    // Shows the page of the current state with its buttons.
    void Refresh();
};
