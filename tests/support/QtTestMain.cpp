// The entry of the widget test programs: one application object for the whole run,
// under the platform that QT_QPA_PLATFORM names (offscreen in CTest).

#include "support/ScriptedDialogs.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    const TTempDir userFolders;
    PrepareWidgetTestProcess(userFolders);
    QApplication application(argc, argv);
    ::testing::AddGlobalTestEnvironment(new TUnexpectedDialogsEnvironment);
    return RUN_ALL_TESTS();
}
