#pragma once
// The program's own profile store opened on a profiles file written by the test, its
// first profile selected, for the scope of a test; the cipher holder and the store are
// dropped at the end.

#include "documents/Profiles.h"
#include "exchange/Ciphers.h"
#include "platform/Classes.h"
#include "support/TestSupport.h"

#include <initializer_list>
#include <string>

class TSelectedProfile {
public:
    // A profile "P" with a prefix, the receiving user and password, and these lines.
    TSelectedProfile(const TTempDir& dir, std::initializer_list<AnsiString> lines)
    {
        std::string text = "[P]\r\nPrefix=ABC\r\nRecvUser=client\r\nRecvPass=secret\r\n";
        for (const AnsiString& line : lines)
            text += line + "\r\n";
        WriteBytes(dir.File("velton.ini"), text);
        Profiles.Get()->Open(dir.File("velton.ini"));
        Profiles.Get()->Select(0);
    }
    ~TSelectedProfile()
    {
        Cipher.Reset();
        Profiles.Reset();
    }
    TSelectedProfile(const TSelectedProfile&) = delete;
    TSelectedProfile& operator=(const TSelectedProfile&) = delete;

    TProfile& Profile() const { return *Profiles.Get()->Current(); }
};

// What the cipher makes of the bytes.
inline std::string EncryptBytes(TCipher& cipher, const std::string& input)
{
    TMemoryStream source, target;
    source.WriteString(input);
    source.SetPosition(0);
    cipher.Encrypt(&source, &target);
    return target.Bytes();
}

inline std::string DecryptBytes(TCipher& cipher, const std::string& input)
{
    TMemoryStream source, target;
    source.WriteString(input);
    source.SetPosition(0);
    cipher.Decrypt(&source, &target);
    return target.Bytes();
}
