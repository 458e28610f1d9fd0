#include "util/image_digest.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace dw {

namespace {

constexpr uint64_t kPrime1 = 0x9E3779B185EBCA87ull;
constexpr uint64_t kPrime2 = 0xC2B2AE3D27D4EB4Full;
constexpr uint64_t kPrime3 = 0x165667B19E3779F9ull;
constexpr uint64_t kPrime4 = 0x85EBCA77C2B2AE63ull;
constexpr uint64_t kPrime5 = 0x27D4EB2F165667C5ull;

inline uint64_t rotl(uint64_t x, int r) { return (x << r) | (x >> (64 - r)); }

// The digest is defined over little-endian words; every target of the program is little-endian.
inline uint64_t read64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline uint32_t read32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline uint64_t round(uint64_t acc, uint64_t input) {
    acc += input * kPrime2;
    acc = rotl(acc, 31);
    return acc * kPrime1;
}

inline uint64_t mergeRound(uint64_t acc, uint64_t lane) {
    acc ^= round(0, lane);
    return acc * kPrime1 + kPrime4;
}

inline void stripe(uint64_t* lanes, const uint8_t* p) {
    lanes[0] = round(lanes[0], read64(p));
    lanes[1] = round(lanes[1], read64(p + 8));
    lanes[2] = round(lanes[2], read64(p + 16));
    lanes[3] = round(lanes[3], read64(p + 24));
}

}  // namespace

template <bool Sum>
void ImageDigest::feed(const uint8_t* data, size_t length, uint32_t* sum) {
    // Nothing to add; an empty buffer may come as a null pointer, which memcpy must not see.
    if (length == 0) return;
    total_ += length;
    if (pendingLength_ > 0) {
        const size_t take = length < 32 - pendingLength_ ? length : 32 - pendingLength_;
        if (Sum) *sum = addBytes(*sum, data, take);
        std::memcpy(pending_ + pendingLength_, data, take);
        pendingLength_ += take;
        data += take;
        length -= take;
        if (pendingLength_ < 32) return;
        stripe(lanes_, pending_);
        pendingLength_ = 0;
    }
    uint64_t l0 = lanes_[0], l1 = lanes_[1], l2 = lanes_[2], l3 = lanes_[3];
#if defined(__SSE2__)
    // The byte sum rides along the digest's loads: sums of absolute differences against zero.
    __m128i acc = _mm_setzero_si128();
    const __m128i zero = _mm_setzero_si128();
#endif
    while (length >= 32) {
        l0 = round(l0, read64(data));
        l1 = round(l1, read64(data + 8));
        l2 = round(l2, read64(data + 16));
        l3 = round(l3, read64(data + 24));
        if (Sum) {
#if defined(__SSE2__)
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16));
            acc = _mm_add_epi64(acc, _mm_add_epi64(_mm_sad_epu8(a, zero), _mm_sad_epu8(b, zero)));
#else
            *sum = addBytes(*sum, data, 32);
#endif
        }
        data += 32;
        length -= 32;
    }
#if defined(__SSE2__)
    if (Sum) {
        uint64_t lanes[2];
        _mm_storeu_si128(reinterpret_cast<__m128i*>(lanes), acc);
        *sum += static_cast<uint32_t>(lanes[0] + lanes[1]);
    }
#endif
    lanes_[0] = l0, lanes_[1] = l1, lanes_[2] = l2, lanes_[3] = l3;
    if (Sum) *sum = addBytes(*sum, data, length);
    std::memcpy(pending_, data, length);
    pendingLength_ = length;
}

template void ImageDigest::feed<false>(const uint8_t*, size_t, uint32_t*);
template void ImageDigest::feed<true>(const uint8_t*, size_t, uint32_t*);

uint64_t ImageDigest::value() const {
    uint64_t h;
    if (total_ >= 32) {
        h = rotl(lanes_[0], 1) + rotl(lanes_[1], 7) + rotl(lanes_[2], 12) + rotl(lanes_[3], 18);
        for (uint64_t lane : lanes_) h = mergeRound(h, lane);
    } else {
        h = lanes_[2] + kPrime5;
    }
    h += total_;

    const uint8_t* p = pending_;
    size_t left = pendingLength_;
    while (left >= 8) {
        h ^= round(0, read64(p));
        h = rotl(h, 27) * kPrime1 + kPrime4;
        p += 8;
        left -= 8;
    }
    if (left >= 4) {
        h ^= uint64_t(read32(p)) * kPrime1;
        h = rotl(h, 23) * kPrime2 + kPrime3;
        p += 4;
        left -= 4;
    }
    while (left > 0) {
        h ^= *p * kPrime5;
        h = rotl(h, 11) * kPrime1;
        ++p;
        --left;
    }
    h ^= h >> 33;
    h *= kPrime2;
    h ^= h >> 29;
    h *= kPrime3;
    h ^= h >> 32;
    return h;
}

uint32_t addBytes(uint32_t sum, const uint8_t* data, size_t length) {
    size_t i = 0;
#if defined(__SSE2__)
    // Sixteen bytes at a time: the sums of absolute differences against zero are byte sums.
    __m128i acc = _mm_setzero_si128();
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= length; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
        acc = _mm_add_epi64(acc, _mm_sad_epu8(v, zero));
    }
    uint64_t lanes[2];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(lanes), acc);
    sum += static_cast<uint32_t>(lanes[0] + lanes[1]);
#endif
    for (; i < length; ++i) sum += data[i];
    return sum;
}

}  // namespace dw
