#include "util/crc32.h"

#include <array>

namespace dw {

namespace {

constexpr std::array<uint32_t, 256> makeTable() {
    std::array<uint32_t, 256> table = {};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[i] = c;
    }
    return table;
}

constexpr std::array<uint32_t, 256> kTable = makeTable();

}  // namespace

void Crc32::update(const uint8_t* data, size_t length) {
    uint32_t c = state_;
    for (size_t i = 0; i < length; ++i) c = kTable[(c ^ data[i]) & 0xFF] ^ (c >> 8);
    state_ = c;
}

}  // namespace dw
