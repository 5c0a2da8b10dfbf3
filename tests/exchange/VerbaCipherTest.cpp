// The Verba back end: the exact calls it makes, over a recording fake of the library, and
// real round trips with the bank over our stand-in library and its key tool.

#include "CipherSupport.h"
#include "WbothoParties.h"
#include "exchange/ExchangeProfile.h"
#include "fakewbotho/FakeWbotho.h"

#include "exchange/Ciphers.h"
#include "platform/Paths.h"
#include "support/TestSupport.h"

#include <dlfcn.h>

#include <cstring>
#include <filesystem>

namespace {

using TCalls = std::vector<std::string>;

const TCalls EncryptCalls = {"SignInit",   "GetCurrID(S)", "SignFile",     "SignDone",
                             "CryptoInit", "GetCurrID(E)", "EnCryptFile", "CryptoDone"};
const TCalls DecryptCalls = {"CryptoInit", "GetCurrID(E)",    "DeCryptFile", "CryptoDone", "SignInit",
                             "check_file_sign", "FreeMemory", "DelSign",     "SignDone"};

WB_CHECK_STATUS Signature(const char* id, uint8_t status)
{
    WB_CHECK_STATUS entry{};
    std::strncpy(entry.ID, id, sizeof entry.ID - 1);
    entry.Status = status;
    return entry;
}

class VerbaCallsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // The test's own handle keeps the fake loaded, so the cipher's load finds the same
        // library and the same state.
        FLibrary = dlopen(FAKE_WBOTHO_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(FLibrary, nullptr) << dlerror();
        auto state = reinterpret_cast<TFakeWbothoState* (*)()>(dlsym(FLibrary, "FakeWbothoState"));
        ASSERT_NE(state, nullptr);
        FState = state();
    }
    static void TearDownTestSuite() { dlclose(FLibrary); }

    void SetUp() override
    {
        ForceDirectories(FTemp);
        *FState = TFakeWbothoState();
        FState->Signatures = {Signature("0001ABCDEF", 0)};
    }

    // The temporary folder is as empty as before the call.
    void ExpectNoFilesLeft()
    {
        EXPECT_TRUE(std::filesystem::is_empty(ToSystemPath(FTemp)));
    }

    static inline void* FLibrary = nullptr;
    static inline TFakeWbothoState* FState = nullptr;
    TTempDir FDir;
    AnsiString FTemp = FDir.File("tmp/");
    TEnvironmentVariable FTempVariable{"TMPDIR", ToSystemPath(FTemp)};
    TExchangeProfile FProfile{FDir, {"CipherType=VERBA", "BankVerbaKey=0001", "VerbaSecPath=A:\\sec",
                                     "VerbaPubPath=/keys/pub"}};
    TVerbaCipher FCipher{FAKE_WBOTHO_PATH};
};

TEST_F(VerbaCallsTest, EncryptSignsThenEncryptsForTheBankThroughPrivateFiles)
{
    TMemoryStream source, target;
    source.WriteString("skipdata");
    source.SetPosition(4);
    target.WriteString("kept");
    FCipher.Encrypt(&source, &target);
    EXPECT_EQ(target.Bytes(), "keptdata");

    EXPECT_EQ(FState->Calls, EncryptCalls);
    // The diskette drive of the stored path is where the system finds it.
    EXPECT_EQ(FState->SecretFolder, "/media/floppy/sec/");
    EXPECT_EQ(FState->PublicFolder, "/keys/pub/");
    EXPECT_EQ(FState->SignerId, "0002A1B2C3");
    EXPECT_EQ(FState->OwnNumber, 2);
    EXPECT_EQ(FState->Recipients, std::vector<uint16_t>{1});
    EXPECT_TRUE(FState->ReservedZero);
    EXPECT_TRUE(FState->FilesPrivate);

    // Sign A into B, encrypt B into A; both in one private folder of the temporary folder.
    ASSERT_EQ(FState->Files.size(), 4u);
    const AnsiString folder = ExtractFilePath(FState->Files[0]);
    EXPECT_EQ(ExtractFilePath(ExcludeTrailingPathDelimiter(folder)), FTemp);
    EXPECT_EQ(FState->Files, TCalls({folder + "ABC.TEMP.$00", folder + "ABC.TEMP.$01", folder + "ABC.TEMP.$01",
                                     folder + "ABC.TEMP.$00"}));
    ExpectNoFilesLeft();
}

