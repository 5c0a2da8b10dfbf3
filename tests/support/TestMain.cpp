// The entry of every test program without windows.

#include "support/ScriptedDialogs.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    const TTempDir userFolders;
    PrepareTestProcess(userFolders);
    ::testing::AddGlobalTestEnvironment(new TUnexpectedDialogsEnvironment);
    return RUN_ALL_TESTS();
}
