// The GnuPG back end with the real gpg: a client, the bank and a third correspondent,
// each with a key pair without passphrase made for the test run.

#include "../CipherProfile.h"
#include "../GpgHome.h"
#include "../RunProgram.h"

#include "exchange/Ciphers.h"
#include "exchange/Tlbfiles.h"
#include "platform/Paths.h"
#include "support/TestSupport.h"

#include <sys/stat.h>

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
    TSelectedProfile FProfile{FProfileDir, {"PgpKeyPath=" + FClient->Path, "BankPgpKey=" + FBank->KeyId()}};
    TPgpCipher FCipher;
};

TEST_F(PgpRealTest, ClientToBank)
{
    const std::string data = RandomBytes(1 << 20, 21);
    const std::string sealed = EncryptBytes(FCipher, data);
    const TProgramRun opened = FBank->Gpg({"--status-fd", "2", "--decrypt"}, sealed);
    EXPECT_TRUE(opened.Output == data);
    EXPECT_NE(opened.Errors.find("[GNUPG:] VALIDSIG "), std::string::npos);
    EXPECT_NE(opened.Errors.find(" " + FClient->Fingerprint + "\n"), std::string::npos) << opened.Errors;
}

TEST_F(PgpRealTest, BankToClient)
{
    const std::string data = RandomBytes(1 << 20, 22);
    EXPECT_TRUE(DecryptBytes(FCipher, FBank->SealFor(*FClient, data)) == data);
}

TEST_F(PgpRealTest, ContainersNotSignedByTheBankAreRefused)
{
    EXPECT_RAISES(DecryptBytes(FCipher, FOther->SealFor(*FClient, "data")), Exception,
                  "Подпись банка не найдена либо некорректна");
    EXPECT_RAISES(DecryptBytes(FCipher, FBank->SealFor(*FClient, "data", false)), Exception,
                  "Подпись банка не найдена либо некорректна");
}

TEST_F(PgpRealTest, GpgsOwnReportOnFailure)
{
    // Encrypted for the bank, not for the client: the client has no key to open it.
    EXPECT_RAISES_PREFIX(DecryptBytes(FCipher, FOther->SealFor(*FBank, "data")), Exception, "gpg: ");
    EXPECT_RAISES_PREFIX(DecryptBytes(FCipher, "not a container"), Exception, "gpg: ");
}

TEST_F(PgpRealTest, ContainerThereAndBack)
{
    // The client saves a container through the holder's cipher; the bank opens it, finds
    // a zip archive, and sends the same archive back signed and encrypted.
    const std::string payload = RandomBytes(100000, 23);
    TTlbFile sent;
    auto* member = new TZippedFile(nullptr, "DATAFILE.000");
    member->WriteString("FILE_TYPE=ETALON\r\n<DATA>\r\n" + payload);
    sent.Add(member);
    TMemoryStream wire;
    sent.SaveToStream(&wire);
    const std::string archive = FBank->Gpg({"--decrypt"}, wire.Bytes()).Output;
    ASSERT_EQ(archive.substr(0, 4), "PK\x03\x04");

    TMemoryStream answer;
    answer.WriteString(FBank->SealFor(*FClient, archive));
    answer.SetPosition(0);
    TTlbFile received;
    received.LoadFromStream(&answer);
    ASSERT_EQ(received.Count(), 1);
    TStringList header;
    ReadTlbHeader(&header, received.At(0));
    EXPECT_EQ(header.Values("FILE_TYPE"), "ETALON");
    EXPECT_EQ(received.At(0)->Size() - received.At(0)->Position(), static_cast<int64_t>(payload.size()));
}

} // namespace
