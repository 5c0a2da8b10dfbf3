#pragma once
// A recording stand-in of the Verba library for the tests. Every entry point appends its
// name to the call list and returns the result the test set for it; the file calls copy
// their input file to their output file, and check_file_sign hands out the entries the
// test set. The test reaches the state through FakeWbothoState().

#include "standins/wbotho/wbotho.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct TFakeWbothoState {
    std::vector<std::string> Calls;            // "SignInit", "GetCurrID(S)", ...
    std::map<std::string, uint16_t> Results;   // by entry point name; 0 when absent
    std::string SignId = "0002A1B2C3";         // what GetCurrID gives for 'S'
    std::string CryptId = "0002D4E5F6";        // ... and for 'E'
    std::vector<WB_CHECK_STATUS> Signatures;   // what check_file_sign hands out

    // What the calls were given.
    std::string SecretFolder, PublicFolder;
    std::string SignerId;
    uint16_t OwnNumber = 0;
    std::vector<uint16_t> Recipients;
    bool ReservedZero = false;
    unsigned DelSignWhich = 0;
    std::vector<std::string> Files;   // every file name, in the order given
    // Every input file lay in a folder of mode 0700 and had mode 0600 itself.
    bool FilesPrivate = true;
    // FreeMemory got exactly the list that check_file_sign handed out.
    bool ListFreed = false;
};

extern "C" TFakeWbothoState* FakeWbothoState();
