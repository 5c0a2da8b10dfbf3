#include "WbKeys.h"

#include "WbCommon.h"
#include "WbFiles.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace wbotho {

namespace {

const std::string SecretMagic = "WBSECKEY";
const std::string PublicMagic = "WBPUBKEY";
constexpr size_t SecretFileSize = 8 + IdFieldSize + crypto_sign_SECRETKEYBYTES + crypto_box_SECRETKEYBYTES;
constexpr size_t PublicFileSize = 8 + IdFieldSize + crypto_sign_PUBLICKEYBYTES + crypto_box_PUBLICKEYBYTES;
constexpr size_t IdHashDigits = 6;

bool IsDigits(const std::string& text, size_t from, size_t count)
{
    for (size_t i = from; i < from + count; ++i)
        if (text[i] < '0' || text[i] > '9')
            return false;
    return true;
}

std::string KeyFileName(uint16_t number, const char* extension)
{
    char name[16];
    std::snprintf(name, sizeof name, "%04u.%s", static_cast<unsigned>(number), extension);
    return name;
}

// The number of a file name "NNNN.<extension>", or 0 for any other name.
uint16_t KeyFileNumber(const std::string& name, const std::string& extension)
{
    if (name.size() != 5 + extension.size() || !IsDigits(name, 0, 4) || name[4] != '.' ||
        name.compare(5, std::string::npos, extension) != 0)
        return 0;
    return static_cast<uint16_t>(std::stoi(name.substr(0, 4)));
}

// The identifier that belongs to these public keys.
std::string MakeId(uint16_t number, const TPublicKey& key)
{
    unsigned char hash[crypto_generichash_BYTES_MIN];
    crypto_generichash_state state;
    crypto_generichash_init(&state, nullptr, 0, sizeof hash);
    crypto_generichash_update(&state, key.SignKey, sizeof key.SignKey);
    crypto_generichash_update(&state, key.BoxKey, sizeof key.BoxKey);
    crypto_generichash_final(&state, hash, sizeof hash);
    char id[WB_ID_BUFFER];
    std::snprintf(id, sizeof id, "%04u%02X%02X%02X", static_cast<unsigned>(number), hash[0], hash[1], hash[2]);
    return id;
}

// A key file's identifier must name its file's number and match its public keys.
void CheckId(const std::string& id, uint16_t fileNumber, const TPublicKey& key)
{
    if (IdNumber(id) != fileNumber || MakeId(fileNumber, key) != id)
        Fail(WB_E_KEY_FILE);
}

void CopyField(const std::string& field, unsigned char* target)
{
    std::copy(field.begin(), field.end(), target);
}

// The file's bytes, or `missingCode` when it does not exist.
std::string ReadKeyFile(const std::string& path, WB_RESULT missingCode)
{
    std::error_code error;
    if (!std::filesystem::exists(path, error))
        Fail(missingCode);
    try {
        return ReadWholeFile(path);
    } catch (const TWbError&) {
        Fail(WB_E_KEY_FILE);
    }
}

// Creates a key file that must not exist yet.
void CreateKeyFile(const std::string& path, const std::string& bytes, mode_t mode)
{
    const int handle = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (handle < 0)
        Fail(WB_E_WRITE);
    close(handle);
    WriteWholeFile(path, bytes);
}

} // namespace

TSecretKey::~TSecretKey()
{
    sodium_memzero(SignKey, sizeof SignKey);
    sodium_memzero(BoxKey, sizeof BoxKey);
}

TPublicKey TSecretKey::Public() const
{
    TPublicKey key;
    key.Id = Id;
    crypto_sign_ed25519_sk_to_pk(key.SignKey, SignKey);
    crypto_scalarmult_base(key.BoxKey, BoxKey);
    return key;
}

void StartSodium()
{
    if (sodium_init() < 0)
        Fail(WB_E_INTERNAL);
}

bool IsKeyNumber(unsigned number) { return number >= 1 && number <= 9999; }

