#include "ui/QtText.h"
#include "ui/UFrmMain.h"

#include "support/TestSupport.h"

#include <QMdiArea>

TEST(MainWindow, OpensAsMultipleDocumentWindowTitledWithTheVersion)
{
    TFrmMain window;
    window.show();
    EXPECT_ANSI_EQ(FromQString(window.windowTitle()), "Экспорт в Вельтон-Банк 1.0");
    ASSERT_NE(window.MdiArea(), nullptr);
    EXPECT_EQ(window.centralWidget(), window.MdiArea());
    EXPECT_TRUE(window.isVisible());
}
