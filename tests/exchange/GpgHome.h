#pragma once
// A GnuPG home folder with a key pair made for the test run, for the real gpg tests.

#include "RunProgram.h"

#include "platform/Paths.h"
#include "support/TestSupport.h"

#include <sys/stat.h>

#include <string>
#include <vector>

// A GnuPG home folder with one key pair: Ed25519 for signing and a Cv25519 subkey for
// encryption. The agent that gpg starts for the folder is stopped with it.
class TGpgHome {
public:
    TGpgHome(const AnsiString& path, const AnsiString& name) : Path(path)
    {
        ForceDirectories(Path);
        chmod(ToSystemPath(Path).c_str(), 0700);
        Gpg({"--pinentry-mode", "loopback", "--passphrase", "", "--quick-gen-key", name + " <" + name + "@example.test>",
             "ed25519", "sign", "never"});
        const std::string listing = Gpg({"--list-keys", "--with-colons"}).Output;
        const size_t field = listing.find("\nfpr:::::::::");
        Fingerprint = listing.substr(field + 13, 40);
        Gpg({"--pinentry-mode", "loopback", "--passphrase", "", "--quick-add-key", Fingerprint, "cv25519", "encr",
             "never"});
    }
    ~TGpgHome() { RunProgram({"gpgconf", "--homedir", Path, "--kill", "gpg-agent"}); }
    TGpgHome(const TGpgHome&) = delete;
    TGpgHome& operator=(const TGpgHome&) = delete;

    // The key as a profile names it: the last 16 hexadecimal digits of the fingerprint.
    AnsiString KeyId() const { return Fingerprint.substr(Fingerprint.size() - 16); }

    // Runs gpg on this folder; the run must succeed.
    TProgramRun Gpg(std::vector<AnsiString> arguments, const std::string& input = "") const
    {
        arguments.insert(arguments.begin(), {"gpg", "--homedir", Path, "--batch"});
        TProgramRun run = RunProgram(arguments, input);
        EXPECT_EQ(run.ExitCode, 0) << run.Errors;
        return run;
    }

    void Import(const TGpgHome& other) const { Gpg({"--import"}, other.Gpg({"--export", other.Fingerprint}).Output); }

    // Signed by this key and encrypted for the recipient; without signing when sign is false.
    std::string SealFor(const TGpgHome& recipient, const std::string& data, bool sign = true) const
    {
        std::vector<AnsiString> arguments = {"--always-trust", "--recipient", recipient.KeyId()};
        if (sign)
            arguments.insert(arguments.end(), {"--local-user", KeyId(), "--sign"});
        arguments.push_back("--encrypt");
        return Gpg(arguments, data).Output;
    }

    AnsiString Path;
    AnsiString Fingerprint;
};

// The key folders of the client and the bank of a test suite, each holding the other's
// public key. While they live, every gpg that the suite runs, the program's own included,
// speaks English whatever the locale, so that the tests can name gpg's messages.
class TGpgParties {
public:
    TGpgParties() : Client(Keys.File("c/"), "Client"), Bank(Keys.File("b/"), "Bank")
    {
        Client.Import(Bank);
        Bank.Import(Client);
    }

    // The data signed by the bank and encrypted for the client.
    std::string SealedByBank(const std::string& data) const { return Bank.SealFor(Client, data); }

    // gettext takes LANGUAGE before the locale's own language (LC_ALL=C ignores both).
    TEnvironmentVariable GpgLanguage{"LANGUAGE", "en"};
    TTempDir Keys;
    TGpgHome Client;
    TGpgHome Bank;
};
