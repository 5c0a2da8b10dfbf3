#pragma once
// Helpers of the cipher tests: a fake "gpg" and the bytes a cipher makes of bytes.

#include "exchange/Ciphers.h"
#include "platform/Classes.h"
#include "platform/Paths.h"
#include "support/TestSupport.h"

#include <sys/stat.h>

#include <string>

// A fake "gpg": a shell script in a folder that PATH names first for the scope.
class TFakeGpg {
public:
    explicit TFakeGpg(const AnsiString& folder)
        : Folder(folder), FPath("PATH", ToSystemPath(folder) + ":/usr/bin:/bin")
    {
        ForceDirectories(folder);
    }

    // The script's lines after "#!/bin/sh"; "$0" names the script, so "$0.x" is a file
    // beside it.
    void Script(const std::string& body) const
    {
        WriteBytes(Program(), "#!/bin/sh\n" + body);
        chmod(ToSystemPath(Program()).c_str(), 0755);
    }
    // A fake that passes its input through and reports these status lines on handle 3.
    void ScriptWithStatus(const std::string& statusLines) const
    {
        WriteBytes(Program() + ".status", statusLines);
        Script("cat\ncat \"$0.status\" >&3\n");
    }
    AnsiString Program() const { return Folder + "gpg"; }

    const AnsiString Folder;

private:
    TEnvironmentVariable FPath;
};

// The status lines of a good signature by a key whose fingerprint ends with that key.
inline std::string GoodSignatureStatus(const std::string& key)
{
    const std::string fingerprint = "FFEEDDCCBBAA9988" + key;
    return "[GNUPG:] NEWSIG\n[GNUPG:] GOODSIG " + key + " Bank\n[GNUPG:] VALIDSIG " + fingerprint +
           " 2024-01-01 1 0 4 0 22 10 00 " + fingerprint + "\n";
}

// What the cipher makes of the bytes.
inline std::string CipherBytes(TCipher& cipher, void (TCipher::*step)(TStream*, TStream*), const std::string& input)
{
    TMemoryStream source, target;
    source.WriteString(input);
    source.SetPosition(0);
    (cipher.*step)(&source, &target);
    return target.Bytes();
}
inline std::string EncryptBytes(TCipher& cipher, const std::string& input)
{
    return CipherBytes(cipher, &TCipher::Encrypt, input);
}
inline std::string DecryptBytes(TCipher& cipher, const std::string& input)
{
    return CipherBytes(cipher, &TCipher::Decrypt, input);
}
