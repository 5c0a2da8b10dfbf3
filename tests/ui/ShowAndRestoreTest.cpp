#include "ui/Common.h"
#include "ui/UFrmMain.h"

#include "support/TestSupport.h"

#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>

TEST(ShowAndRestore, RestoresAMinimisedDocumentWindowAndMakesItActive)
{
    TFrmMain main;
    main.show();
    auto* first = new QLabel;
    auto* second = new QLabel;
    QMdiSubWindow* firstFrame = main.MdiArea()->addSubWindow(first);
    QMdiSubWindow* secondFrame = main.MdiArea()->addSubWindow(second);
    firstFrame->show();
    secondFrame->show();
    firstFrame->showMinimized();
    main.MdiArea()->setActiveSubWindow(secondFrame);
    ASSERT_TRUE(firstFrame->isMinimized());

    ShowAndRestore(first);

    EXPECT_FALSE(firstFrame->isMinimized());
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(main.MdiArea()->activeSubWindow(), firstFrame);
}

TEST(ShowAndRestore, ShowsAHiddenTopLevelWindow)
{
    QLabel window;
    ShowAndRestore(&window);
    EXPECT_TRUE(window.isVisible());
}
