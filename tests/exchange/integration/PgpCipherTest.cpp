// The GnuPG back end with the real gpg: a client, the bank and a third correspondent,
// each with a key pair without passphrase made for the test run.

#include "../CipherSupport.h"
#include "../GpgHome.h"
#include "exchange/ExchangeProfile.h"

#include "exchange/Ciphers.h"
#include "support/TestSupport.h"

#include <memory>

namespace {

class PgpRealTest : public ::testing::Test {
protected:
    // Key folders are short (the agent's socket lives inside); the client's has a blank
    // and a ";" in its name, which gpg receives as one argument.
    static void SetUpTestSuite()
    {
        FDir = std::make_unique<TTempDir>();
        FClient = std::make_unique<TGpgHome>(FDir->File("c d;x/"), "Client");
        FBank = std::make_unique<TGpgHome>(FDir->File("b/"), "Bank");
        FOther = std::make_unique<TGpgHome>(FDir->File("o/"), "Other");
        FClient->Import(*FBank);
        FClient->Import(*FOther);
        FBank->Import(*FClient);
        FOther->Import(*FClient);
        FOther->Import(*FBank);
    }
    static void TearDownTestSuite()
    {
        FOther.reset();
        FBank.reset();
        FClient.reset();
        FDir.reset();
    }

    static inline std::unique_ptr<TTempDir> FDir;
    static inline std::unique_ptr<TGpgHome> FClient, FBank, FOther;

    TTempDir FProfileDir;
    TExchangeProfile FProfile{FProfileDir, {"PgpKeyPath=" + FClient->Path, "BankPgpKey=" + FBank->KeyId()}};
    TPgpCipher FCipher;
};

TEST_F(PgpRealTest, ClientToBankAndBack)
{
    const std::string data = RandomBytes(1 << 20, 21);
    const TProgramRun opened = FBank->Gpg({"--status-fd", "2", "--decrypt"}, EncryptBytes(FCipher, data));
    EXPECT_TRUE(opened.Output == data);
    EXPECT_NE(opened.Errors.find("[GNUPG:] VALIDSIG "), std::string::npos);
    EXPECT_NE(opened.Errors.find(" " + FClient->Fingerprint + "\n"), std::string::npos) << opened.Errors;

    EXPECT_TRUE(DecryptBytes(FCipher, FBank->SealFor(*FClient, data)) == data);
}

TEST_F(PgpRealTest, ContainersNotSignedByTheBankAreRefused)
{
    EXPECT_RAISES(DecryptBytes(FCipher, FOther->SealFor(*FClient, "data")), Exception,
                  "Подпись банка не найдена либо некорректна");
    EXPECT_RAISES(DecryptBytes(FCipher, FBank->SealFor(*FClient, "data", false)), Exception,
                  "Подпись банка не найдена либо некорректна");
}

} // namespace
