#include "FakeWbotho.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

namespace {

TFakeWbothoState State;
WB_CHECK_STATUS* HandedList = nullptr;

WB_RESULT Call(const std::string& name)
{
    State.Calls.push_back(name);
    const auto result = State.Results.find(name);
    return result == State.Results.end() ? WB_RESULT(WB_OK) : result->second;
}

unsigned Mode(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? info.st_mode & 0777 : 0;
}

void NoteInput(const char* file)
{
    State.Files.push_back(file);
    const std::string folder = std::filesystem::path(file).parent_path().string();
    if (Mode(folder) != 0700 || Mode(file) != 0600)
        State.FilesPrivate = false;
}

WB_RESULT CopyCall(const std::string& name, const char* inFile, const char* outFile)
{
    NoteInput(inFile);
    State.Files.push_back(outFile);
    const WB_RESULT result = Call(name);
    if (result == WB_OK)
        std::filesystem::copy_file(inFile, outFile, std::filesystem::copy_options::overwrite_existing);
    return result;
}

WB_RESULT Init(const std::string& name, const char* secretFolder, const char* publicFolder)
{
    State.SecretFolder = secretFolder;
    State.PublicFolder = publicFolder;
    return Call(name);
}

}  // namespace

extern "C" {

TFakeWbothoState* FakeWbothoState() { return &State; }

WB_RESULT GetCurrID(char* id, char kind)
{
    const WB_RESULT result = Call(std::string("GetCurrID(") + kind + ")");
    if (result == WB_OK)
        std::strcpy(id, (kind == 'S' ? State.SignId : State.CryptId).c_str());
    return result;
}

WB_RESULT SignInit(const char* secretFolder, const char* publicFolder)
{
    return Init("SignInit", secretFolder, publicFolder);
}

WB_RESULT SignFile(const char* inFile, const char* outFile, const char* signerId)
{
    State.SignerId = signerId;
    return CopyCall("SignFile", inFile, outFile);
}

WB_RESULT check_file_sign(const char* file, uint8_t* count, WB_CHECK_STATUS** list)
{
    NoteInput(file);
    const WB_RESULT result = Call("check_file_sign");
    if (result != WB_OK)
        return result;
    *count = static_cast<uint8_t>(State.Signatures.size());
    HandedList = nullptr;
    if (!State.Signatures.empty()) {
        HandedList = new WB_CHECK_STATUS[State.Signatures.size()];
        std::copy(State.Signatures.begin(), State.Signatures.end(), HandedList);
    }
    *list = HandedList;
    return WB_OK;
}

WB_RESULT DelSign(const char* file, uint8_t which)
{
    NoteInput(file);
    State.DelSignWhich = which;
    return Call("DelSign");
}

void SignDone(void) { Call("SignDone"); }

WB_RESULT CryptoInit(const char* secretFolder, const char* publicFolder)
{
    return Init("CryptoInit", secretFolder, publicFolder);
}

WB_RESULT EnCryptFile(const char* inFile, const char* outFile, uint16_t ownNumber, const uint16_t* recipients,
                      const uint8_t* reserved)
{
    State.OwnNumber = ownNumber;
    State.Recipients.clear();
    for (const uint16_t* recipient = recipients; *recipient != 0; ++recipient)
        State.Recipients.push_back(*recipient);
    State.ReservedZero = reserved && std::all_of(reserved, reserved + 6, [](uint8_t byte) { return byte == 0; });
    return CopyCall("EnCryptFile", inFile, outFile);
}

WB_RESULT DeCryptFile(const char* inFile, const char* outFile, uint16_t ownNumber)
{
    State.OwnNumber = ownNumber;
    return CopyCall("DeCryptFile", inFile, outFile);
}

void CryptoDone(void) { Call("CryptoDone"); }

void FreeMemory(void* memory)
{
    Call("FreeMemory");
    State.ListFreed = memory == HandedList;
    delete[] static_cast<WB_CHECK_STATUS*>(memory);
    HandedList = nullptr;
}

// Looked up by the program but never called.
WB_RESULT SignMem(const void*, uint32_t, void**, uint32_t*, const char*) { return Call("SignMem"); }
WB_RESULT check_mem_sign(const void*, uint32_t, uint8_t*, WB_CHECK_STATUS**) { return Call("check_mem_sign"); }
WB_RESULT Del_Mem_Sign(void*, uint32_t*, uint8_t) { return Call("Del_Mem_Sign"); }
WB_RESULT EnCryptMem(const void*, uint32_t, void**, uint32_t*, uint16_t, const uint16_t*, const uint8_t*)
{
    return Call("EnCryptMem");
}
WB_RESULT DeCryptMem(const void*, uint32_t, void**, uint32_t*, uint16_t) { return Call("DeCryptMem"); }

}  // extern "C"
