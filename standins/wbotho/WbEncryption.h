#pragma once
// Encrypted data: a header naming the sender and, per recipient, the random file key
// wrapped with X25519 (crypto_box: the sender's secret key and the recipient's public
// key), then the data sealed with XChaCha20-Poly1305 under the file key, the whole header
// being its associated data. Layout: README.md.

#include "WbKeys.h"

#include <string>
#include <vector>

namespace wbotho {

std::string Encrypt(const std::string& plain, const TSecretKey& sender, const std::vector<TPublicKey>& recipients);
// The sender's public key comes from the folder.
std::string Decrypt(const std::string& sealed, const TSecretKey& own, const std::string& publicFolder);

} // namespace wbotho
