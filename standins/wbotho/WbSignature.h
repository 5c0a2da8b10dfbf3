#pragma once
// Signed data: the data, then one record per signature (the signer's identifier and an
// Ed25519 signature of the data), then a trailer with the count and a mark. Data without
// the trailer is unsigned. Layout: README.md.

#include "WbKeys.h"

#include "wbotho.h"

#include <string>
#include <vector>

namespace wbotho {

// Appends the key's signature of the data part.
std::string AddSignature(const std::string& bytes, const TSecretKey& key);
// One entry per signature, in the order they were added; public keys from the folder.
std::vector<WB_CHECK_STATUS> CheckSignatures(const std::string& bytes, const std::string& publicFolder);
// Without the signature at `which`, or without any for WB_ALL_SIGNATURES.
std::string RemoveSignatures(const std::string& bytes, unsigned which);

} // namespace wbotho
