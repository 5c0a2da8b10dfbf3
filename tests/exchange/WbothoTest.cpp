// Our Verba stand-in, loaded by its path as the program loads it, and its key tool
// playing the bank.

#include "standins/wbotho/wbotho.h"

#include "WbothoParties.h"
#include "exchange/Appexec.h"
#include "platform/Classes.h"
#include "support/TestSupport.h"

#include <dlfcn.h>

#include <cstddef>
#include <filesystem>

namespace {

static_assert(sizeof(WB_CHECK_STATUS) == 140, "a check list entry is 140 bytes");
static_assert(offsetof(WB_CHECK_STATUS, Status) == 135, "the status stands at offset 135");

// The entry points, resolved by name in the order the program resolves them.
struct TWbotho {
    decltype(&::GetCurrID) GetCurrID;
    decltype(&::SignInit) SignInit;
    decltype(&::SignFile) SignFile;
    decltype(&::SignMem) SignMem;
    decltype(&::check_file_sign) check_file_sign;
    decltype(&::check_mem_sign) check_mem_sign;
    decltype(&::DelSign) DelSign;
    decltype(&::Del_Mem_Sign) Del_Mem_Sign;
    decltype(&::SignDone) SignDone;
    decltype(&::CryptoInit) CryptoInit;
    decltype(&::EnCryptFile) EnCryptFile;
    decltype(&::EnCryptMem) EnCryptMem;
    decltype(&::DeCryptFile) DeCryptFile;
    decltype(&::DeCryptMem) DeCryptMem;
    decltype(&::CryptoDone) CryptoDone;
    decltype(&::FreeMemory) FreeMemory;
};

template <class TFunction>
void Resolve(void* library, const char* name, TFunction& function)
{
    function = reinterpret_cast<TFunction>(dlsym(library, name));
    ASSERT_NE(function, nullptr) << name;
}

using TParty = TWbothoParty;

constexpr uint16_t BankKey = 1;
constexpr uint16_t ClientKey = 2;

class WbothoTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        FLibrary = dlopen(WBOTHO_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(FLibrary, nullptr) << dlerror();
        Resolve(FLibrary, "GetCurrID", Wb.GetCurrID);
        Resolve(FLibrary, "SignInit", Wb.SignInit);
        Resolve(FLibrary, "SignFile", Wb.SignFile);
        Resolve(FLibrary, "SignMem", Wb.SignMem);
        Resolve(FLibrary, "check_file_sign", Wb.check_file_sign);
        Resolve(FLibrary, "check_mem_sign", Wb.check_mem_sign);
        Resolve(FLibrary, "DelSign", Wb.DelSign);
        Resolve(FLibrary, "Del_Mem_Sign", Wb.Del_Mem_Sign);
        Resolve(FLibrary, "SignDone", Wb.SignDone);
        Resolve(FLibrary, "CryptoInit", Wb.CryptoInit);
        Resolve(FLibrary, "EnCryptFile", Wb.EnCryptFile);
        Resolve(FLibrary, "EnCryptMem", Wb.EnCryptMem);
        Resolve(FLibrary, "DeCryptFile", Wb.DeCryptFile);
        Resolve(FLibrary, "DeCryptMem", Wb.DeCryptMem);
        Resolve(FLibrary, "CryptoDone", Wb.CryptoDone);
        Resolve(FLibrary, "FreeMemory", Wb.FreeMemory);
    }
    static void TearDownTestSuite()
    {
        if (FLibrary)
            dlclose(FLibrary);
    }

    // The bank (key 1) and the client (key 2), each with the other's public key.
    void SetUp() override
    {
        FBank = MakeParty("bank", BankKey);
        FClient = MakeParty("client", ClientKey);
        Share(FBank, FClient, BankKey);
        Share(FClient, FBank, ClientKey);
    }

    TParty MakeParty(const AnsiString& name, uint16_t number) { return MakeWbothoParty(FDir.File(name + "/"), number); }
    static AnsiString PublicFile(const TParty& party, uint16_t number) { return WbothoPublicFile(party, number); }
    static void Share(const TParty& from, const TParty& to, uint16_t number) { ShareWbothoKey(from, to, number); }

