// Encryption and decryption of a container through the GnuPG back end, in memory.
// Anchor and limit: the same gpg command run directly on the same bytes, from a file into
// a file, started without a shell; its rounds rotated with ours.

#include "BenchSupport.h"

#include "documents/Profiles.h"
#include "exchange/Ciphers.h"
#include "platform/Paths.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

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

// gpg run directly with the back end's options and operation, its input from a file and
// its output into a file, the status channel and the errors to /dev/null.
void RunGpg(const AnsiString& home, const AnsiString& bankKey, std::vector<std::string> operation,
            const AnsiString& source, const AnsiString& target)
{
    std::vector<std::string> words{"gpg", "--homedir", home, "--recipient", bankKey, "--always-trust", "--batch",
                                   "--pinentry-mode", "error", "--status-fd", "3"};
    words.insert(words.end(), operation.begin(), operation.end());
    std::vector<char*> arguments;
    for (std::string& word : words)
        arguments.push_back(word.data());
    arguments.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 0, source.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, 1, target.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&files, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&files, 3, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    const int failed = posix_spawnp(&child, "gpg", &files, nullptr, arguments.data(), environ);
    posix_spawn_file_actions_destroy(&files);
    int status = 0;
    if (failed != 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("gpg failed");
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

    const AnsiString work = IncludeTrailingPathDelimiter(argv[5]);
    TMemoryStream source, target;
    Fill(source, plain);
    const auto encrypt = RotatedRounds(11, {[&] {
                                               source.SetPosition(0);
                                               target.Clear();
                                               cipher.Encrypt(&source, &target);
                                           },
                                           [&] {
                                               RunGpg(argv[1], argv[2], {"--sign", "--encrypt"}, argv[3],
                                                      work + "anchor.gpg");
                                           }});
    Fill(source, sealed);
    const auto decrypt = RotatedRounds(11, {[&] {
                                               source.SetPosition(0);
                                               target.Clear();
                                               cipher.Decrypt(&source, &target);
                                           },
                                           [&] { RunGpg(argv[1], argv[2], {"--decrypt"}, argv[4], work + "anchor.plain"); }});
    if (target.Bytes() != plain || ReadFileBytes(work + "anchor.plain") != plain)
        throw std::runtime_error("the decrypted bytes differ from the plain file");
    Report("gpg_encrypt_seconds", encrypt[0]);
    Report("gpg_encrypt_direct_seconds", encrypt[1]);
    Report("gpg_decrypt_seconds", decrypt[0]);
    Report("gpg_decrypt_direct_seconds", decrypt[1]);
    Profiles.Reset();
    return 0;
}
