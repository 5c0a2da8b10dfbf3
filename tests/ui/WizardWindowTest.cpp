// The wizard window under the offscreen platform: pages, buttons and the busy state.

#include "ExportDocuments.h"
#include "exchange/ExchangeProfile.h"

#include "platform/Exception.h"
#include "ui/ExportWizard.h"
#include "ui/QtText.h"
#include "ui/UFrmWizard.h"

#include "support/ScriptedDialogs.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <string>
#include <vector>

namespace {

void PressEscape(QWidget* window)
{
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(window, &press);
}

// A task whose work tries to close its own window in every way a user could.
class TClosingWizard : public TSimpleWizard {
public:
    TClosingWizard(TFrmWizard& window) : TSimpleWizard("Отправка запроса"), FWindow(window) {}

    bool StillOpenWhileBusy = false;
    bool HourglassWhileBusy = false;

protected:
    void ShowStart() override { View().ShowMessage("Нажмите \"Далее\".\n\n"); }
    void DoWork() override
    {
        PressEscape(&FWindow);
        FWindow.close();
        StillOpenWhileBusy = FWindow.isVisible() && FWindow.Busy() && !FWindow.BtnNext->isEnabled() &&
                             !FWindow.BtnBack->isEnabled();
        HourglassWhileBusy = QApplication::overrideCursor() &&
                             QApplication::overrideCursor()->shape() == Qt::WaitCursor;
        throw Exception("Нет связи с сервером");
    }
    void ShowDone(bool&) override { View().ShowMessage("Готово"); }
    void ShowFailed() override { View().ShowMessage("Произошла ошибка при отправке запроса."); }

private:
    TFrmWizard& FWindow;
};

// Runs `step` once the window is shown modally; a window still open afterwards is closed
// so that a failing test cannot hang.
int ExecuteWith(TFrmWizard& window, TWizard* wizard, std::function<void()> step)
{
    QTimer::singleShot(0, &window, [&window, step] {
        step();
        if (window.isVisible()) {
            ADD_FAILURE() << "the wizard window stayed open";
            window.EndBusy();
            window.done(-1);
        }
    });
    return window.Execute(wizard);
}

}  // namespace

TEST(WizardWindow, FailedWorkCannotCloseTheWindowWhileBusyAndOffersRetry)
{
    TFrmWizard window;
    TClosingWizard wizard(window);
    TScriptedDialogs dialogs;
    dialogs.ExpectMessage("Нет связи с сервером.", MessageBoxAnswer::Ok, MessageBoxFlags::IconError);

    ExecuteWith(window, &wizard, [&] {
        EXPECT_ANSI_EQ(FromQString(window.windowTitle()), "Отправка запроса");
        EXPECT_EQ(window.Panel(), window.PnlMessage);
        EXPECT_ANSI_EQ(FromQString(window.LblMessage->text()), "Нажмите \"Далее\".");
        EXPECT_FALSE(window.BtnBack->isEnabled());

        window.BtnNext->click();

        EXPECT_TRUE(wizard.StillOpenWhileBusy);
        EXPECT_TRUE(wizard.HourglassWhileBusy);
        EXPECT_FALSE(window.Busy());
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        EXPECT_ANSI_EQ(FromQString(window.BtnNext->text()), "Повтор");
        EXPECT_TRUE(window.BtnNext->isEnabled() && window.BtnBack->isEnabled());
        EXPECT_ANSI_EQ(FromQString(window.LblMessage->text()), "Произошла ошибка при отправке запроса.");

        // Not busy any more: Esc closes the failed page.
        PressEscape(&window);
        EXPECT_FALSE(window.isVisible());
    });
}

TEST(WizardWindow, PagesShowTheirValues)
{
    TFrmWizard window;
    window.show();

    window.ShowMessage("Идет отправка файла... \r\n \n");
    EXPECT_ANSI_EQ(FromQString(window.LblMessage->text()), "Идет отправка файла...");

    window.ShowEndPrepare(12, 0);
    EXPECT_FALSE(window.PnlMessage->isVisible());
    EXPECT_EQ(window.LblCheckCount->text(), QStringLiteral("12"));
    EXPECT_FALSE(window.BtnViewErrors->isEnabled());
    window.ShowEndPrepare(12, 3);
    EXPECT_TRUE(window.BtnViewErrors->isEnabled());

    // A sum of 0.005 counts as none.
    window.ShowRegistry(7, 1750.5, 0.005);
    EXPECT_EQ(window.LblCount->text(), QStringLiteral("7"));
    EXPECT_EQ(window.LblSumKt->text(), QStringLiteral("1750.50"));
    EXPECT_TRUE(window.LblSumKtCaption->isVisible());
    EXPECT_FALSE(window.LblSumDtCaption->isVisible());
    window.ShowRegistry(7, 0, 0.006);
    EXPECT_FALSE(window.LblSumKt->isVisible());
    EXPECT_TRUE(window.LblSumDt->isVisible());
    EXPECT_EQ(window.LblSumDt->text(), QStringLiteral("0.01"));

    window.close();
}

