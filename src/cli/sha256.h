// The SHA-256 of an upgrade file, from OpenSSL's libcrypto.
#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <string_view>

namespace dw::cli {

// Lower-case hex of the SHA-256 of `bytes`, empty where libcrypto fails.
std::string sha256Hex(std::string_view bytes);

// The same of the first `length` bytes of `in`, read in pieces; empty where fewer can be read
// or libcrypto fails.
std::string sha256Hex(std::istream& in, uint64_t length);

}  // namespace dw::cli
