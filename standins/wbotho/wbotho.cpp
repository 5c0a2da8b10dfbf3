// The library's entry points: argument checks, the two phases with their loaded keys,
// files in and out, and the border where every failure becomes a result code.

#include "wbotho.h"

#include "WbCommon.h"
#include "WbEncryption.h"
#include "WbFiles.h"
#include "WbKeys.h"
#include "WbSignature.h"

#include "platform/Encoding.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

using namespace wbotho;

namespace {

// A recipient list longer than this has lost its end mark.
constexpr size_t MostRecipients = 1000;
constexpr size_t ReservedSize = 6;

// Signing or encryption: the key loaded by its Init and the folder of public keys.
class TPhase {
public:
    void Start(const char* secretFolder, const char* publicFolder);
    void Stop()
    {
        FKey.reset();
        FPublicFolder.clear();
    }
    const TSecretKey& Key() const
    {
        if (!FKey)
            Fail(WB_E_NOT_INITIALIZED);
        return *FKey;
    }
    const std::string& PublicFolder() const
    {
        Key();
        return FPublicFolder;
    }

private:
    std::unique_ptr<TSecretKey> FKey;
    std::string FPublicFolder;
};

TPhase SignPhase;
TPhase CryptoPhase;

// A CP1251 name from the caller as the system's UTF-8 name.
std::string SystemName(const char* name)
{
    if (!name)
        Fail(WB_E_PARAMETER);
    return AnsiToUtf8(name);
}

void TPhase::Start(const char* secretFolder, const char* publicFolder)
{
    Stop();
    StartSodium();
    auto key = std::make_unique<TSecretKey>();
    LoadSecretKey(SystemName(secretFolder), *key);
    FPublicFolder = SystemName(publicFolder);
    FKey = std::move(key);
}

// Runs an entry point's work; whatever fails becomes its code.
template <class TWork>
WB_RESULT Guarded(TWork work) noexcept
{
    try {
        work();
        return WB_OK;
    } catch (const TWbError& error) {
        return error.Code;
    } catch (...) {
        return WB_E_INTERNAL;
    }
}

std::string MemoryBytes(const void* data, uint32_t size)
{
    if (!data && size != 0)
        Fail(WB_E_PARAMETER);
    return size == 0 ? std::string() : std::string(static_cast<const char*>(data), size);
}

// Copies the bytes into memory that the caller releases with FreeMemory.
void HandOut(const std::string& bytes, void** out, uint32_t* outSize)
{
    if (bytes.size() > UINT32_MAX)
        Fail(WB_E_TOO_LARGE);
    void* memory = std::malloc(std::max<size_t>(bytes.size(), 1));
    if (!memory)
        Fail(WB_E_INTERNAL);
    std::memcpy(memory, bytes.data(), bytes.size());
    *out = memory;
    *outSize = static_cast<uint32_t>(bytes.size());
}

void HandOutList(const std::vector<WB_CHECK_STATUS>& list, uint8_t* count, WB_CHECK_STATUS** out)
{
    if (list.empty())
        return;
    auto* memory = static_cast<WB_CHECK_STATUS*>(std::malloc(list.size() * sizeof(WB_CHECK_STATUS)));
    if (!memory)
        Fail(WB_E_INTERNAL);
    std::copy(list.begin(), list.end(), memory);
    *out = memory;
    *count = static_cast<uint8_t>(list.size());
}

void CheckSigner(const char* signerId)
{
    if (!signerId)
        Fail(WB_E_PARAMETER);
    if (SignPhase.Key().Id != signerId)
        Fail(WB_E_WRONG_KEY);
}

void CheckOwnNumber(uint16_t ownNumber)
{
    if (IdNumber(CryptoPhase.Key().Id) != ownNumber)
        Fail(WB_E_WRONG_KEY);
}

// The public keys of the recipient list (each number once); the reserved bytes must be
// zero.
std::vector<TPublicKey> RecipientKeys(const uint16_t* recipients, const uint8_t* reserved)
{
    if (!recipients)
        Fail(WB_E_PARAMETER);
    if (reserved && std::any_of(reserved, reserved + ReservedSize, [](uint8_t byte) { return byte != 0; }))
        Fail(WB_E_PARAMETER);
    std::vector<uint16_t> numbers;
    for (const uint16_t* number = recipients; *number != 0; ++number) {
        if (numbers.size() == MostRecipients || !IsKeyNumber(*number))
            Fail(WB_E_PARAMETER);
        if (std::find(numbers.begin(), numbers.end(), *number) == numbers.end())
            numbers.push_back(*number);
    }
    if (numbers.empty())
        Fail(WB_E_PARAMETER);
    std::vector<TPublicKey> keys;
    for (uint16_t number : numbers)
        keys.push_back(LoadPublicKey(CryptoPhase.PublicFolder(), number));
    return keys;
}

// The output pointers are cleared first, so that releasing them is safe on every path.
void ClearList(uint8_t* count, WB_CHECK_STATUS** list)
{
    if (!count || !list)
        Fail(WB_E_PARAMETER);
    *count = 0;
    *list = nullptr;
}

void ClearOutput(void** out, uint32_t* outSize)
{
    if (!out || !outSize)
        Fail(WB_E_PARAMETER);
    *out = nullptr;
    *outSize = 0;
}

} // namespace

