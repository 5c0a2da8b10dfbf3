// The cipher holder and the GnuPG back end over a fake "gpg": a small script that the
// test writes into a folder at the head of PATH.

#include "CipherSupport.h"
#include "exchange/ExchangeProfile.h"

#include "exchange/Ciphers.h"
#include "platform/Classes.h"
#include "platform/Paths.h"
#include "support/TestSupport.h"

#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>

namespace {

// ---- The holder ----

class CipherHolderTest : public ::testing::Test {
protected:
    ~CipherHolderTest() override
    {
        Cipher.Reset();
        Profiles.Reset();
    }

    // Opens a file of two profiles, PGP and VERBA, and selects one of them.
    void Select(int index)
    {
        WriteBytes(FDir.File("velton.ini"), "[Pgp]\r\nPrefix=ABC\r\nPgpKeyPath=A:\\KEYS\r\n"
                                            "[Verba]\r\nPrefix=ABC\r\nCipherType=verba\r\n"
                                            "VerbaSecPath=/k/sec\r\nVerbaPubPath=/k/pub\r\n"
                                            "[Common]\r\nRecvUser=client\r\nRecvPass=secret\r\n");
        Profiles.Get()->Open(FDir.File("velton.ini"));
        Profiles.Get()->Select(index);
    }

    TTempDir FDir;
};

TEST_F(CipherHolderTest, OneBackEndPerProfileSelectionAndItsPrompt)
{
    EXPECT_RAISES(Cipher.Get(), Exception, "Профиль не выбран");
    Select(0);
    TCipher* pgp = Cipher.Get();
    EXPECT_NE(dynamic_cast<TPgpCipher*>(pgp), nullptr);
    EXPECT_EQ(Cipher.Get(), pgp);

    // The holder builds from the profile that is current at the first Get after a reset.
    Select(1);
    EXPECT_EQ(Cipher.Get(), pgp);
    Cipher.Reset();
    TCipher* verba = Cipher.Get();
    EXPECT_NE(dynamic_cast<TVerbaCipher*>(verba), nullptr);

    // The key folder on the diskette drive, written in upper case, asks for the diskette;
    // the Verba prompt needs no library.
    Select(0);
    Cipher.Reset();
    EXPECT_ANSI_EQ(Cipher.Get()->GetPrompt(), "Вставьте ключевую дискету.");
    Profiles.Get()->Current()->PgpKeyPath = "/home/user/keys/";
    EXPECT_ANSI_EQ(Cipher.Get()->GetPrompt(), "");
    EXPECT_ANSI_EQ(TVerbaCipher("/nonexistent/libwbotho.so").GetPrompt(), "Ключи шифрования должны быть загружены.");
}

// ---- GnuPG over a fake program ----

constexpr char BankKey[] = "0123456789ABCDEF";
constexpr char BankFingerprint[] = "FFEEDDCCBBAA99880123456789ABCDEF";
constexpr char OtherFingerprint[] = "FFEEDDCCBBAA99880123456789ABCDE0";

// The status lines of one signature: its kind (GOODSIG, BADSIG, ...), then the
// fingerprints of the signing key and of its primary key.
std::string SignatureStatus(const std::string& kind, const std::string& signingKey, const std::string& primaryKey)
{
    return "[GNUPG:] NEWSIG\n[GNUPG:] " + kind + " " + signingKey.substr(16) + " Bank\n[GNUPG:] VALIDSIG " +
           signingKey + " 2024-01-01 1 0 4 0 22 10 00 " + primaryKey + "\n";
}

class PgpCipherTest : public ::testing::Test {
protected:
    std::string Decrypt(const std::string& data) { return DecryptBytes(FCipher, data); }
    std::string Encrypt(const std::string& data) { return EncryptBytes(FCipher, data); }

