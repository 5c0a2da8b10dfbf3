#pragma once
// A profile selected in the program's own store for the length of a scope: for the code
// that reads the current profile (working folders, reference lists).

#include "ProfileFiles.h"

#include <initializer_list>

// Writes a profiles file with the only profile "P" (prefix ABC, the data folder dataPath,
// then the extra lines), opens it in the program's store and selects the profile. The
// store is closed again at the end of the scope, so that no profile stays selected.
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
