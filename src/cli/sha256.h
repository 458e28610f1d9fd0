// The SHA-256 of an upgrade file, from OpenSSL's libcrypto.
#pragma once

#include <string>
#include <string_view>

namespace dw::cli {

// Lower-case hex of the SHA-256 of `bytes`, empty where libcrypto fails.
std::string sha256Hex(std::string_view bytes);

}  // namespace dw::cli