    // The client's encryption as the program does it: sign A into B, encrypt B into A.
    static WB_RESULT ClientEncrypt(const TParty& party, const AnsiString& a, const AnsiString& b,
                                   uint16_t recipient = BankKey)
    {
        char id[WB_ID_BUFFER] = {};
        WB_RESULT result = Wb.SignInit(party.Secret.c_str(), party.Public.c_str());
        if (result == WB_OK)
            result = Wb.GetCurrID(id, 'S');
        if (result == WB_OK)
            result = Wb.SignFile(a.c_str(), b.c_str(), id);
        Wb.SignDone();
        if (result != WB_OK)
            return result;
        const uint16_t recipients[] = {recipient, 0};
        const uint8_t reserved[6] = {};
        result = Wb.CryptoInit(party.Secret.c_str(), party.Public.c_str());
        if (result == WB_OK)
            result = Wb.GetCurrID(id, 'E');
        if (result == WB_OK)
            result = Wb.EnCryptFile(b.c_str(), a.c_str(), static_cast<uint16_t>(std::stoi(std::string(id, 4))),
                                    recipients, reserved);
        Wb.CryptoDone();
        return result;
    }

    static WB_RESULT Decrypt(const TParty& party, const AnsiString& a, const AnsiString& b)
    {
        char id[WB_ID_BUFFER] = {};
        WB_RESULT result = Wb.CryptoInit(party.Secret.c_str(), party.Public.c_str());
        if (result == WB_OK)
            result = Wb.GetCurrID(id, 'E');
        if (result == WB_OK)
            result = Wb.DeCryptFile(a.c_str(), b.c_str(), static_cast<uint16_t>(std::stoi(std::string(id, 4))));
        Wb.CryptoDone();
        return result;
    }

    // The signatures of a file as (identifier, status) pairs.
    static std::vector<std::pair<std::string, int>> Signatures(const TParty& party, const AnsiString& file)
    {
        std::vector<std::pair<std::string, int>> found;
        EXPECT_EQ(Wb.SignInit(party.Secret.c_str(), party.Public.c_str()), WB_OK);
        uint8_t count = 99;
        WB_CHECK_STATUS* list = reinterpret_cast<WB_CHECK_STATUS*>(1);
        EXPECT_EQ(Wb.check_file_sign(file.c_str(), &count, &list), WB_OK);
        for (int i = 0; i < count; ++i)
            found.emplace_back(list[i].ID, list[i].Status);
        if (count == 0) {
            EXPECT_EQ(list, nullptr);
        }
        Wb.FreeMemory(list);
        Wb.SignDone();
        return found;
    }

    // Flips a bit of the byte at that position; a negative position counts from the end.
    static void FlipByte(const AnsiString& file, long position)
    {
        std::string bytes = ReadBytes(file);
        bytes.at(position >= 0 ? position : bytes.size() + position) ^= 0x20;
        WriteBytes(file, bytes);
    }

    static void* FLibrary;
    static TWbotho Wb;
    TTempDir FDir;
    TParty FBank, FClient;
};

void* WbothoTest::FLibrary = nullptr;
TWbotho WbothoTest::Wb = {};

TEST_F(WbothoTest, ClientToBankRoundTrip)
{
    for (const std::string& data : {RandomBytes(1 << 20, 1), std::string()}) {
        const AnsiString a = FDir.File("a"), b = FDir.File("b"), plain = FDir.File("plain");
        WriteBytes(a, data);
        ASSERT_EQ(ClientEncrypt(FClient, a, b), WB_OK);
        if (!data.empty()) {
            EXPECT_EQ(ReadBytes(a).find(data.substr(0, 64)), std::string::npos);   // no plain text
        }

        const TProgramRun run = WbothoTool({"open", FBank.Secret, FBank.Public, "2", a, plain});
        EXPECT_EQ(run.ExitCode, 0) << run.Errors;
        EXPECT_TRUE(ReadBytes(plain) == data);
    }
}

TEST_F(WbothoTest, BankToClientRoundTrip)
{
    const std::string data = RandomBytes(1 << 20, 2);
    const AnsiString input = FDir.File("answer"), a = FDir.File("a"), b = FDir.File("b");
    WriteBytes(input, data);
    TProgramRun run = WbothoTool({"seal", FBank.Secret, FBank.Public, "2", input, a});
    ASSERT_EQ(run.ExitCode, 0) << run.Errors;

    ASSERT_EQ(Decrypt(FClient, a, b), WB_OK);
    const auto signatures = Signatures(FClient, b);
    ASSERT_EQ(signatures.size(), 1u);
    EXPECT_EQ(signatures[0].first.substr(0, 4), "0001");
    EXPECT_EQ(signatures[0].first.size(), static_cast<size_t>(WB_ID_LENGTH));
    EXPECT_EQ(signatures[0].second, WB_SIGN_OK);
    EXPECT_EQ(Wb.DelSign(b.c_str(), WB_ALL_SIGNATURES), WB_OK);
    EXPECT_TRUE(ReadBytes(b) == data);
}

