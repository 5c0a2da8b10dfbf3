#include "WbSignature.h"

#include "WbCommon.h"

#include <cstring>

namespace wbotho {

namespace {

const std::string TrailerMark = "WBSIGN01";
constexpr size_t TrailerSize = 2 + 8;
constexpr size_t RecordSize = IdFieldSize + crypto_sign_BYTES;
constexpr size_t MostSignatures = 255;   // the count of a check list is one byte

struct TSignature {
    std::string Id;
    std::string Value;
};

struct TSignedData {
    std::string Data;
    std::vector<TSignature> Signatures;
};

bool HasTrailer(const std::string& bytes)
{
    return bytes.size() >= TrailerSize && bytes.compare(bytes.size() - TrailerMark.size(), TrailerMark.size(), TrailerMark) == 0;
}

TSignedData Split(const std::string& bytes)
{
    TSignedData split;
    if (!HasTrailer(bytes)) {
        split.Data = bytes;
        return split;
    }
    const size_t count = GetU16(bytes, bytes.size() - TrailerSize);
    const size_t before = bytes.size() - TrailerSize;
    if (count == 0 || count > MostSignatures || count * RecordSize > before)
        Fail(WB_E_FORMAT);
    const size_t dataSize = before - count * RecordSize;
    split.Data = bytes.substr(0, dataSize);
    const std::string records = bytes.substr(dataSize, count * RecordSize);
    TByteReader reader(records, WB_E_FORMAT);
    for (size_t i = 0; i < count; ++i) {
        TSignature signature;
        signature.Id = IdFromField(reader.Take(IdFieldSize), WB_E_FORMAT);
        signature.Value = reader.Take(crypto_sign_BYTES);
        split.Signatures.push_back(std::move(signature));
    }
    return split;
}

std::string Join(const TSignedData& split)
{
    if (split.Signatures.empty())
        return split.Data;
    std::string bytes = split.Data;
    for (const TSignature& signature : split.Signatures)
        bytes += IdField(signature.Id) + signature.Value;
    PutU16(bytes, static_cast<uint16_t>(split.Signatures.size()));
    return bytes + TrailerMark;
}

uint8_t StatusOf(const TSignature& signature, const std::string& data, const std::string& publicFolder)
{
    TPublicKey key;
    try {
        key = LoadPublicKey(publicFolder, IdNumber(signature.Id));
    } catch (const TWbError& error) {
        if (error.Code != WB_E_NO_PUBLIC_KEY)
            throw;
        return WB_SIGN_NO_KEY;
    }
    if (key.Id != signature.Id)
        return WB_SIGN_NO_KEY;
    const bool valid = crypto_sign_verify_detached(Raw(signature.Value), Raw(data), data.size(), key.SignKey) == 0;
    return valid ? WB_SIGN_OK : WB_SIGN_BAD;
}

} // namespace

std::string AddSignature(const std::string& bytes, const TSecretKey& key)
{
    TSignedData split = Split(bytes);
    if (split.Signatures.size() >= MostSignatures)
        Fail(WB_E_TOO_LARGE);
    TSignature signature{key.Id, std::string(crypto_sign_BYTES, '\0')};
    crypto_sign_detached(Raw(signature.Value), nullptr, Raw(split.Data), split.Data.size(), key.SignKey);
    split.Signatures.push_back(std::move(signature));
    return Join(split);
}

std::vector<WB_CHECK_STATUS> CheckSignatures(const std::string& bytes, const std::string& publicFolder)
{
    const TSignedData split = Split(bytes);
    std::vector<WB_CHECK_STATUS> list;
    for (const TSignature& signature : split.Signatures) {
        WB_CHECK_STATUS entry;
        std::memset(&entry, 0, sizeof entry);
        std::memcpy(entry.ID, signature.Id.data(), signature.Id.size());
        entry.Status = StatusOf(signature, split.Data, publicFolder);
        list.push_back(entry);
    }
    return list;
}

std::string RemoveSignatures(const std::string& bytes, unsigned which)
{
    TSignedData split = Split(bytes);
    if (which == WB_ALL_SIGNATURES)
        split.Signatures.clear();
    else if (which < split.Signatures.size())
        split.Signatures.erase(split.Signatures.begin() + which);
    else
        Fail(WB_E_PARAMETER);
    return Join(split);
}

} // namespace wbotho
