#pragma once
// A profiles file written as exact CP1251 bytes with CR LF line ends, and a store over it.

#include "documents/Passwords.h"
#include "documents/Profiles.h"
#include "support/TestSupport.h"

#include <initializer_list>
#include <string>

// The lines, each ended by CR LF.
inline std::string IniText(std::initializer_list<AnsiString> lines)
{
    std::string text;
    for (const AnsiString& line : lines)
        text += line + "\r\n";
    return text;
}

class ProfileFileTest : public ::testing::Test {
protected:
    ProfileFileTest() { FSavedRandom = SetPasswordRandomSource([] { return 0x5A; }); }
    ~ProfileFileTest() override { SetPasswordRandomSource(FSavedRandom); }

    void Write(std::initializer_list<AnsiString> lines) { WriteBytes(FileName, IniText(lines)); }
    std::string FileBytes() const { return ReadBytes(FileName); }

    void Open(std::initializer_list<AnsiString> lines)
    {
        Write(lines);
        Store.Open(FileName);
    }

    // A profile "P" of the extra lines followed by a prefix, the receiving user and the
    // password "secret" (the first of duplicate keys wins, so the extra lines can replace
    // them), then a section "Common" of the common lines when there are any; selected.
    TProfile& SelectProfile(std::initializer_list<AnsiString> extra, std::initializer_list<AnsiString> common = {})
    {
        std::string text = IniText({"[P]"}) + IniText(extra) + MinimalProfileLines();
        if (common.size() != 0)
            text += IniText({"[Common]"}) + IniText(common);
        WriteBytes(FileName, text);
        Store.Open(FileName);
        Store.Select(0);
        return *Store.Current();
    }

    // The message of the error that selecting that profile raises, or "no error".
    AnsiString SelectError(std::initializer_list<AnsiString> extra)
    {
        try {
            SelectProfile(extra);
        } catch (const Exception& error) {
            EXPECT_EQ(Store.Current(), nullptr);
            return error.Message();
        }
        return "no error";
    }

    static std::string MinimalProfileLines()
    {
        return IniText({"Prefix=ABC", "RecvUser=client", "RecvPass=\\kpkwkwkwksdmhr"});
    }

    TTempDir Dir;
    AnsiString FileName = Dir.File("velton.ini");
    TProfiles Store;

private:
    TRandomSource FSavedRandom;
};

// Selects the only profile of a file in the program's store, whose DataPath is dataPath
// (prefix ABC, then the extra lines); closes the store again at the end of the scope, so
// that no profile stays selected.
class TSelectedProfile {
public:
    TSelectedProfile(const AnsiString& fileName, const AnsiString& dataPath,
                     std::initializer_list<AnsiString> extra = {})
    {
        WriteBytes(fileName, IniText({"[P]", "Prefix=ABC", "RecvUser=u", "RecvPass=\\pz", "DataPath=" + dataPath}) +
                                 IniText(extra));
        Profiles.Get()->Open(fileName);
        Profiles.Get()->Select(0);
    }
    ~TSelectedProfile() { Profiles.Get()->Close(); }
    TSelectedProfile(const TSelectedProfile&) = delete;
    TSelectedProfile& operator=(const TSelectedProfile&) = delete;
};