TEST_F(WbothoTest, FlippedByteIsRefused)
{
    const AnsiString input = FDir.File("answer"), a = FDir.File("a"), b = FDir.File("b");
    WriteBytes(input, RandomBytes(5000, 3));
    ASSERT_EQ(WbothoTool({"seal", FBank.Secret, FBank.Public, "2", input, a}).ExitCode, 0);
    const std::string sealed = ReadBytes(a);

    FlipByte(a, -100);   // inside the sealed data
    EXPECT_EQ(Decrypt(FClient, a, b), WB_E_DAMAGED);

    WriteBytes(a, sealed);
    // Mark 8, sender 16, count 2, then the client's entry: identifier 16, nonce 24 and
    // the wrapped file key.
    FlipByte(a, 8 + 16 + 2 + 16 + 24 + 10);
    EXPECT_EQ(Decrypt(FClient, a, b), WB_E_KEY_MISMATCH);

    WriteBytes(a, "WBCRYPT2" + sealed.substr(8));
    EXPECT_EQ(Decrypt(FClient, a, b), WB_E_FORMAT);
    WriteBytes(a, sealed.substr(0, 60));
    EXPECT_EQ(Decrypt(FClient, a, b), WB_E_FORMAT);

    // The bank's tool refuses an altered container from the client and leaves no output.
    WriteBytes(a, RandomBytes(5000, 4));
    ASSERT_EQ(ClientEncrypt(FClient, a, b), WB_OK);
    FlipByte(a, -10);
    const AnsiString plain = FDir.File("plain");
    const TProgramRun run = WbothoTool({"open", FBank.Secret, FBank.Public, "2", a, plain});
    EXPECT_EQ(run.ExitCode, 2);
    EXPECT_NE(run.Errors.find("DeCryptFile failed: the data was altered (code 12)"), std::string::npos) << run.Errors;
    EXPECT_FALSE(std::filesystem::exists(plain));
}

TEST_F(WbothoTest, SignatureStatuses)
{
    const std::string data = RandomBytes(3000, 5);
    const AnsiString a = FDir.File("a"), b = FDir.File("b");
    WriteBytes(a, data);
    char id[WB_ID_BUFFER];
    ASSERT_EQ(Wb.SignInit(FBank.Secret.c_str(), FBank.Public.c_str()), WB_OK);
    ASSERT_EQ(Wb.GetCurrID(id, 'S'), WB_OK);
    ASSERT_EQ(Wb.SignFile(a.c_str(), b.c_str(), id), WB_OK);
    Wb.SignDone();

    EXPECT_EQ(Signatures(FClient, b), (std::vector<std::pair<std::string, int>>{{id, WB_SIGN_OK}}));
    EXPECT_TRUE(Signatures(FClient, a).empty());   // unsigned: no entries, no list

    FlipByte(b, 2000);   // inside the data
    EXPECT_EQ(Signatures(FClient, b), (std::vector<std::pair<std::string, int>>{{id, WB_SIGN_BAD}}));

    // The data restored, but the client lacks the signer's public key.
    FlipByte(b, 2000);
    std::filesystem::remove(PublicFile(FClient, BankKey));
    EXPECT_EQ(Signatures(FClient, b), (std::vector<std::pair<std::string, int>>{{id, WB_SIGN_NO_KEY}}));
}

TEST_F(WbothoTest, SecondSignatureAndRemovalByIndex)
{
    const std::string data = "payroll";
    const AnsiString a = FDir.File("a"), b = FDir.File("b");
    WriteBytes(a, data);
    char bankId[WB_ID_BUFFER], clientId[WB_ID_BUFFER];
    ASSERT_EQ(Wb.SignInit(FBank.Secret.c_str(), FBank.Public.c_str()), WB_OK);
    ASSERT_EQ(Wb.GetCurrID(bankId, 'S'), WB_OK);
    ASSERT_EQ(Wb.SignFile(a.c_str(), b.c_str(), bankId), WB_OK);
    ASSERT_EQ(Wb.SignInit(FClient.Secret.c_str(), FClient.Public.c_str()), WB_OK);
    ASSERT_EQ(Wb.GetCurrID(clientId, 'S'), WB_OK);
    EXPECT_EQ(Wb.SignFile(b.c_str(), b.c_str(), bankId), WB_E_WRONG_KEY);
    ASSERT_EQ(Wb.SignFile(b.c_str(), b.c_str(), clientId), WB_OK);
    Wb.SignDone();

    EXPECT_EQ(Signatures(FBank, b),
              (std::vector<std::pair<std::string, int>>{{bankId, WB_SIGN_OK}, {clientId, WB_SIGN_OK}}));
    EXPECT_EQ(Wb.DelSign(b.c_str(), 2), WB_E_PARAMETER);
    ASSERT_EQ(Wb.DelSign(b.c_str(), 0), WB_OK);
    EXPECT_EQ(Signatures(FBank, b), (std::vector<std::pair<std::string, int>>{{clientId, WB_SIGN_OK}}));
    ASSERT_EQ(Wb.DelSign(b.c_str(), WB_ALL_SIGNATURES), WB_OK);
    EXPECT_EQ(ReadBytes(b), data);
    EXPECT_EQ(Wb.DelSign(b.c_str(), WB_ALL_SIGNATURES), WB_OK);   // unsigned stays as it is
    EXPECT_EQ(ReadBytes(b), data);
}

