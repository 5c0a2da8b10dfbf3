#pragma once
// The encryption back ends. Every container that leaves the program is signed by the
// client and encrypted for the bank, and every container that arrives is decrypted and
// its bank signature checked, by the back end of the current profile: the GnuPG program
// or the Verba crypto library. The holder `Cipher` creates that back end on first use and
// drops it when the profile changes.

#include "documents/Containers.h"
#include "platform/AnsiString.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TStream;

// One back end. Both operations work on the bytes of src from its position to its end
// and write at dst's position; a failure of any kind raises an Exception with the text
// for the user, after which dst may hold partial output that the caller discards.
class TCipher {
public:
    explicit TCipher(const AnsiString& name) : Name(name) {}
    virtual ~TCipher() = default;
    TCipher(const TCipher&) = delete;
    TCipher& operator=(const TCipher&) = delete;

    // The text to show the user before a step that needs the keys; "" when nothing has
    // to be said.
    virtual AnsiString GetPrompt() = 0;
    // Decrypts and checks that the bank signed the data; dst receives the plain bytes.
    virtual void Decrypt(TStream* src, TStream* dst) = 0;
    // Signs with the client's key and encrypts for the bank.
    virtual void Encrypt(TStream* src, TStream* dst) = 0;

    AnsiString Name;   // shown in the status bar
};

// The GnuPG program "gpg": the one in the program's folder when it is there, else the one
// on PATH. The key rings are those of the profile's PgpKeyPath (keys without passphrase);
// the recipient and the expected signer is the profile's BankPgpKey.
class TPgpCipher : public TCipher {
public:
    TPgpCipher();

    AnsiString GetPrompt() override;
    void Decrypt(TStream* src, TStream* dst) override;
    void Encrypt(TStream* src, TStream* dst) override;

    // The longest time one run of gpg may take, reading its input included.
    static constexpr int TimeoutMs = 15000;

private:
    // Runs gpg with the operation's options over the bytes; returns what gpg told on its
    // status channel.
    std::string RunGpg(TStream* src, TStream* dst, const std::vector<AnsiString>& operation);
};

// The Verba crypto library, loaded on the first Encrypt or Decrypt and kept until the
// object is deleted. It works on files: the plain text passes through a folder that only
// this user may enter and that is removed after every call. The keys come from the
// profile's VerbaSecPath and VerbaPubPath; BankVerbaKey names the recipient and the
// expected signer.
class TVerbaCipher : public TCipher {
public:
    // A bare library name is looked for in the program's folder first, then by the
    // system's usual search; a name with a "/" is taken as it stands.
    explicit TVerbaCipher(const AnsiString& libraryName = "libwbotho.so");
    ~TVerbaCipher() override;

    AnsiString GetPrompt() override;
    void Decrypt(TStream* src, TStream* dst) override;
    void Encrypt(TStream* src, TStream* dst) override;

private:
    struct TEntryPoints;

    void Load();
    void Sign(const AnsiString& plainFile, const AnsiString& signedFile);
    void EncryptFile(const AnsiString& signedFile, const AnsiString& encryptedFile, uint16_t bankKey);
    void DecryptFile(const AnsiString& encryptedFile, const AnsiString& signedFile);
    void CheckAndRemoveSignatures(const AnsiString& signedFile, uint16_t bankKey);
    uint16_t OwnKeyNumber();

    AnsiString FLibraryName;
    void* FModule = nullptr;
    std::unique_ptr<TEntryPoints> FEntries;
};

// The holder of the current profile's back end: a TPgpCipher for CipherType PGP, a
// TVerbaCipher for VERBA, built from the profile that is current at the first Get.
class TCipherPtr : public TSmartPtr<TCipher> {
protected:
    TCipher* Create() override;
};

extern TCipherPtr Cipher;
