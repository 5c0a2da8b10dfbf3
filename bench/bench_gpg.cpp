// Encryption and decryption of a container through the GnuPG back end, in memory.
// Anchor: the same gpg command run directly on the same bytes, from a file into a file
// (anchors.py gpg).

#include "BenchSupport.h"

#include "documents/Profiles.h"
#include "exchange/Ciphers.h"
#include "platform/Paths.h"

namespace {

// A profile whose PGP keys are the client's key folder and the bank's key, selected in the
// program's store.
void SelectProfile(const AnsiString& keyFolder, const AnsiString& bankKey, const AnsiString& iniFile)
{
    WriteFileAtomically(iniFile, "[Bench]\r\nPrefix=ABC\r\nRecvUser=client\r\nRecvPass=secret\r\nPgpKeyPath=" +
                                     keyFolder + "\r\nBankPgpKey=" + bankKey + "\r\n");
    Profiles.Get()->Open(iniFile);
    Profiles.Get()->Select(0);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 6) {
        std::fprintf(stderr, "usage: bench_gpg CLIENT-KEY-FOLDER BANK-KEY PLAIN-FILE SEALED-FILE WORK-FOLDER\n");
        return 2;
    }
    SelectProfile(argv[1], argv[2], IncludeTrailingPathDelimiter(argv[5]) + "velton.ini");
    const std::string plain = ReadWholeFile(argv[3]);
    const std::string sealed = ReadWholeFile(argv[4]);
    TPgpCipher cipher;

    TMemoryStream source, target;
    Fill(source, plain);
    const std::vector<double> encrypt = Rounds(5, [&] {
        source.SetPosition(0);
        target.Clear();
        cipher.Encrypt(&source, &target);
    });
    Fill(source, sealed);
    const std::vector<double> decrypt = Rounds(5, [&] {
        source.SetPosition(0);
        target.Clear();
        cipher.Decrypt(&source, &target);
    });
    if (target.Bytes() != plain)
        throw std::runtime_error("the decrypted bytes differ from the plain file");
    Report("gpg_encrypt_seconds", encrypt);
    Report("gpg_decrypt_seconds", decrypt);
    Profiles.Reset();
    return 0;
}