TEST_F(VerbaCallsTest, TheBanksEntryMustBeValid)
{
    struct TCase {
        std::vector<WB_CHECK_STATUS> Signatures;
        bool Accepted;
    } cases[] = {
        {{Signature("0003ABCDEF", 0), Signature("0001ABCDEF", 0)}, true},
        {{Signature("0001ABCDEF", 1), Signature("0003ABCDEF", 0)}, false},
        {{Signature("0010ABCDEF", 0), Signature("1000ABCDEF", 0), Signature("001", 0)}, false},
        {{}, false},
    };
    for (const TCase& test : cases) {
        SCOPED_TRACE(test.Signatures.size());
        SetUp();
        FState->Signatures = test.Signatures;
        if (test.Accepted) {
            // The bank's signature is checked, then every signature removed.
            EXPECT_EQ(DecryptBytes(FCipher, "data"), "data");
            EXPECT_EQ(FState->Calls, DecryptCalls);
            EXPECT_EQ(FState->OwnNumber, 2);
            EXPECT_EQ(FState->DelSignWhich, 255u);
            EXPECT_TRUE(FState->FilesPrivate);
        } else {
            EXPECT_RAISES(DecryptBytes(FCipher, "data"), Exception, "Подпись банка не найдена либо некорректна");
            TCalls expected(DecryptCalls.begin(), DecryptCalls.end() - 2);
            expected.push_back("SignDone");
            EXPECT_EQ(FState->Calls, expected);
        }
        EXPECT_TRUE(FState->ListFreed);
        ExpectNoFilesLeft();
    }
}

TEST_F(VerbaCallsTest, LibraryErrorsCloseThePhaseAndLeaveNoFiles)
{
    struct TCase {
        bool Encrypt;
        std::string Failing;
        const char* Message;
        size_t CallsMade;   // up to the failing call
        const char* Closing;
    } cases[] = {
        {true, "SignInit", "Ошибка инициализации функций ЭЦП", 1, "SignDone"},
        {true, "GetCurrID(S)", "Ошибка определения загруженного ключа подписи", 2, "SignDone"},
        {true, "SignFile", "Ошибка подписывания данных", 3, "SignDone"},
        {true, "CryptoInit", "Ошибка инициализации функций шифрования", 5, "CryptoDone"},
        {true, "GetCurrID(E)", "Ошибка определения загруженного ключа шифрования", 6, "CryptoDone"},
        {true, "EnCryptFile", "Ошибка шифрования данных", 7, "CryptoDone"},
        {false, "CryptoInit", "Ошибка инициализации функций шифрования", 1, "CryptoDone"},
        {false, "GetCurrID(E)", "Ошибка определения загруженного ключа шифрования", 2, "CryptoDone"},
        {false, "DeCryptFile", "Ошибка расшифровки данных", 3, "CryptoDone"},
        {false, "SignInit", "Ошибка инициализации функций ЭЦП", 5, "SignDone"},
        {false, "check_file_sign", "Ошибка проверки подписи", 6, "FreeMemory"},
        {false, "DelSign", "Ошибка удаления подписи", 8, "SignDone"},
    };
    for (const TCase& test : cases) {
        SCOPED_TRACE(test.Failing);
        SetUp();
        FState->Results[test.Failing] = 5;
        const AnsiString message = AnsiString(test.Message) + ", код ошибки Вербы: 5";
        const TCalls& all = test.Encrypt ? EncryptCalls : DecryptCalls;
        TCalls expected(all.begin(), all.begin() + test.CallsMade);
        expected.push_back(test.Closing);
        if (test.Failing == "check_file_sign")
            expected.push_back("SignDone");
        if (test.Encrypt)
            EXPECT_RAISES(EncryptBytes(FCipher, "data"), Exception, message);
        else
            EXPECT_RAISES(DecryptBytes(FCipher, "data"), Exception, message);
        EXPECT_EQ(FState->Calls, expected);
        ExpectNoFilesLeft();
    }
}

TEST_F(VerbaCallsTest, KeyNumbers)
{
    // The own key number is the encryption key identifier's first four characters.
    FState->CryptId = "12AB34";
    EXPECT_RAISES(EncryptBytes(FCipher, "data"), EConvertError, "'12AB' не является целым числом");
    EXPECT_EQ(FState->Calls.back(), "CryptoDone");
    ExpectNoFilesLeft();

    // Key number 0 would end the recipient list at once: refused before any call.
    SetUp();
    FProfile.Profile().BankVerbaKey = "0000";
    EXPECT_RAISES(EncryptBytes(FCipher, "data"), Exception, "Неверное значение параметра BankVerbaKey");
    EXPECT_RAISES(DecryptBytes(FCipher, "data"), Exception, "Неверное значение параметра BankVerbaKey");
    EXPECT_EQ(FState->Calls, TCalls());
}

TEST(VerbaLoadTest, MissingLibraryOrEntryPoint)
{
    TTempDir dir;
    TExchangeProfile profile(dir, {"CipherType=VERBA", "VerbaSecPath=/k/sec", "VerbaPubPath=/k/pub"});
    TVerbaCipher missing("/nonexistent/libwbotho.so");
    EXPECT_RAISES_PREFIX(EncryptBytes(missing, "data"), EOSError, "/nonexistent/libwbotho.so: cannot open");
    // A library without the entry points: zlib.
    TVerbaCipher other("libz.so.1");
    try {
        EncryptBytes(other, "data");
        ADD_FAILURE() << "no error";
    } catch (const EOSError& error) {
        EXPECT_NE(error.Message().find("undefined symbol: GetCurrID"), AnsiString::npos) << U8(error.Message());
    }
}

