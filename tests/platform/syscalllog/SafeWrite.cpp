// Saves its second argument as the file its first argument names, through the program's
// safe write, for a test that watches the calls the save makes.

#include "platform/Paths.h"

#include <cstdio>
#include <exception>

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    try {
        WriteFileAtomically(FromSystemPath(argv[1]), argv[2]);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