TEST(WizardWindow, TheFileButtonPutsTheChosenFileIntoTheEdit)
{
    TFrmWizard window;
    window.SetFileName("/data/old.txt");
    {
        TScriptedDialogs dialogs;
        dialogs.ExpectOpenFile(AnsiString("/data/Ведомость.txt"));
        window.BtnFileName->click();
        ASSERT_EQ(dialogs.Asked().size(), 1u);
        EXPECT_ANSI_EQ(dialogs.Asked()[0].Request.FileName, "/data/old.txt");
        EXPECT_ANSI_EQ(dialogs.Asked()[0].Request.Filter, "Все файлы (*.*)|*.*");
    }
    EXPECT_ANSI_EQ(window.FileName(), "/data/Ведомость.txt");
    {
        TScriptedDialogs dialogs;
        dialogs.ExpectOpenFile(std::nullopt);
        window.BtnFileName->click();
    }
    EXPECT_ANSI_EQ(window.FileName(), "/data/Ведомость.txt");

    // A typed name that code page 1251 cannot hold names no file the program can reach.
    window.EdtFileName->setText(QStringLiteral("/data/") + QChar(0x65e5) + QStringLiteral(".txt"));
    EXPECT_RAISES(window.FileName(), Exception, "Имя файла нельзя записать в кодировке Windows-1251: /data/?.txt");
}

TEST(WizardWindow, EscOnTheDonePageClosesAndExitClosesToo)
{
    class TQuickWizard : public TSimpleWizard {
    public:
        TQuickWizard() : TSimpleWizard("Быстро") {}

    protected:
        void ShowStart() override { View().ShowMessage("Начало"); }
        void DoWork() override {}
        void ShowDone(bool&) override { View().ShowMessage("Готово"); }
        void ShowFailed() override {}
    };

    TFrmWizard window;
    TQuickWizard wizard;
    ExecuteWith(window, &wizard, [&] {
        window.BtnNext->click();
        EXPECT_ANSI_EQ(FromQString(window.BtnNext->text()), "Выход");
        EXPECT_FALSE(window.BtnBack->isEnabled());
        PressEscape(&window);
        EXPECT_FALSE(window.isVisible());
    });
    ExecuteWith(window, &wizard, [&] {
        // A new run starts on the start page again.
        EXPECT_ANSI_EQ(FromQString(window.LblMessage->text()), "Начало");
        window.BtnNext->click();
        window.BtnNext->click();
        EXPECT_FALSE(window.isVisible());
    });
}

TEST(WizardWindow, EnterPressesTheFocusedButton)
{
    class TCheckedWizard : public TSimpleWizard {
    public:
        TCheckedWizard() : TSimpleWizard("Экспорт файла") {}
        std::vector<std::string> Steps;

        void LinkClick(const AnsiString& name) override { Steps.push_back(name.c_str()); }

    protected:
        void ShowStart() override { View().ShowEndPrepare(5, 1); }
        void DoWork() override { Steps.push_back("Next"); }
        void ShowDone(bool&) override { View().ShowMessage("Готово"); }
        void ShowFailed() override {}
    };

    TFrmWizard window;
    TCheckedWizard wizard;
    ExecuteWith(window, &wizard, [&] {
        // Tab brings the focus to the button, as a user does.
        window.BtnViewErrors->setFocus(Qt::TabFocusReason);
        QTest::keyClick(window.BtnViewErrors, Qt::Key_Return);
        EXPECT_EQ(wizard.Steps, std::vector<std::string>{"ViewErrors"});
        EXPECT_EQ(window.Panel(), window.PnlEndPrepare);
        window.BtnNext->click();
        EXPECT_EQ(wizard.Steps, (std::vector<std::string>{"ViewErrors", "Next"}));
        window.BtnNext->click();
    });
}

// The check leaves nothing to send: the page says so and disables "Далее >", which had
// the focus; Enter, pressed on as a user does, goes back from there.
TEST(WizardWindow, AButtonDisabledWithTheFocusPassesItToTheNextControl)
{
    TTempDir dir;
    const TExchangeProfile profile(dir, {});
    TTestDocument document(*profile.Profile().ExportProfiles.At(2), dir, {"Петров;1"});
    document.Marks().Info(0).Selected = 0;
    TFrmWizard window;
    TExportWizard wizard(document);
    const auto pressEnter = [&window] {
        QTest::keyClick(window.focusWidget() ? window.focusWidget() : &window, Qt::Key_Return);
    };
    ExecuteWith(window, &wizard, [&] {
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        pressEnter();
        ASSERT_EQ(window.Panel(), window.PnlEndPrepare);
        pressEnter();
        ASSERT_EQ(window.Panel(), window.PnlMessage);
        EXPECT_FALSE(window.BtnNext->isEnabled());
        EXPECT_EQ(window.focusWidget(), window.BtnBack);
        pressEnter();
        EXPECT_EQ(window.Panel(), window.PnlEndPrepare);
        window.reject();
    });
}
