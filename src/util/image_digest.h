// A 64-bit digest of a byte stream (the XXH64 function), computed piece by piece. It proves that
// the bytes a download sends are the bytes the validation checked; it is fast enough to run
// over every byte while the file is read.
#pragma once

#include <cstddef>
#include <cstdint>

namespace dw {

class ImageDigest {
public:
    void update(const uint8_t* data, size_t length) { feed<false>(data, length, nullptr); }
    // The same, and adds the bytes to `sum` (modulo 2^32) in the same pass over them.
    void updateAndSum(const uint8_t* data, size_t length, uint32_t& sum) {
        feed<true>(data, length, &sum);
    }
    uint64_t value() const;

    static uint64_t of(const uint8_t* data, size_t length) {
        ImageDigest d;
        d.update(data, length);
        return d.value();
    }

private:
    template <bool Sum>
    void feed(const uint8_t* data, size_t length, uint32_t* sum);

    static constexpr uint64_t kPrime1 = 0x9E3779B185EBCA87ull;
    static constexpr uint64_t kPrime2 = 0xC2B2AE3D27D4EB4Full;

    uint64_t lanes_[4] = {kPrime1 + kPrime2, kPrime2, 0, 0 - kPrime1};
    uint8_t pending_[32] = {};
    size_t pendingLength_ = 0;
    uint64_t total_ = 0;
};

// The sum of `length` unsigned bytes, added to `sum` (modulo 2^32).
uint32_t addBytes(uint32_t sum, const uint8_t* data, size_t length);

}  // namespace dw
