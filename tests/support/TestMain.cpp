// The entry of every test program without windows.

#include "support/ScriptedDialogs.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    const TTempDir userFolders;
    PlaceUserFoldersIn(userFolders);
    // A write to a closed pipe must come back as an error, as in the program.
    std::signal(SIGPIPE, SIG_IGN);
    ::testing::AddGlobalTestEnvironment(new TUnexpectedDialogsEnvironment);
    return RUN_ALL_TESTS();
}