TEST_F(WbothoTest, WrongKeyIsRefused)
{
    const AnsiString input = FDir.File("answer"), a = FDir.File("a"), b = FDir.File("b");
    WriteBytes(input, "reference list");
    ASSERT_EQ(WbothoTool({"seal", FBank.Secret, FBank.Public, "2", input, a}).ExitCode, 0);

    // A new key pair of the client's number, and a key of another number.
    TParty renewed = MakeParty("renewed", ClientKey);
    Share(FBank, renewed, BankKey);
    EXPECT_EQ(Decrypt(renewed, a, b), WB_E_KEY_MISMATCH);
    TParty other = MakeParty("other", 3);
    Share(FBank, other, BankKey);
    EXPECT_EQ(Decrypt(other, a, b), WB_E_NOT_RECIPIENT);

    // The client's folder holds another key pair under the bank's number.
    TParty impostor = MakeParty("impostor", BankKey);
    Share(impostor, FClient, BankKey);
    EXPECT_EQ(Decrypt(FClient, a, b), WB_E_KEY_MISMATCH);
    Share(FBank, FClient, BankKey);

    // The loaded key is not the number named.
    ASSERT_EQ(Wb.CryptoInit(FClient.Secret.c_str(), FClient.Public.c_str()), WB_OK);
    EXPECT_EQ(Wb.DeCryptFile(a.c_str(), b.c_str(), 5), WB_E_WRONG_KEY);
    Wb.CryptoDone();

    // The bank's tool wants the signature of the key it is told.
    WriteBytes(a, "salary list");
    ASSERT_EQ(ClientEncrypt(FClient, a, b), WB_OK);
    const TProgramRun run = WbothoTool({"open", FBank.Secret, FBank.Public, "7", a, FDir.File("plain")});
    EXPECT_EQ(run.ExitCode, 2);
    EXPECT_NE(run.Errors.find("no valid signature of key 7"), std::string::npos) << run.Errors;
}

TEST_F(WbothoTest, KeysAndPhases)
{
    const char* sec = FClient.Secret.c_str();
    const char* pub = FClient.Public.c_str();
    char id[WB_ID_BUFFER];
    EXPECT_EQ(Wb.GetCurrID(id, 'S'), WB_E_NOT_INITIALIZED);
    EXPECT_EQ(Wb.GetCurrID(id, 'E'), WB_E_NOT_INITIALIZED);
    ASSERT_EQ(Wb.SignInit(sec, pub), WB_OK);
    EXPECT_EQ(Wb.GetCurrID(id, 'X'), WB_E_PARAMETER);
    EXPECT_EQ(Wb.GetCurrID(id, 'E'), WB_E_NOT_INITIALIZED);
    Wb.SignDone();
    EXPECT_EQ(Wb.GetCurrID(id, 'S'), WB_E_NOT_INITIALIZED);

    const AnsiString empty = FDir.File("empty/");
    std::filesystem::create_directory(empty);
    EXPECT_EQ(Wb.SignInit(empty.c_str(), pub), WB_E_NO_SECRET_KEY);
    EXPECT_EQ(Wb.CryptoInit(FDir.File("missing/").c_str(), pub), WB_E_NO_SECRET_KEY);
    std::filesystem::copy_file(FBank.Secret + "0001.sec", FClient.Secret + "0001.sec");
    EXPECT_EQ(Wb.SignInit(sec, pub), WB_E_NO_SECRET_KEY);   // two keys: which one?
    std::filesystem::remove(FClient.Secret + "0001.sec");
    WriteBytes(FClient.Secret + "0002.sec", ReadBytes(FClient.Secret + "0002.sec").substr(0, 100));
    EXPECT_EQ(Wb.SignInit(sec, pub), WB_E_KEY_FILE);

    // Recipients: a missing public key, an empty list, reserved bytes not zero.
    ASSERT_EQ(Wb.CryptoInit(FBank.Secret.c_str(), FBank.Public.c_str()), WB_OK);
    const AnsiString a = FDir.File("a"), b = FDir.File("b");
    WriteBytes(a, "x");
    const uint16_t unknown[] = {7, 0}, none[] = {0}, client[] = {ClientKey, 0};
    const uint8_t reserved[6] = {0, 0, 0, 1, 0, 0};
    EXPECT_EQ(Wb.EnCryptFile(a.c_str(), b.c_str(), BankKey, unknown, nullptr), WB_E_NO_PUBLIC_KEY);
    EXPECT_EQ(Wb.EnCryptFile(a.c_str(), b.c_str(), BankKey, none, nullptr), WB_E_PARAMETER);
    EXPECT_EQ(Wb.EnCryptFile(a.c_str(), b.c_str(), BankKey, client, reserved), WB_E_PARAMETER);
    EXPECT_EQ(Wb.EnCryptFile(FDir.File("nothing").c_str(), b.c_str(), BankKey, client, nullptr), WB_E_READ);
    EXPECT_EQ(Wb.EnCryptFile(a.c_str(), FDir.File("no/such/b").c_str(), BankKey, client, nullptr), WB_E_WRITE);
    Wb.CryptoDone();
}