// ---- Real round trips over the stand-in library ----

constexpr uint16_t BankKey = 1;
constexpr uint16_t ClientKey = 2;

class VerbaRoundTripTest : public ::testing::Test {
protected:
    VerbaRoundTripTest()
    {
        ShareWbothoKey(FBank, FClient, BankKey);
        ShareWbothoKey(FClient, FBank, ClientKey);
    }

    // The bank seals the data for the client: signed and encrypted.
    std::string FromBank(const TWbothoParty& bank, const std::string& data)
    {
        WriteBytes(FDir.File("bank.plain"), data);
        const TProgramRun run = WbothoTool({"seal", bank.Secret, bank.Public, std::to_string(ClientKey),
                                            FDir.File("bank.plain"), FDir.File("bank.sealed")});
        EXPECT_EQ(run.ExitCode, 0) << run.Errors;
        return ReadBytes(FDir.File("bank.sealed"));
    }

    TTempDir FDir;
    TWbothoParty FBank = MakeWbothoParty(FDir.File("bank/"), BankKey);
    TWbothoParty FClient = MakeWbothoParty(FDir.File("Ключи клиента/"), ClientKey);
    TExchangeProfile FProfile{FDir, {"CipherType=VERBA", "BankVerbaKey=0001", "VerbaSecPath=" + FClient.Secret,
                                     "VerbaPubPath=" + FClient.Public}};
    TVerbaCipher FCipher{WBOTHO_PATH};
};

TEST_F(VerbaRoundTripTest, ClientToBankAndBack)
{
    const std::string data = RandomBytes(1 << 20, 11);
    const std::string sent = EncryptBytes(FCipher, data);
    EXPECT_EQ(sent.find(data.substr(0, 64)), std::string::npos);   // no plain text on the way
    WriteBytes(FDir.File("sent"), sent);
    const TProgramRun run = WbothoTool({"open", FBank.Secret, FBank.Public, std::to_string(ClientKey),
                                        FDir.File("sent"), FDir.File("received")});
    ASSERT_EQ(run.ExitCode, 0) << run.Errors;
    EXPECT_TRUE(ReadBytes(FDir.File("received")) == data);
    // The bank's tool wants the signature of the key it is told.
    const TProgramRun wrongKey = WbothoTool({"open", FBank.Secret, FBank.Public, "7", FDir.File("sent"),
                                             FDir.File("received")});
    EXPECT_EQ(wrongKey.ExitCode, 2);
    EXPECT_NE(wrongKey.Errors.find("no valid signature of key 7"), std::string::npos) << wrongKey.Errors;

    EXPECT_TRUE(DecryptBytes(FCipher, FromBank(FBank, data)) == data);
    EXPECT_EQ(DecryptBytes(FCipher, FromBank(FBank, "")), "");
}

TEST_F(VerbaRoundTripTest, AlteredCutShortOrForeignContainersAreRefused)
{
    const std::string sealed = FromBank(FBank, RandomBytes(5000, 13));
    std::string altered = sealed;
    altered[altered.size() / 2] ^= 0x01;
    const AnsiString failed = "Ошибка расшифровки данных, код ошибки Вербы: ";
    EXPECT_RAISES(DecryptBytes(FCipher, altered), Exception, failed + std::to_string(WB_E_DAMAGED));
    EXPECT_RAISES(DecryptBytes(FCipher, sealed.substr(0, 60)), Exception, failed + std::to_string(WB_E_FORMAT));

    // Another correspondent whose key the client holds signs and encrypts for the client.
    const TWbothoParty other = MakeWbothoParty(FDir.File("other/"), 3);
    ShareWbothoKey(FClient, other, ClientKey);
    ShareWbothoKey(other, FClient, 3);
    EXPECT_RAISES(DecryptBytes(FCipher, FromBank(other, "data")), Exception,
                  "Подпись банка не найдена либо некорректна");

    // The bank's container opened with a new key pair of the client's number, and with a
    // key of another number.
    const TWbothoParty renewed = MakeWbothoParty(FDir.File("renewed/"), ClientKey);
    ShareWbothoKey(FBank, renewed, BankKey);
    ShareWbothoKey(FBank, other, BankKey);
    for (const auto& [party, code] : {std::pair{renewed, WB_E_KEY_MISMATCH}, std::pair{other, WB_E_NOT_RECIPIENT}}) {
        FProfile.Profile().VerbaSecPath = party.Secret;
        FProfile.Profile().VerbaPubPath = party.Public;
        EXPECT_RAISES(DecryptBytes(FCipher, sealed), Exception, failed + std::to_string(code));
    }
}

} // namespace
