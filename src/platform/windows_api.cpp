#include "platform/windows_api.h"

#include <cstdio>

namespace dw {

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

bool Guid::parse(std::string_view text, Guid& out) {
    if (text.size() == 38 && text.front() == '{' && text.back() == '}') {
        text = text.substr(1, 36);
    }
    if (text.size() != 36 || text[8] != '-' || text[13] != '-' || text[18] != '-' ||
        text[23] != '-') {
        return false;
    }
    // The digits in text order; the first three groups are stored little-endian.
    uint8_t inOrder[16];
    size_t n = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (i == 8 || i == 13 || i == 18 || i == 23) continue;
        const int high = hexDigit(text[i]);
        const int low = i + 1 < text.size() ? hexDigit(text[i + 1]) : -1;
        if (high < 0 || low < 0 || n >= 16) return false;
        inOrder[n++] = static_cast<uint8_t>(high * 16 + low);
        ++i;
    }
    if (n != 16) return false;
    static constexpr int kOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    for (size_t i = 0; i < 16; ++i) out.bytes[i] = inOrder[kOrder[i]];
    return true;
}

std::string Guid::text() const {
    const auto& b = bytes;
    char t[40];
    std::snprintf(t, sizeof t,
                  "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", b[3],
                  b[2], b[1], b[0], b[5], b[4], b[7], b[6], b[8], b[9], b[10], b[11], b[12], b[13],
                  b[14], b[15]);
    return t;
}

Handle DeviceSetup::setupDiGetClassDevs(std::string_view classGuid, uint32_t flags,
                                        uint32_t* error) {
    Guid guid;
    if (!Guid::parse(classGuid, guid)) {
        if (error != nullptr) *error = winerr::kInvalidParameter;
        return kInvalidHandle;
    }
    return setupDiGetClassDevs(guid, flags, error);
}

}  // namespace dw