TEST_F(WbothoTest, CyrillicFolderNamesInCodePage1251)
{
    const TParty party = MakeParty("Ключи клиента", 4);
    EXPECT_TRUE(std::filesystem::exists(AnsiToUtf8(party.Secret) + "0004.sec"));
    char id[WB_ID_BUFFER];
    ASSERT_EQ(Wb.SignInit(party.Secret.c_str(), party.Public.c_str()), WB_OK);
    EXPECT_EQ(Wb.GetCurrID(id, 'S'), WB_OK);
    EXPECT_EQ(std::string(id, 4), "0004");
    Wb.SignDone();
}

TEST_F(WbothoTest, MemoryCalls)
{
    const std::string data = RandomBytes(10000, 6);
    char id[WB_ID_BUFFER];
    ASSERT_EQ(Wb.SignInit(FClient.Secret.c_str(), FClient.Public.c_str()), WB_OK);
    ASSERT_EQ(Wb.GetCurrID(id, 'S'), WB_OK);
    void* signedData = nullptr;
    uint32_t signedSize = 0;
    ASSERT_EQ(Wb.SignMem(data.data(), static_cast<uint32_t>(data.size()), &signedData, &signedSize, id), WB_OK);
    Wb.SignDone();

    ASSERT_EQ(Wb.CryptoInit(FClient.Secret.c_str(), FClient.Public.c_str()), WB_OK);
    const uint16_t bank[] = {BankKey, 0};
    void* sealed = nullptr;
    uint32_t sealedSize = 0;
    ASSERT_EQ(Wb.EnCryptMem(signedData, signedSize, &sealed, &sealedSize, ClientKey, bank, nullptr), WB_OK);
    Wb.CryptoDone();
    Wb.FreeMemory(signedData);

    ASSERT_EQ(Wb.CryptoInit(FBank.Secret.c_str(), FBank.Public.c_str()), WB_OK);
    void* opened = nullptr;
    uint32_t openedSize = 0;
    ASSERT_EQ(Wb.DeCryptMem(sealed, sealedSize, &opened, &openedSize, BankKey), WB_OK);
    Wb.CryptoDone();
    Wb.FreeMemory(sealed);

    ASSERT_EQ(Wb.SignInit(FBank.Secret.c_str(), FBank.Public.c_str()), WB_OK);
    uint8_t count = 0;
    WB_CHECK_STATUS* list = nullptr;
    ASSERT_EQ(Wb.check_mem_sign(opened, openedSize, &count, &list), WB_OK);
    ASSERT_EQ(count, 1);
    EXPECT_STREQ(list[0].ID, id);
    EXPECT_EQ(list[0].Status, WB_SIGN_OK);
    Wb.FreeMemory(list);
    ASSERT_EQ(Wb.Del_Mem_Sign(opened, &openedSize, WB_ALL_SIGNATURES), WB_OK);
    Wb.SignDone();
    EXPECT_TRUE(std::string(static_cast<char*>(opened), openedSize) == data);
    Wb.FreeMemory(opened);
}

} // namespace
