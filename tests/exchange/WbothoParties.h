#pragma once
// Correspondents of our Verba stand-in for the tests: key pairs made with its key tool,
// public keys handed from one to the other.

#include "RunProgram.h"
#include "platform/Paths.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

// Runs the stand-in's key tool with these arguments.
inline TProgramRun WbothoTool(std::vector<AnsiString> arguments)
{
    arguments.insert(arguments.begin(), WBOTHO_TOOL);
    return RunProgram(arguments);
}

// A correspondent's two key folders.
struct TWbothoParty {
    AnsiString Secret;
    AnsiString Public;
};

// Key pair `number` in the folders "sec/" and "pub/" of the folder.
inline TWbothoParty MakeWbothoParty(const AnsiString& folder, uint16_t number)
{
    const TWbothoParty party{folder + "sec/", folder + "pub/"};
    const TProgramRun run = WbothoTool({"keygen", std::to_string(number), party.Secret, party.Public});
    EXPECT_EQ(run.ExitCode, 0) << run.Errors;
    return party;
}

inline AnsiString WbothoPublicFile(const TWbothoParty& party, uint16_t number)
{
    char name[16];
    std::snprintf(name, sizeof name, "%04u.pub", static_cast<unsigned>(number));
    return party.Public + name;
}

// Copies the public key `number` of one party into the other's public folder.
inline void ShareWbothoKey(const TWbothoParty& from, const TWbothoParty& to, uint16_t number)
{
    std::filesystem::copy_file(ToSystemPath(WbothoPublicFile(from, number)),
                               ToSystemPath(WbothoPublicFile(to, number)),
                               std::filesystem::copy_options::overwrite_existing);
}
