// Our Verba stand-in on its own, loaded by its path as the program loads it: what the
// round trips through the Verba back end (VerbaCipherTest) do not show, that its
// signatures are real. (The memory entry points are only looked up by the program, which
// the round trips prove.)

#include "standins/wbotho/wbotho.h"

#include "WbothoParties.h"
#include "support/TestSupport.h"

#include <dlfcn.h>

#include <cstddef>
#include <filesystem>

namespace {

static_assert(sizeof(WB_CHECK_STATUS) == 140, "a check list entry is 140 bytes");
static_assert(offsetof(WB_CHECK_STATUS, Status) == 135, "the status stands at offset 135");

// The entry points, resolved by name in the order the program resolves them.
#define WBOTHO_ENTRIES(X) X(GetCurrID) X(SignInit) X(SignFile) X(check_file_sign) X(DelSign) X(SignDone) \
    X(CryptoInit) X(EnCryptFile) X(DeCryptFile) X(CryptoDone) X(FreeMemory)
#define WBOTHO_DECLARE(name) decltype(&::name) name;
#define WBOTHO_RESOLVE(name)                                               \
    Wb.name = reinterpret_cast<decltype(&::name)>(dlsym(FLibrary, #name)); \
    ASSERT_NE(Wb.name, nullptr) << #name;
struct TWbotho {
    WBOTHO_ENTRIES(WBOTHO_DECLARE)
};

constexpr uint16_t BankKey = 1;
constexpr uint16_t ClientKey = 2;

class WbothoTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        FLibrary = dlopen(WBOTHO_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(FLibrary, nullptr) << dlerror();
        WBOTHO_ENTRIES(WBOTHO_RESOLVE)
    }
    static void TearDownTestSuite()
    {
        if (FLibrary)
            dlclose(FLibrary);
    }

    // The bank (key 1) and the client (key 2), each with the other's public key.
    WbothoTest()
    {
        ShareWbothoKey(FBank, FClient, BankKey);
        ShareWbothoKey(FClient, FBank, ClientKey);
    }

    // The signatures of a file as (identifier, status) pairs.
    static std::vector<std::pair<std::string, int>> Signatures(const TWbothoParty& party, const AnsiString& file)
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

    // Flips a bit of the byte at that position.
    static void FlipByte(const AnsiString& file, size_t position)
    {
        std::string bytes = ReadBytes(file);
        bytes.at(position) ^= 0x20;
        WriteBytes(file, bytes);
    }

    static void* FLibrary;
    static TWbotho Wb;
    TTempDir FDir;
    TWbothoParty FBank = MakeWbothoParty(FDir.File("bank/"), BankKey);
    TWbothoParty FClient = MakeWbothoParty(FDir.File("client/"), ClientKey);
    const AnsiString FA = FDir.File("a"), FB = FDir.File("b");
};

void* WbothoTest::FLibrary = nullptr;
TWbotho WbothoTest::Wb = {};

TEST_F(WbothoTest, SignatureStatuses)
{
    const std::string data = RandomBytes(3000, 5);
    WriteBytes(FA, data);
    char id[WB_ID_BUFFER];
    ASSERT_EQ(Wb.SignInit(FBank.Secret.c_str(), FBank.Public.c_str()), WB_OK);
    ASSERT_EQ(Wb.GetCurrID(id, 'S'), WB_OK);
    ASSERT_EQ(Wb.SignFile(FA.c_str(), FB.c_str(), id), WB_OK);
    Wb.SignDone();

    EXPECT_EQ(Signatures(FClient, FB), (std::vector<std::pair<std::string, int>>{{id, WB_SIGN_OK}}));
    EXPECT_TRUE(Signatures(FClient, FA).empty());   // unsigned: no entries, no list

    FlipByte(FB, 2000);   // inside the data
    EXPECT_EQ(Signatures(FClient, FB), (std::vector<std::pair<std::string, int>>{{id, WB_SIGN_BAD}}));

    // The data restored, but the client lacks the signer's public key.
    FlipByte(FB, 2000);
    std::filesystem::remove(WbothoPublicFile(FClient, BankKey));
    EXPECT_EQ(Signatures(FClient, FB), (std::vector<std::pair<std::string, int>>{{id, WB_SIGN_NO_KEY}}));
}

} // namespace