    TTempDir FDir;
    TFakeGpg FGpg{FDir.File("bin/")};
    AnsiString FBin = FGpg.Folder;
    AnsiString FKeys = FDir.File("ключи; rm -rf x/");
    TExchangeProfile FProfile{FDir, {"PgpKeyPath=" + FKeys, AnsiString("BankPgpKey=") + BankKey}};
    TPgpCipher FCipher;
};

TEST_F(PgpCipherTest, ArgumentsArriveOneByOneAndTheBytesFromThePositionOn)
{
    FGpg.Script("printf '%s\\n' \"$@\" >\"$0.args\"\ncat\n");
    const std::string data = RandomBytes(300000, 1);
    TMemoryStream source, target;
    source.WriteString("skip" + data);
    source.SetPosition(4);
    target.WriteString("kept");
    FCipher.Encrypt(&source, &target);
    EXPECT_EQ(target.Bytes(), "kept" + data);
    EXPECT_EQ(ReadBytes(FBin + "gpg.args"),
              AnsiToUtf8("--homedir\n" + FKeys + "\n--recipient\n" + BankKey +
                         "\n--always-trust\n--batch\n--pinentry-mode\nerror\n--status-fd\n3\n--sign\n--encrypt\n"));

    // The key folder on the diskette drive reaches gpg where the system finds the drive.
    FProfile.Profile().PgpKeyPath = "a:/Ключи/";
    source.SetPosition(4);
    FCipher.Encrypt(&source, &target);
    const std::string args = ReadBytes(FBin + "gpg.args");
    EXPECT_EQ(args.substr(0, args.find("\n--recipient")), AnsiToUtf8("--homedir\n/media/floppy/Ключи/"));
}

// Another's signature and none at all with the real gpg: PgpRealTest.
TEST_F(PgpCipherTest, DecryptionNeedsAGoodSignatureOfTheBanksKey)
{
    const std::string good = SignatureStatus("GOODSIG", BankFingerprint, BankFingerprint);
    const std::string other = SignatureStatus("GOODSIG", OtherFingerprint, OtherFingerprint);
    const struct {
        std::string Status;
        bool Accepted;
    } cases[] = {
        {good, true},
        {SignatureStatus("GOODSIG", OtherFingerprint, BankFingerprint), true},   // by the bank's subkey
        {SignatureStatus("GOODSIG", BankFingerprint, OtherFingerprint), true},   // the fingerprint of the signing key
        {other + good, true},                                                    // the bank's is the second signature
        {SignatureStatus("BADSIG", BankFingerprint, BankFingerprint), false},
        {SignatureStatus("EXPKEYSIG", BankFingerprint, BankFingerprint), false},
        {other + SignatureStatus("BADSIG", BankFingerprint, BankFingerprint), false},   // no carrying over
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.Status);
        FGpg.ScriptWithStatus(test.Status);
        if (test.Accepted)
            EXPECT_EQ(Decrypt("plain"), "plain");
        else
            EXPECT_RAISES(Decrypt("plain"), Exception, "Подпись банка не найдена либо некорректна");
    }
    // Status lines on the error output do not count.
    FGpg.Script("cat\nprintf '" + good + "' >&2\n");
    EXPECT_RAISES(Decrypt("plain"), Exception, "Подпись банка не найдена либо некорректна");
}

TEST_F(PgpCipherTest, FailureReportsTheErrorOutputCutTo511CharactersElseTheExitCode)
{
    // 128 KB of UTF-8 lines on the error output, more than a pipe holds: the child would
    // block (and time out) if nobody read them while it runs. The message is CP1251.
    FGpg.Script("cat >/dev/null\ni=0\nwhile [ $i -lt 4000 ]; do\n"
                "  printf 'gpg: \xD0\xBE\xD1\x88\xD0\xB8\xD0\xB1\xD0\xBA\xD0\xB0 \xD0\xBD\xD0\xBE\xD0\xBC\xD0\xB5\xD1\x80 %02d\\n' $i >&2\n"
                "  i=$((i+1))\ndone\nexit 2\n");
    AnsiString expected;
    for (int i = 0; i < 30; ++i)
        expected += Format("gpg: ошибка номер %02d\n", i);
    EXPECT_RAISES(Encrypt(RandomBytes(100000, 2)), Exception, expected.substr(0, 511));

    FGpg.Script("echo 'gpg: decryption failed: No secret key' >&2\nexit 2\n");
    EXPECT_RAISES(Decrypt("x"), Exception, "gpg: decryption failed: No secret key");
    FGpg.Script("exit 2\n");
    EXPECT_RAISES(Encrypt("data"), Exception, "Ошибка (рас)шифровки, код возврата: 2");
    FGpg.Script("echo ' ' >&2\nexit 3\n");
    EXPECT_RAISES(Decrypt("data"), Exception, "Ошибка (рас)шифровки, код возврата: 3");
}

TEST_F(PgpCipherTest, AChildThatReadsLittleOrNothingSucceedsWithWhatItPrinted)
{
    FGpg.Script("head -c 1 >/dev/null\nprintf done\n");
    EXPECT_EQ(Encrypt(RandomBytes(1 << 20, 3)), "done");
    FGpg.Script("wc -c\n");
    EXPECT_EQ(Encrypt(""), "0\n");
}

TEST_F(PgpCipherTest, MissingProgram)
{
    const TEnvironmentVariable emptyPath("PATH", ToSystemPath(FBin));
    EXPECT_RAISES(Encrypt("data"), Exception, "Не найден gpg.exe");
    FGpg.Script("cat\n");
    chmod(ToSystemPath(FBin + "gpg").c_str(), 0644);   // there, but not a program
    EXPECT_RAISES(Decrypt("data"), Exception, "Не найден gpg.exe");
}

TEST_F(PgpCipherTest, HangIsCutAfterFifteenSecondsWithNothingLeftRunning)
{
    FGpg.Script("echo $$ >\"$0.pid\"\nsleep 60 &\necho $! >\"$0.child\"\nwait\n");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_RAISES(Encrypt(RandomBytes(1 << 20, 4)), Exception,
                  "Превышен интервал времени ожидания процесса (рас)шифровки");
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(TPgpCipher::TimeoutMs));
    EXPECT_LT(elapsed, std::chrono::seconds(30));
    // gpg itself is reaped (no zombie left), the process it started is gone too.
    const pid_t gpg = std::stoi(ReadBytes(FBin + "gpg.pid"));
    EXPECT_EQ(waitpid(gpg, nullptr, WNOHANG), -1);
    EXPECT_TRUE(ProcessGone(gpg));
    EXPECT_TRUE(ProcessGone(std::stoi(ReadBytes(FBin + "gpg.child"))));
}

} // namespace
