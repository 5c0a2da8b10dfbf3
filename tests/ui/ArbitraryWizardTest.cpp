// The arbitrary-file wizard's pages without a send: a recording view stands in for the
// wizard window; the profile keeps its keys on the diskette, so the cipher has a prompt.

#include "RecordingView.h"
#include "exchange/ExchangeProfile.h"

#include "ui/ArbitraryWizard.h"

#include <gmock/gmock.h>

TEST(ArbitraryWizard, ThePromptPageStandsBetweenTheCommentAndTheSendAndBackLeadsToTheFile)
{
    TTempDir dir;
    TExchangeProfile profile(dir, {"Arbitrary.FileName=" + dir.File("a.txt"), "Arbitrary.Comment=Старый"});
    WriteBytes(dir.File("a.txt"), "a");
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
