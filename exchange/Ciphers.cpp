#include "exchange/Ciphers.h"

#include "documents/Common.h"
#include "documents/Profiles.h"
#include "exchange/Appexec.h"
#include "platform/Classes.h"
#include "platform/Encoding.h"
#include "platform/Exception.h"
#include "platform/Paths.h"
#include "platform/SysUtils.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

TCipherPtr Cipher;

namespace {

// Runs an action when the scope ends, however it ends.
template <typename TAction>
class TAtScopeEnd {
public:
    explicit TAtScopeEnd(TAction action) : FAction(std::move(action)) {}
    ~TAtScopeEnd() { FAction(); }
    TAtScopeEnd(const TAtScopeEnd&) = delete;
    TAtScopeEnd& operator=(const TAtScopeEnd&) = delete;

private:
    TAction FAction;
};

// True when the text is not empty and holds decimal digits only.
bool IsDecimal(const AnsiString& text)
{
    return !text.empty() && text.find_first_not_of("0123456789") == AnsiString::npos;
}

// The copy of the stream's bytes from its position to its end at the target's position.
void CopyRest(TStream& source, TStream& target)
{
    const int64_t count = source.Size() - source.Position();
    if (count > 0)   // CopyFrom takes a count of 0 for "everything from the start"
        target.CopyFrom(source, count);
}

}  // namespace

// ---- The holder ----

TCipher* TCipherPtr::Create()
{
    switch (CurrentProfile().CipherType) {
    case ctPgp:
        return new TPgpCipher();
    case ctVerba:
        return new TVerbaCipher();
    default:
        throw Exception("Неверное значение параметра CipherType");
    }
}

// ---- GnuPG ----

namespace {

// What gpg prints on its standard error is cut to this many characters for the message.
constexpr size_t GpgMessageLimit = 511;

// The program to run: "gpg" in the program's folder when it is there, else from PATH.
AnsiString GpgProgram()
{
    const AnsiString own = GetFolder(FolderProgram) + "gpg";
    if (IsExecutableFile(own))
        return own;
    const AnsiString found = FindProgramOnPath("gpg");
    if (found.empty())
        throw Exception("Не найден gpg.exe");
    return found;
}

// gpg's standard error is UTF-8; the message is its first characters in CP1251 without
// the final line end, or the exit code when gpg said nothing.
AnsiString GpgFailureMessage(const std::string& errors, int exitCode)
{
    const AnsiString text = TrimRight(Utf8ToAnsi(errors).substr(0, GpgMessageLimit));
    if (text.empty())
        return "Ошибка (рас)шифровки, код возврата: " + IntToStr(exitCode);
    return text;
}

// The words of one status line after "[GNUPG:] ", or none for another line.
std::vector<std::string> StatusWords(const std::string& line)
{
    static const std::string mark = "[GNUPG:] ";
    std::vector<std::string> words;
    if (line.compare(0, mark.size(), mark) != 0)
        return words;
    size_t start = mark.size();
    while (start < line.size()) {
        size_t end = line.find(' ', start);
        if (end == std::string::npos)
            end = line.size();
        if (end > start)
            words.push_back(line.substr(start, end - start));
        start = end + 1;
    }
    return words;
}

bool EndsWithKey(const std::string& fingerprint, const AnsiString& key)
{
    return fingerprint.size() >= key.size() &&
           SameText(fingerprint.substr(fingerprint.size() - key.size()), key);
}

// Whether gpg's status output shows a good signature by the bank's key. gpg reports each
// signature as NEWSIG, then GOODSIG for a good one (EXPSIG, EXPKEYSIG, REVKEYSIG, BADSIG
// or ERRSIG otherwise), then VALIDSIG with the signing key's fingerprint and, last, the
// fingerprint of its primary key. Only GOODSIG followed by VALIDSIG of the bank's key
// counts: gpg ends with success for data that is encrypted but not signed, or signed by
// any key of the ring.
bool HasBankSignature(const std::string& status, const AnsiString& bankKey)
{
    bool good = false;
    size_t start = 0;
    while (start < status.size()) {
        size_t end = status.find('\n', start);
        if (end == std::string::npos)
            end = status.size();
        const std::vector<std::string> words = StatusWords(status.substr(start, end - start));
        start = end + 1;
        if (words.empty())
            continue;
        const std::string& keyword = words[0];
        if (keyword == "GOODSIG")
            good = true;
        else if (keyword == "NEWSIG" || keyword == "EXPSIG" || keyword == "EXPKEYSIG" || keyword == "REVKEYSIG" ||
                 keyword == "BADSIG" || keyword == "ERRSIG")
            good = false;
        else if (keyword == "VALIDSIG" && good && words.size() >= 2 &&
                 (EndsWithKey(words[1], bankKey) || EndsWithKey(words.back(), bankKey)))
            return true;
    }
    return false;
}

}  // namespace

