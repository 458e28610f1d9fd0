// SHA-256 through libcrypto's EVP digest interface (EVP_Digest, and the same in pieces).
#include "cli/sha256.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace dw::cli {

namespace {

std::string hexOf(const unsigned char* digest, unsigned int length) {
    std::string hex;
    char two[3];
    for (unsigned int i = 0; i < length; ++i) {
        std::snprintf(two, sizeof two, "%02x", digest[i]);
        hex += two;
    }
    return hex;
}

}  // namespace

std::string sha256Hex(std::string_view bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr) != 1) {
        return {};
    }
    return hexOf(digest, length);
}

std::string sha256Hex(std::istream& in, uint64_t length) {
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                          EVP_MD_CTX_free);
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) return {};
    std::vector<char> piece(32768);
    for (uint64_t left = length; left > 0;) {
        const auto wanted = static_cast<std::streamsize>(std::min<uint64_t>(left, piece.size()));
        if (!in.read(piece.data(), wanted)) return {};
        if (EVP_DigestUpdate(context.get(), piece.data(), static_cast<size_t>(wanted)) != 1) {
            return {};
        }
        left -= static_cast<uint64_t>(wanted);
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    if (EVP_DigestFinal_ex(context.get(), digest, &digestLength) != 1) return {};
    return hexOf(digest, digestLength);
}

}  // namespace dw::cli
