// CRC-32 (the IEEE polynomial, as zip and PNG use it), computed piece by piece.
#pragma once

#include <cstddef>
#include <cstdint>

namespace dw {

class Crc32 {
public:
    void update(const uint8_t* data, size_t length);
    uint32_t value() const { return ~state_; }

    static uint32_t of(const uint8_t* data, size_t length) {
        Crc32 crc;
        crc.update(data, length);
        return crc.value();
    }

private:
    uint32_t state_ = 0xFFFFFFFF;
};

}  // namespace dw