bool IsKeyId(const std::string& text)
{
    if (text.size() != WB_ID_LENGTH || !IsDigits(text, 0, 4) || !IsKeyNumber(std::stoi(text.substr(0, 4))))
        return false;
    for (size_t i = 4; i < 4 + IdHashDigits; ++i)
        if (!std::isxdigit(static_cast<unsigned char>(text[i])) || std::islower(static_cast<unsigned char>(text[i])))
            return false;
    return true;
}

uint16_t IdNumber(const std::string& id) { return static_cast<uint16_t>(std::stoi(id.substr(0, 4))); }

std::string IdField(const std::string& id)
{
    std::string field = id;
    field.resize(IdFieldSize, '\0');
    return field;
}

std::string IdFromField(const std::string& field, uint16_t badCode)
{
    const std::string id = field.substr(0, field.find('\0'));
    if (!IsKeyId(id) || field.find_first_not_of('\0', id.size()) != std::string::npos)
        Fail(badCode);
    return id;
}

void LoadSecretKey(const std::string& folder, TSecretKey& key)
{
    std::string path;
    uint16_t number = 0;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const uint16_t found = KeyFileNumber(entry.path().filename().string(), "sec");
        if (found == 0)
            continue;
        if (!path.empty())
            Fail(WB_E_NO_SECRET_KEY);   // which of them would be the user's?
        path = entry.path().string();
        number = found;
    }
    if (path.empty())
        Fail(WB_E_NO_SECRET_KEY);

    std::string bytes = ReadKeyFile(path, WB_E_NO_SECRET_KEY);
    TByteReader reader(bytes, WB_E_KEY_FILE);
    if (bytes.size() != SecretFileSize || reader.Take(SecretMagic.size()) != SecretMagic)
        Fail(WB_E_KEY_FILE);
    key.Id = IdFromField(reader.Take(IdFieldSize), WB_E_KEY_FILE);
    CopyField(reader.Take(sizeof key.SignKey), key.SignKey);
    CopyField(reader.Take(sizeof key.BoxKey), key.BoxKey);
    sodium_memzero(bytes.data(), bytes.size());
    CheckId(key.Id, number, key.Public());
}

TPublicKey LoadPublicKey(const std::string& folder, uint16_t number)
{
    const std::string bytes = ReadKeyFile(JoinPath(folder, KeyFileName(number, "pub")), WB_E_NO_PUBLIC_KEY);
    TByteReader reader(bytes, WB_E_KEY_FILE);
    if (bytes.size() != PublicFileSize || reader.Take(PublicMagic.size()) != PublicMagic)
        Fail(WB_E_KEY_FILE);
    TPublicKey key;
    key.Id = IdFromField(reader.Take(IdFieldSize), WB_E_KEY_FILE);
    CopyField(reader.Take(sizeof key.SignKey), key.SignKey);
    CopyField(reader.Take(sizeof key.BoxKey), key.BoxKey);
    CheckId(key.Id, number, key);
    return key;
}

std::string MakeKeyPair(uint16_t number, const std::string& secretFolder, const std::string& publicFolder)
{
    if (!IsKeyNumber(number))
        Fail(WB_E_PARAMETER);
    StartSodium();
    TSecretKey secret;
    TPublicKey key;
    crypto_sign_keypair(key.SignKey, secret.SignKey);
    crypto_box_keypair(key.BoxKey, secret.BoxKey);
    secret.Id = key.Id = MakeId(number, key);

    std::string secretBytes = SecretMagic + IdField(key.Id);
    secretBytes.append(reinterpret_cast<const char*>(secret.SignKey), sizeof secret.SignKey);
    secretBytes.append(reinterpret_cast<const char*>(secret.BoxKey), sizeof secret.BoxKey);
    std::string publicBytes = PublicMagic + IdField(key.Id);
    publicBytes.append(reinterpret_cast<const char*>(key.SignKey), sizeof key.SignKey);
    publicBytes.append(reinterpret_cast<const char*>(key.BoxKey), sizeof key.BoxKey);

    CreateKeyFile(JoinPath(secretFolder, KeyFileName(number, "sec")), secretBytes, 0600);
    sodium_memzero(secretBytes.data(), secretBytes.size());
    CreateKeyFile(JoinPath(publicFolder, KeyFileName(number, "pub")), publicBytes, 0644);
    return key.Id;
}

} // namespace wbotho
