// The wizard tasks without a window: a recording view stands in for the wizard window.

#include "ui/Wizard.h"

#include "ui/RecordingView.h"

#include "support/ScriptedDialogs.h"
#include "support/TestSupport.h"

#include <functional>
#include <stdexcept>
#include <vector>

namespace {

constexpr unsigned ErrorBox = MessageBoxFlags::Ok | MessageBoxFlags::IconError;

// A simple task whose work and done page the test chooses.
class TTestWizard : public TSimpleWizard {
public:
    explicit TTestWizard(TRecordingView& view) : TSimpleWizard("Проба"), FView(view) { SetView(&view); }

    std::function<void()> Work = [] {};
    bool BackOnDone = false;
    // The view's busy depth while the work ran, and when the error box was shown.
    int BusyDuringWork = -1;

protected:
    void ShowStart() override { View().ShowMessage("Начало"); }
    void DoWork() override
    {
        BusyDuringWork = FView.BusyDepth;
        View().ShowMessage("Идет работа...");
        Work();
    }
    void ShowDone(bool& backEnabled) override
    {
        EXPECT_FALSE(backEnabled);
        backEnabled = BackOnDone;
        View().ShowMessage("Готово");
    }
    void ShowFailed() override { View().ShowMessage("Ошибка"); }

private:
    TRecordingView& FView;
};


}  // namespace

TEST(SimpleWizard, FailedWorkShowsTheErrorBoxThenTheRetryPageAndRetrySucceeds)
{
    TRecordingView view;
    TTestWizard wizard(view);
    wizard.State = TSimpleWizard::StateFailed;
    wizard.Start();
    EXPECT_EQ(wizard.State, TSimpleWizard::StateStart);
    EXPECT_ANSI_EQ(view.Page, "message:Начало");
    ExpectButtons(view.Buttons, "< Назад", "Далее >", false, true);

    wizard.Work = [] { throw Exception("Нет связи с сервером"); };
    {
        TScriptedDialogs dialogs;
        dialogs.ExpectMessage("Нет связи с сервером.", MessageBoxAnswer::Ok, ErrorBox);
        wizard.Next();
        ASSERT_EQ(dialogs.Asked().size(), 1u);
        EXPECT_ANSI_EQ(dialogs.Asked()[0].Caption, "Экспорт в Вельтон-Банк");
    }
    EXPECT_EQ(wizard.BusyDuringWork, 1);
    EXPECT_EQ(view.BusyDepth, 0);
    EXPECT_ANSI_EQ(view.Page, "message:Ошибка");
    ExpectButtons(view.Buttons, "< Назад", "Повтор", true, true);

    wizard.Work = [] {};
    wizard.Next();
    EXPECT_EQ(view.BusyCount, 2);
    EXPECT_EQ(view.BusyDepth, 0);
    EXPECT_ANSI_EQ(view.Page, "message:Готово");
    ExpectButtons(view.Buttons, "< Назад", "Выход", false, true);

    wizard.Next();
    EXPECT_EQ(view.Closes, 1);
}

// The error box's text is the guard's; what matters here is that the task fails.
TEST(SimpleWizard, AnyThrownObjectFailsTheTaskAndEndsTheBusyState)
{
    TRecordingView view;
    TTestWizard wizard(view);
    wizard.Start();
    TScriptedDialogs dialogs;
    dialogs.ExpectMessage("", MessageBoxAnswer::Ok, ErrorBox);
    wizard.Work = [] { throw 42; };
    wizard.Next();
    EXPECT_EQ(wizard.State, TSimpleWizard::StateFailed);
    EXPECT_EQ(view.BusyDepth, 0);
}

TEST(SimpleWizard, BackReturnsToTheStartPageFromDoneAndFailed)
{
    TRecordingView view;
    TTestWizard wizard(view);
    wizard.BackOnDone = true;
    wizard.Start();
    wizard.Next();
    ExpectButtons(view.Buttons, "< Назад", "Выход", true, true);
    wizard.Back();
    EXPECT_EQ(wizard.State, TSimpleWizard::StateStart);
    EXPECT_ANSI_EQ(view.Page, "message:Начало");

    {
        TScriptedDialogs dialogs;
        dialogs.ExpectMessage("Сбой.", MessageBoxAnswer::Ok, ErrorBox);
        wizard.Work = [] { throw Exception("Сбой"); };
        wizard.Next();
    }
    wizard.Back();
    EXPECT_EQ(wizard.State, TSimpleWizard::StateStart);
    ExpectButtons(view.Buttons, "< Назад", "Далее >", false, true);
}

TEST(SimpleWizard, ATaskOutsideAWindowRaisesInsteadOfCrashing)
{
    TRecordingView view;
    TTestWizard wizard(view);
    wizard.SetView(nullptr);
    EXPECT_RAISES(wizard.Start(), Exception, "Мастер Проба не связан с окном");
}
