#pragma once
// Key pairs and their files. A key pair has a number (1 to 9999) and an identifier: the
// number as four digits, then six hex digits of a hash of its public keys. The secret
// folder holds the user's own key as "NNNN.sec"; the public folder holds "NNNN.pub" for
// every correspondent (and for the user). Layouts: README.md.

#include <sodium.h>

#include <cstdint>
#include <string>

namespace wbotho {

// Size of the identifier field in files: the identifier padded with NULs.
constexpr size_t IdFieldSize = 16;

struct TPublicKey {
    std::string Id;
    unsigned char SignKey[crypto_sign_PUBLICKEYBYTES];
    unsigned char BoxKey[crypto_box_PUBLICKEYBYTES];
};

// The secret halves are wiped when the key is dropped.
struct TSecretKey {
    std::string Id;
    unsigned char SignKey[crypto_sign_SECRETKEYBYTES];
    unsigned char BoxKey[crypto_box_SECRETKEYBYTES];

    TSecretKey() = default;
    TSecretKey(const TSecretKey&) = delete;
    TSecretKey& operator=(const TSecretKey&) = delete;
    ~TSecretKey();
    TPublicKey Public() const;
};

// Starts libsodium; fails with WB_E_INTERNAL when it cannot.
void StartSodium();

bool IsKeyNumber(unsigned number);
bool IsKeyId(const std::string& text);
// The key number an identifier starts with (the identifier must be valid).
uint16_t IdNumber(const std::string& id);
// The identifier padded to IdFieldSize, and back (a field that holds no valid identifier
// fails with `badCode`).
std::string IdField(const std::string& id);
std::string IdFromField(const std::string& field, uint16_t badCode);

// The one "NNNN.sec" of the folder: WB_E_NO_SECRET_KEY when there is none or more than
// one, WB_E_KEY_FILE when it is damaged.
void LoadSecretKey(const std::string& folder, TSecretKey& key);
// "NNNN.pub" of the folder: WB_E_NO_PUBLIC_KEY when missing, WB_E_KEY_FILE when damaged.
TPublicKey LoadPublicKey(const std::string& folder, uint16_t number);

// Makes a new key pair: "NNNN.sec" in the secret folder (mode 0600) and "NNNN.pub" in the
// public folder; both folders must exist and hold no key file of that number
// (WB_E_WRITE otherwise). Returns the identifier.
std::string MakeKeyPair(uint16_t number, const std::string& secretFolder, const std::string& publicFolder);

} // namespace wbotho
