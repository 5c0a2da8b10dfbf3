#include "WbEncryption.h"

#include "WbCommon.h"

namespace wbotho {

namespace {

const std::string Mark = "WBCRYPT1";
constexpr size_t WrappedKeySize = crypto_aead_xchacha20poly1305_ietf_KEYBYTES + crypto_box_MACBYTES;
constexpr size_t RecipientSize = IdFieldSize + crypto_box_NONCEBYTES + WrappedKeySize;

struct TRecipient {
    std::string Id;
    std::string Nonce;
    std::string WrappedKey;
};

struct THeader {
    std::string SenderId;
    std::vector<TRecipient> Recipients;
    std::string Nonce;   // of the sealed data
    size_t Size = 0;     // bytes of the header, the associated data of the seal
};

std::string RandomBytes(size_t count)
{
    std::string bytes(count, '\0');
    randombytes_buf(bytes.data(), bytes.size());
    return bytes;
}

// The file key, wiped when dropped.
struct TFileKey {
    unsigned char Bytes[crypto_aead_xchacha20poly1305_ietf_KEYBYTES];
    TFileKey() = default;
    TFileKey(const TFileKey&) = delete;
    TFileKey& operator=(const TFileKey&) = delete;
    ~TFileKey() { sodium_memzero(Bytes, sizeof Bytes); }
};

std::string WrapKey(const TFileKey& key, const std::string& nonce, const TPublicKey& recipient, const TSecretKey& sender)
{
    std::string wrapped(WrappedKeySize, '\0');
    if (crypto_box_easy(Raw(wrapped), key.Bytes, sizeof key.Bytes, Raw(nonce), recipient.BoxKey, sender.BoxKey) != 0)
        Fail(WB_E_INTERNAL);
    return wrapped;
}

THeader ReadHeader(const std::string& sealed)
{
    TByteReader reader(sealed, WB_E_FORMAT);
    if (reader.Take(Mark.size()) != Mark)
        Fail(WB_E_FORMAT);
    THeader header;
    header.SenderId = IdFromField(reader.Take(IdFieldSize), WB_E_FORMAT);
    const size_t count = reader.TakeU16();
    if (count == 0 || count * RecipientSize > reader.Remaining())
        Fail(WB_E_FORMAT);
    for (size_t i = 0; i < count; ++i) {
        TRecipient recipient;
        recipient.Id = IdFromField(reader.Take(IdFieldSize), WB_E_FORMAT);
        recipient.Nonce = reader.Take(crypto_box_NONCEBYTES);
        recipient.WrappedKey = reader.Take(WrappedKeySize);
        header.Recipients.push_back(std::move(recipient));
    }
    header.Nonce = reader.Take(crypto_aead_xchacha20poly1305_ietf_NPUBBYTES);
    header.Size = reader.Position();
    if (reader.Remaining() < crypto_aead_xchacha20poly1305_ietf_ABYTES)
        Fail(WB_E_FORMAT);
    return header;
}

const TRecipient& FindRecipient(const THeader& header, const TSecretKey& own)
{
    for (const TRecipient& recipient : header.Recipients)
        if (IdNumber(recipient.Id) == IdNumber(own.Id)) {
            if (recipient.Id != own.Id)
                Fail(WB_E_KEY_MISMATCH);   // another key pair of this number
            return recipient;
        }
    Fail(WB_E_NOT_RECIPIENT);
}

} // namespace

std::string Encrypt(const std::string& plain, const TSecretKey& sender, const std::vector<TPublicKey>& recipients)
{
    TFileKey key;
    crypto_aead_xchacha20poly1305_ietf_keygen(key.Bytes);
    std::string sealed = Mark + IdField(sender.Id);
    PutU16(sealed, static_cast<uint16_t>(recipients.size()));
    for (const TPublicKey& recipient : recipients) {
        const std::string nonce = RandomBytes(crypto_box_NONCEBYTES);
        sealed += IdField(recipient.Id) + nonce + WrapKey(key, nonce, recipient, sender);
    }
    const std::string nonce = RandomBytes(crypto_aead_xchacha20poly1305_ietf_NPUBBYTES);
    sealed += nonce;

    const size_t headerSize = sealed.size();
    sealed.resize(headerSize + plain.size() + crypto_aead_xchacha20poly1305_ietf_ABYTES);
    unsigned long long cipherSize = 0;
    crypto_aead_xchacha20poly1305_ietf_encrypt(Raw(sealed) + headerSize, &cipherSize, Raw(plain), plain.size(),
                                               Raw(sealed), headerSize, nullptr, Raw(nonce), key.Bytes);
    return sealed;
}

std::string Decrypt(const std::string& sealed, const TSecretKey& own, const std::string& publicFolder)
{
    const THeader header = ReadHeader(sealed);
    const TRecipient& recipient = FindRecipient(header, own);
    const TPublicKey sender = LoadPublicKey(publicFolder, IdNumber(header.SenderId));
    if (sender.Id != header.SenderId)
        Fail(WB_E_KEY_MISMATCH);   // the folder holds another key pair of the sender's number

    TFileKey key;
    if (crypto_box_open_easy(key.Bytes, Raw(recipient.WrappedKey), recipient.WrappedKey.size(), Raw(recipient.Nonce),
                             sender.BoxKey, own.BoxKey) != 0)
        Fail(WB_E_KEY_MISMATCH);

    const size_t cipherSize = sealed.size() - header.Size;
    std::string plain(cipherSize - crypto_aead_xchacha20poly1305_ietf_ABYTES, '\0');
    unsigned long long plainSize = 0;
    if (crypto_aead_xchacha20poly1305_ietf_decrypt(Raw(plain), &plainSize, nullptr, Raw(sealed) + header.Size,
                                                   cipherSize, Raw(sealed), header.Size, Raw(header.Nonce),
                                                   key.Bytes) != 0) {
        sodium_memzero(plain.data(), plain.size());
        Fail(WB_E_DAMAGED);
    }
    return plain;
}

} // namespace wbotho
