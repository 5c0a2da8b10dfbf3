// The entry of the test program of the program's start-up: it starts as the program
// itself does, not with the plain application object of the other widget test programs,
// under the platform that QT_QPA_PLATFORM names (offscreen in CTest) and the locale of the
// environment.

#include "support/TestSupport.h"
#include "ui/ProgramStart.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    const TTempDir userFolders;
    PrepareWidgetTestProcess(userFolders);
    const TProgramStart start(argc, argv);
    return RUN_ALL_TESTS();
}
