// The key tool of the Verba stand-in: makes key pairs and plays the bank's side of the
// exchange through the library's own entry points.
//
//   wbotho-tool keygen NUMBER SECRET_FOLDER PUBLIC_FOLDER
//   wbotho-tool seal SECRET_FOLDER PUBLIC_FOLDER RECIPIENT INPUT OUTPUT
//   wbotho-tool open SECRET_FOLDER PUBLIC_FOLDER SIGNER INPUT OUTPUT
//
// Exit code 0 on success, 1 for a wrong command line, 2 for a failure (told on stderr
// with the library's code).

#include "wbotho.h"

#include "WbCommon.h"
#include "WbKeys.h"

#include "platform/Encoding.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

const char* const Usage =
    "usage: wbotho-tool keygen NUMBER SECRET_FOLDER PUBLIC_FOLDER\n"
    "       wbotho-tool seal SECRET_FOLDER PUBLIC_FOLDER RECIPIENT INPUT OUTPUT\n"
    "       wbotho-tool open SECRET_FOLDER PUBLIC_FOLDER SIGNER INPUT OUTPUT\n"
    "NUMBER, RECIPIENT and SIGNER are key numbers from 1 to 9999.\n";

struct TUsageError {};

const char* CodeText(WB_RESULT code)
{
    switch (code) {
    case WB_E_PARAMETER: return "bad parameter";
    case WB_E_NOT_INITIALIZED: return "phase not started";
    case WB_E_NO_SECRET_KEY: return "no secret key (or more than one) in the secret folder";
    case WB_E_NO_PUBLIC_KEY: return "public key not found";
    case WB_E_KEY_FILE: return "damaged key file";
    case WB_E_WRONG_KEY: return "not the loaded key";
    case WB_E_READ: return "cannot read the input file";
    case WB_E_WRITE: return "cannot write the output file";
    case WB_E_FORMAT: return "not an encrypted file, or a damaged signature block";
    case WB_E_NOT_RECIPIENT: return "not encrypted for this key";
    case WB_E_KEY_MISMATCH: return "the file key does not open with these keys";
    case WB_E_DAMAGED: return "the data was altered";
    case WB_E_TOO_LARGE: return "too large";
    case WB_E_INTERNAL: return "internal failure";
    default: return "unknown error";
    }
}

void Check(const char* call, WB_RESULT code)
{
    if (code != WB_OK)
        throw std::runtime_error(std::string(call) + " failed: " + CodeText(code) + " (code " +
                                 std::to_string(code) + ")");
}

uint16_t KeyNumber(const std::string& text)
{
    if (text.empty() || text.size() > 4 || text.find_first_not_of("0123456789") != std::string::npos)
        throw TUsageError();
    const int number = std::stoi(text);
    if (!wbotho::IsKeyNumber(static_cast<unsigned>(number)))
        throw TUsageError();
    return static_cast<uint16_t>(number);
}

// The library takes code page 1251 names; the command line is UTF-8.
std::string LibraryName(const std::string& name)
{
    std::string converted;
    if (!Utf8ToAnsiExact(name, converted))
        throw std::runtime_error("name not representable in code page 1251: " + name);
    return converted;
}

void MakeFolder(const std::string& folder, std::filesystem::perms permissions)
{
    if (std::filesystem::exists(folder))
        return;
    std::filesystem::create_directories(folder);
    std::filesystem::permissions(folder, permissions);
}

int KeyGen(const std::vector<std::string>& args)
{
    const uint16_t number = KeyNumber(args[1]);
    MakeFolder(args[2], std::filesystem::perms::owner_all);
    MakeFolder(args[3], std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                            std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                            std::filesystem::perms::others_exec);
    try {
        std::printf("%s\n", wbotho::MakeKeyPair(number, args[2], args[3]).c_str());
    } catch (const wbotho::TWbError& error) {
        Check("keygen", error.Code);
    }
    return 0;
}

// Signs INPUT with the key of the secret folder and encrypts it for RECIPIENT.
int Seal(const std::vector<std::string>& args)
{
    const std::string secret = LibraryName(args[1]), pub = LibraryName(args[2]);
    const uint16_t recipients[] = {KeyNumber(args[3]), 0};
    const std::string input = LibraryName(args[4]), output = LibraryName(args[5]);
    char id[WB_ID_BUFFER];

    Check("SignInit", SignInit(secret.c_str(), pub.c_str()));
    WB_RESULT result = GetCurrID(id, WB_KEY_SIGN);
    if (result == WB_OK)
        result = SignFile(input.c_str(), output.c_str(), id);
    SignDone();
    Check("SignFile", result);

    Check("CryptoInit", CryptoInit(secret.c_str(), pub.c_str()));
    result = GetCurrID(id, WB_KEY_CRYPT);
    if (result == WB_OK)
        result = EnCryptFile(output.c_str(), output.c_str(), wbotho::IdNumber(id), recipients, nullptr);
    CryptoDone();
    Check("EnCryptFile", result);
    return 0;
}

// Decrypts INPUT, requires a valid signature of SIGNER and writes the data without
// signatures; nothing is left in OUTPUT when any step fails.
void OpenInto(const std::vector<std::string>& args, const std::string& output)
{
    const std::string secret = LibraryName(args[1]), pub = LibraryName(args[2]);
    const uint16_t signer = KeyNumber(args[3]);
    const std::string input = LibraryName(args[4]);
    char id[WB_ID_BUFFER];

    Check("CryptoInit", CryptoInit(secret.c_str(), pub.c_str()));
    WB_RESULT decrypted = GetCurrID(id, WB_KEY_CRYPT);
    if (decrypted == WB_OK)
        decrypted = DeCryptFile(input.c_str(), output.c_str(), wbotho::IdNumber(id));
    CryptoDone();
    Check("DeCryptFile", decrypted);

    Check("SignInit", SignInit(secret.c_str(), pub.c_str()));
    uint8_t count = 0;
    WB_CHECK_STATUS* list = nullptr;
    WB_RESULT checked = check_file_sign(output.c_str(), &count, &list);
    bool found = false;
    for (int i = 0; checked == WB_OK && i < count; ++i)
        found = found || (wbotho::IsKeyId(list[i].ID) && wbotho::IdNumber(list[i].ID) == signer &&
                          list[i].Status == WB_SIGN_OK);
    FreeMemory(list);
    if (checked == WB_OK && found)
        checked = DelSign(output.c_str(), WB_ALL_SIGNATURES);
    SignDone();
    Check("check_file_sign", checked);
    if (!found)
        throw std::runtime_error("no valid signature of key " + args[3]);
}

int Open(const std::vector<std::string>& args)
{
    const std::string output = LibraryName(args[5]);
    try {
        OpenInto(args, output);
    } catch (...) {
        unlink(args[5].c_str());
        throw;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    try {
        if (args.size() == 4 && args[0] == "keygen")
            return KeyGen(args);
        if (args.size() == 6 && args[0] == "seal")
            return Seal(args);
        if (args.size() == 6 && args[0] == "open")
            return Open(args);
        throw TUsageError();
    } catch (const TUsageError&) {
        std::fputs(Usage, stderr);
        return 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "wbotho-tool: %s\n", error.what());
        return 2;
    }
}