TPgpCipher::TPgpCipher() : TCipher("PGP") {}

AnsiString TPgpCipher::GetPrompt()
{
    return IsFloppyPath(CurrentProfile().PgpKeyPath) ? "Вставьте ключевую дискету." : "";
}

void TPgpCipher::Decrypt(TStream* src, TStream* dst)
{
    const std::string status = RunGpg(src, dst, {"--decrypt"});
    if (!HasBankSignature(status, CurrentProfile().BankPgpKey))
        throw Exception("Подпись банка не найдена либо некорректна");
}

void TPgpCipher::Encrypt(TStream* src, TStream* dst)
{
    RunGpg(src, dst, {"--sign", "--encrypt"});
}

std::string TPgpCipher::RunGpg(TStream* src, TStream* dst, const std::vector<AnsiString>& operation)
{
    const TProfile& profile = CurrentProfile();
    std::vector<AnsiString> arguments = {GpgProgram(), "--homedir", MapDrivePath(profile.PgpKeyPath),
                                         "--recipient", profile.BankPgpKey,
                                         "--always-trust", "--batch",
                                         // keys without passphrase: never wait for one
                                         "--pinentry-mode", "error",
                                         "--status-fd", "3"};
    arguments.insert(arguments.end(), operation.begin(), operation.end());

    // The texts outlive the runner, whose destructor joins the pumps that fill them.
    std::string errors, status;
    TAppExec exec(arguments, true);
    // Standard error is drained while gpg runs, so that a long report cannot stall it;
    // four bytes a character are enough for the message whatever gpg writes.
    const int writer = exec.Feed(std::move(exec.Input()), *src);
    const int reader = exec.Drain(std::move(exec.Output()), *dst);
    exec.Collect(std::move(exec.Error()), errors, 4 * GpgMessageLimit);
    exec.Collect(std::move(exec.Status()), status, 1 << 20);

    if (!exec.WaitFor(TimeoutMs)) {
        exec.Terminate();
        exec.JoinPumps();
        throw Exception("Превышен интервал времени ожидания процесса (рас)шифровки");
    }
    exec.JoinPumps();
    if (exec.ExitCode() != 0)
        throw Exception(GpgFailureMessage(errors, exec.ExitCode()));
    if (!exec.PumpError(reader).empty())
        throw Exception(exec.PumpError(reader));
    if (!exec.PumpError(writer).empty())
        throw Exception(exec.PumpError(writer));
    return status;
}

// ---- Verba ----

namespace {

using TVerbaResult = uint16_t;

// One entry of the library's signature list: the signer's key identifier as text, and
// at offset 135 the signature's status, 0 for a valid one.
struct TVerbaSignature {
    char Id[135];
    uint8_t Status;
    uint8_t Reserved[4];
};
static_assert(sizeof(TVerbaSignature) == 140, "a signature list entry is 140 bytes");

// What the library writes into the identifier buffer is a short text; the buffer is
// much larger than it needs to be.
constexpr size_t IdBufferSize = 256;

// The number of a key: the first four characters of its identifier as a decimal number.
int KeyNumber(const AnsiString& id)
{
    const AnsiString digits = id.substr(0, 4);
    if (!IsDecimal(digits))
        throw EConvertError("'" + digits + "' не является целым числом");
    return StrToInt(digits);
}

void CheckVerba(TVerbaResult result, const char* message)
{
    if (result != 0)
        throw Exception(AnsiString(message) + ", код ошибки Вербы: " + IntToStr(result));
}

// The files of one call: a folder that only this user may enter, holding file A with the
// input (created exclusively, mode 0600) and the name of file B, which the library
// creates. The folder goes with everything in it when the call ends.
class TVerbaFiles {
public:
    TVerbaFiles(const AnsiString& prefix, TStream& input)
        : FFolder(CreatePrivateFolder(GetFolder(FolderTemp), "velton-"))
    {
        try {
            const AnsiString base = FFolder + prefix + ".TEMP";
            A = FreeBackupName(base);
            WriteNew(A, input);
            B = FreeBackupName(base);
        } catch (...) {
            RemoveFolderTree(FFolder);
            throw;
        }
    }
    ~TVerbaFiles() { RemoveFolderTree(FFolder); }
    TVerbaFiles(const TVerbaFiles&) = delete;
    TVerbaFiles& operator=(const TVerbaFiles&) = delete;

    AnsiString A, B;

private:
    AnsiString FFolder;

