#pragma once
// A profile of the program's store, selected for the exchange tests: written from key
// lines into a profiles file of a temporary folder, whose DataPath is that folder. The
// end of the scope closes the store, drops the sender, the receiver and the cipher, and
// switches the protocol log off again.

#include "documents/Profiles.h"
#include "exchange/Ciphers.h"
#include "exchange/ProtocolLog.h"
#include "exchange/Transport.h"
#include "support/TestSupport.h"

#include <initializer_list>
#include <vector>

class TExchangeProfile {
public:
    // The keys come first, so they replace the defaults that follow (the first of
    // duplicate keys wins).
    TExchangeProfile(const TTempDir& dir, std::initializer_list<AnsiString> keys)
        : TExchangeProfile(dir, std::vector<AnsiString>(keys))
    {
    }
    TExchangeProfile(const TTempDir& dir, const std::vector<AnsiString>& keys)
    {
        std::string text = "[P]\r\n";
        for (const AnsiString& key : keys)
            text += key + "\r\n";
        text += "Prefix=ABC\r\nRecvUser=client\r\nRecvPass=secret\r\nDataPath=" + dir.Path() + "\r\n";
        WriteBytes(dir.File("velton.ini"), text);
        Profiles.Get()->Open(dir.File("velton.ini"));
        Profiles.Get()->Select(0);
    }
    ~TExchangeProfile()
    {
        Sender.Reset();
        Receiver.Reset();
        Cipher.Reset();
        SetProtocolLogging(false);
        Profiles.Get()->Close();
    }
    TExchangeProfile(const TExchangeProfile&) = delete;
    TExchangeProfile& operator=(const TExchangeProfile&) = delete;

    TProfile& Profile() const { return *Profiles.Get()->Current(); }
};
