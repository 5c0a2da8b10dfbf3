// The arbitrary-file wizard's pages without a send: a recording view or the real wizard
// window shows them; the profile keeps its keys on the diskette, so the cipher has a prompt.

#include "RecordingView.h"
#include "exchange/ExchangeProfile.h"

#include "ui/ArbitraryWizard.h"
#include "ui/UFrmWizard.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>

#include <gmock/gmock.h>

namespace {

// A profile whose stored file "a.txt" exists, with the stored comment "Старый".
class ArbitraryWizard : public ::testing::Test {
protected:
    ArbitraryWizard() { WriteBytes(dir.File("a.txt"), "a"); }

    TTempDir dir;
    TExchangeProfile profile{dir, {"Arbitrary.FileName=" + dir.File("a.txt"), "Arbitrary.Comment=Старый"}};
};

}  // namespace

TEST_F(ArbitraryWizard, ThePromptPageStandsBetweenTheCommentAndTheSendAndBackLeadsToTheFile)
{
    TRecordingView view;
    TArbitraryWizard wizard;
    wizard.SetView(&view);
    wizard.Start();
    EXPECT_ANSI_EQ(view.Name, dir.File("a.txt"));
    EXPECT_ANSI_EQ(view.Comment, "Старый");
    EXPECT_ANSI_EQ(view.Page, "file-name");
    ExpectButtons(view.Buttons, "< Назад", "Далее >", false, true);
    wizard.Back();
    EXPECT_EQ(wizard.State, TArbitraryWizard::StateFile);

    wizard.Next();
    EXPECT_ANSI_EQ(view.Page, "comment");
    ExpectButtons(view.Buttons, "< Назад", "Далее >", true, true);
    view.Comment = "Новый";
    wizard.Next();
    EXPECT_ANSI_EQ(view.Page, "message:Вставьте ключевую дискету.");
    ExpectButtons(view.Buttons, "< Назад", "Далее >", true, true);
    EXPECT_EQ(view.BusyCount, 0);
    EXPECT_ANSI_EQ(profile.Profile().ArbitraryProfile.Comment, "Новый");

    wizard.Back();
    EXPECT_ANSI_EQ(view.Page, "comment");
    wizard.Back();
    EXPECT_ANSI_EQ(view.Page, "file-name");
}

namespace {

// A key pressed in the window goes to its focus widget, or to the window when none has it.
void SendKey(QWidget* window, int key, const QString& text = QString())
{
    QWidget* target = window->focusWidget() ? window->focusWidget() : window;
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(target, &press);
}

}  // namespace

TEST_F(ArbitraryWizard, EachPageOfTheWindowTakesTheKeyboardSoEnterAndTypingFillThePages)
{
    TFrmWizard window;
    TArbitraryWizard wizard;
    QTimer::singleShot(0, &window, [&] {
        window.activateWindow();
        QApplication::processEvents();
        EXPECT_EQ(window.focusWidget(), window.EdtFileName);
        SendKey(&window, Qt::Key_Return);
        EXPECT_EQ(wizard.State, TArbitraryWizard::StateComment);
        for (const QChar c : QStringLiteral("Новый"))
            SendKey(&window, Qt::Key_unknown, c);
        SendKey(&window, Qt::Key_Return);
        EXPECT_EQ(wizard.State, TArbitraryWizard::StatePrompt);
        window.reject();
    });
    window.Execute(&wizard);
    EXPECT_ANSI_EQ(profile.Profile().ArbitraryProfile.Comment, "Новый");
}