    static void WriteNew(const AnsiString& path, TStream& input)
    {
        const int handle = ::open(ToSystemPath(path).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (handle < 0)
            RaiseOSError(errno, path);
        ::close(handle);
        TFileStream file(path, fmOpenWrite);
        CopyRest(input, file);
    }
};

// Starts the library's signing or encryption functions on the profile's key folders, as
// the system knows them (a folder on the diskette drive lies where the drive is found).
TVerbaResult InitKeys(TVerbaResult (*init)(const char* secretPath, const char* publicPath))
{
    const TProfile& profile = CurrentProfile();
    return init(MapDrivePath(profile.VerbaSecPath).c_str(), MapDrivePath(profile.VerbaPubPath).c_str());
}

// The whole file at the stream's position.
void CopyFileTo(const AnsiString& path, TStream& target)
{
    TFileStream file(path, fmOpenRead);
    CopyRest(file, target);
}

}  // namespace

// The library's entry points, in the order they are looked up. The ones that work on
// memory are resolved, so that a library without them is refused, but not called.
struct TVerbaCipher::TEntryPoints {
    TVerbaResult (*GetCurrID)(char* id, char kind);
    TVerbaResult (*SignInit)(const char* secretPath, const char* publicPath);
    TVerbaResult (*SignFile)(const char* inFile, const char* outFile, const char* signerId);
    void* SignMem;
    TVerbaResult (*check_file_sign)(const char* file, uint8_t* count, TVerbaSignature** list);
    void* check_mem_sign;
    TVerbaResult (*DelSign)(const char* file, uint8_t which);
    void* Del_Mem_Sign;
    void (*SignDone)();
    TVerbaResult (*CryptoInit)(const char* secretPath, const char* publicPath);
    TVerbaResult (*EnCryptFile)(const char* inFile, const char* outFile, uint16_t ownNumber,
                                const uint16_t* recipients, const uint8_t* reserved);
    void* EnCryptMem;
    TVerbaResult (*DeCryptFile)(const char* inFile, const char* outFile, uint16_t ownNumber);
    void* DeCryptMem;
    void (*CryptoDone)();
    void (*FreeMemory)(void* memory);
};

namespace {

// DelSign's argument that removes every signature.
constexpr uint8_t AllSignatures = 255;

// The bank's key number; 0 would end the recipient list at once and match no signer.
uint16_t BankKeyNumber(const TProfile& profile)
{
    const int number = StrToInt(profile.BankVerbaKey);
    if (number <= 0 || number > 0xFFFF)
        throw Exception("Неверное значение параметра BankVerbaKey");
    return static_cast<uint16_t>(number);
}

template <typename TFunction>
void Resolve(void* module, const char* name, TFunction& function)
{
    void* address = dlsym(module, name);
    if (!address)
        throw EOSError(Utf8ToAnsi(dlerror()), 0);
    function = reinterpret_cast<TFunction>(address);
}

// Whether an entry of the list is a valid signature by the bank's key.
bool IsBankSignature(const TVerbaSignature& entry, uint16_t bankKey)
{
    if (entry.Status != 0)
        return false;
    const AnsiString id(entry.Id, strnlen(entry.Id, sizeof entry.Id));
    const AnsiString digits = id.substr(0, 4);
    return digits.size() == 4 && IsDecimal(digits) && StrToInt(digits) == bankKey;
}

}  // namespace

TVerbaCipher::TVerbaCipher(const AnsiString& libraryName) : TCipher("СКЗИ \"Верба\""), FLibraryName(libraryName)
{
}

TVerbaCipher::~TVerbaCipher()
{
    if (FModule)
        dlclose(FModule);
}

AnsiString TVerbaCipher::GetPrompt()
{
    return "Ключи шифрования должны быть загружены.";
}

void TVerbaCipher::Load()
{
    if (FModule)
        return;
    AnsiString path = FLibraryName;
    if (path.find(PathDelim) == AnsiString::npos && FileExists(GetFolder(FolderProgram) + path))
        path = GetFolder(FolderProgram) + path;
    void* module = dlopen(ToSystemPath(path).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module)
        throw EOSError(Utf8ToAnsi(dlerror()), 0);
    auto entries = std::make_unique<TEntryPoints>();
    try {
        Resolve(module, "GetCurrID", entries->GetCurrID);
        Resolve(module, "SignInit", entries->SignInit);
        Resolve(module, "SignFile", entries->SignFile);
        Resolve(module, "SignMem", entries->SignMem);
        Resolve(module, "check_file_sign", entries->check_file_sign);
        Resolve(module, "check_mem_sign", entries->check_mem_sign);
        Resolve(module, "DelSign", entries->DelSign);
        Resolve(module, "Del_Mem_Sign", entries->Del_Mem_Sign);
        Resolve(module, "SignDone", entries->SignDone);
        Resolve(module, "CryptoInit", entries->CryptoInit);
        Resolve(module, "EnCryptFile", entries->EnCryptFile);
        Resolve(module, "EnCryptMem", entries->EnCryptMem);
        Resolve(module, "DeCryptFile", entries->DeCryptFile);
        Resolve(module, "DeCryptMem", entries->DeCryptMem);
        Resolve(module, "CryptoDone", entries->CryptoDone);
        Resolve(module, "FreeMemory", entries->FreeMemory);
    } catch (...) {
        dlclose(module);
        throw;
    }
    FEntries = std::move(entries);
    FModule = module;
}

void TVerbaCipher::Encrypt(TStream* src, TStream* dst)
{
    Load();
    const TProfile& profile = CurrentProfile();
    const uint16_t bankKey = BankKeyNumber(profile);
    TVerbaFiles files(profile.Prefix, *src);
    Sign(files.A, files.B);
    EncryptFile(files.B, files.A, bankKey);
    CopyFileTo(files.A, *dst);
}

void TVerbaCipher::Decrypt(TStream* src, TStream* dst)
{
    Load();
    const TProfile& profile = CurrentProfile();
    const uint16_t bankKey = BankKeyNumber(profile);
    TVerbaFiles files(profile.Prefix, *src);
    DecryptFile(files.A, files.B);
    CheckAndRemoveSignatures(files.B, bankKey);
    CopyFileTo(files.B, *dst);
}

void TVerbaCipher::Sign(const AnsiString& plainFile, const AnsiString& signedFile)
{
    const TAtScopeEnd signDone([this] { FEntries->SignDone(); });
    CheckVerba(InitKeys(FEntries->SignInit), "Ошибка инициализации функций ЭЦП");
    char id[IdBufferSize] = {};
    CheckVerba(FEntries->GetCurrID(id, 'S'), "Ошибка определения загруженного ключа подписи");
    id[IdBufferSize - 1] = '\0';
    CheckVerba(FEntries->SignFile(plainFile.c_str(), signedFile.c_str(), id), "Ошибка подписывания данных");
}

void TVerbaCipher::EncryptFile(const AnsiString& signedFile, const AnsiString& encryptedFile, uint16_t bankKey)
{
    const TAtScopeEnd cryptoDone([this] { FEntries->CryptoDone(); });
    CheckVerba(InitKeys(FEntries->CryptoInit), "Ошибка инициализации функций шифрования");
    const uint16_t ownKey = OwnKeyNumber();
    const uint16_t recipients[] = {bankKey, 0};
    const uint8_t reserved[6] = {};
    CheckVerba(FEntries->EnCryptFile(signedFile.c_str(), encryptedFile.c_str(), ownKey, recipients, reserved),
               "Ошибка шифрования данных");
}

void TVerbaCipher::DecryptFile(const AnsiString& encryptedFile, const AnsiString& signedFile)
{
    const TAtScopeEnd cryptoDone([this] { FEntries->CryptoDone(); });
    CheckVerba(InitKeys(FEntries->CryptoInit), "Ошибка инициализации функций шифрования");
    const uint16_t ownKey = OwnKeyNumber();
    CheckVerba(FEntries->DeCryptFile(encryptedFile.c_str(), signedFile.c_str(), ownKey), "Ошибка расшифровки данных");
}

void TVerbaCipher::CheckAndRemoveSignatures(const AnsiString& signedFile, uint16_t bankKey)
{
    const TAtScopeEnd signDone([this] { FEntries->SignDone(); });
    CheckVerba(InitKeys(FEntries->SignInit), "Ошибка инициализации функций ЭЦП");
    {
        uint8_t count = 0;
        TVerbaSignature* list = nullptr;
        const TAtScopeEnd freeList([this, &list] { FEntries->FreeMemory(list); });
        CheckVerba(FEntries->check_file_sign(signedFile.c_str(), &count, &list), "Ошибка проверки подписи");
        bool found = false;
        for (int i = 0; list && i < count && !found; ++i)
            found = IsBankSignature(list[i], bankKey);
        if (!found)
            throw Exception("Подпись банка не найдена либо некорректна");
    }
    CheckVerba(FEntries->DelSign(signedFile.c_str(), AllSignatures), "Ошибка удаления подписи");
}

// The number of the loaded encryption key (the encryption phase must be open).
uint16_t TVerbaCipher::OwnKeyNumber()
{
    char id[IdBufferSize] = {};
    CheckVerba(FEntries->GetCurrID(id, 'E'), "Ошибка определения загруженного ключа шифрования");
    id[IdBufferSize - 1] = '\0';
    return static_cast<uint16_t>(KeyNumber(id));
}