extern "C" {

WB_RESULT GetCurrID(char* id, char kind)
{
    return Guarded([&] {
        const TPhase* phase = kind == WB_KEY_SIGN ? &SignPhase : kind == WB_KEY_CRYPT ? &CryptoPhase : nullptr;
        if (!id || !phase)
            Fail(WB_E_PARAMETER);
        const std::string& loaded = phase->Key().Id;
        std::memcpy(id, loaded.c_str(), loaded.size() + 1);
    });
}

WB_RESULT SignInit(const char* secretFolder, const char* publicFolder)
{
    return Guarded([&] { SignPhase.Start(secretFolder, publicFolder); });
}

WB_RESULT SignFile(const char* inFile, const char* outFile, const char* signerId)
{
    return Guarded([&] {
        CheckSigner(signerId);
        const std::string input = SystemName(inFile);
        const std::string output = SystemName(outFile);
        WriteWholeFile(output, AddSignature(ReadWholeFile(input), SignPhase.Key()));
    });
}

WB_RESULT SignMem(const void* data, uint32_t size, void** signedData, uint32_t* signedSize, const char* signerId)
{
    return Guarded([&] {
        ClearOutput(signedData, signedSize);
        CheckSigner(signerId);
        HandOut(AddSignature(MemoryBytes(data, size), SignPhase.Key()), signedData, signedSize);
    });
}

WB_RESULT check_file_sign(const char* file, uint8_t* count, WB_CHECK_STATUS** list)
{
    return Guarded([&] {
        ClearList(count, list);
        const std::string& publicFolder = SignPhase.PublicFolder();
        HandOutList(CheckSignatures(ReadWholeFile(SystemName(file)), publicFolder), count, list);
    });
}

WB_RESULT check_mem_sign(const void* data, uint32_t size, uint8_t* count, WB_CHECK_STATUS** list)
{
    return Guarded([&] {
        ClearList(count, list);
        const std::string& publicFolder = SignPhase.PublicFolder();
        HandOutList(CheckSignatures(MemoryBytes(data, size), publicFolder), count, list);
    });
}

WB_RESULT DelSign(const char* file, uint8_t which)
{
    return Guarded([&] {
        const std::string name = SystemName(file);
        WriteWholeFile(name, RemoveSignatures(ReadWholeFile(name), which));
    });
}

WB_RESULT Del_Mem_Sign(void* data, uint32_t* size, uint8_t which)
{
    return Guarded([&] {
        if (!size)
            Fail(WB_E_PARAMETER);
        const std::string bytes = RemoveSignatures(MemoryBytes(data, *size), which);
        if (!bytes.empty())
            std::memcpy(data, bytes.data(), bytes.size());
        *size = static_cast<uint32_t>(bytes.size());
    });
}

void SignDone(void) { SignPhase.Stop(); }

WB_RESULT CryptoInit(const char* secretFolder, const char* publicFolder)
{
    return Guarded([&] { CryptoPhase.Start(secretFolder, publicFolder); });
}

WB_RESULT EnCryptFile(const char* inFile, const char* outFile, uint16_t ownNumber, const uint16_t* recipients,
                      const uint8_t* reserved)
{
    return Guarded([&] {
        CheckOwnNumber(ownNumber);
        const std::vector<TPublicKey> keys = RecipientKeys(recipients, reserved);
        const std::string input = SystemName(inFile);
        const std::string output = SystemName(outFile);
        WriteWholeFile(output, Encrypt(ReadWholeFile(input), CryptoPhase.Key(), keys));
    });
}

WB_RESULT EnCryptMem(const void* data, uint32_t size, void** out, uint32_t* outSize, uint16_t ownNumber,
                     const uint16_t* recipients, const uint8_t* reserved)
{
    return Guarded([&] {
        ClearOutput(out, outSize);
        CheckOwnNumber(ownNumber);
        const std::vector<TPublicKey> keys = RecipientKeys(recipients, reserved);
        HandOut(Encrypt(MemoryBytes(data, size), CryptoPhase.Key(), keys), out, outSize);
    });
}

WB_RESULT DeCryptFile(const char* inFile, const char* outFile, uint16_t ownNumber)
{
    return Guarded([&] {
        CheckOwnNumber(ownNumber);
        const std::string input = SystemName(inFile);
        const std::string output = SystemName(outFile);
        WriteWholeFile(output, Decrypt(ReadWholeFile(input), CryptoPhase.Key(), CryptoPhase.PublicFolder()));
    });
}

WB_RESULT DeCryptMem(const void* data, uint32_t size, void** out, uint32_t* outSize, uint16_t ownNumber)
{
    return Guarded([&] {
        ClearOutput(out, outSize);
        CheckOwnNumber(ownNumber);
        HandOut(Decrypt(MemoryBytes(data, size), CryptoPhase.Key(), CryptoPhase.PublicFolder()), out, outSize);
    });
}

void CryptoDone(void) { CryptoPhase.Stop(); }

void FreeMemory(void* memory) { std::free(memory); }

} // extern "C"
