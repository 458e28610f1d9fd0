// The checksums of util/: the image digest is XXH64 with seed 0 and must give the published
// answers, whatever the pieces it is fed in, with the byte sum that rides along the plain sum;
// CRC-32 must give its check values.
#include <gtest/gtest.h>

#include <numeric>

#include "util/crc32.h"
#include "util/image_digest.h"

// The test buffer of xxHash's own sanity check: a byte generator started at 2654435761 and
// multiplied by 11400714785074694797 for each byte, whose top byte is taken. Its published
// digests were each checked against a separate reference implementation, the last three, long
// enough for every loop of the digest, against that reference alone (the 88 bytes end in three
// 8-byte words). Fed in pieces, every other
// one summed along, the answer and the sum (added to what is there) stay the same.
TEST(ImageDigest, givesThePublishedXxh64AnswersInAnyPiecesWithThePlainSumAlongside) {
    std::vector<uint8_t> bytes(0xFB000);
    uint64_t generator = 2654435761u;
    for (auto& b : bytes) b = uint8_t(generator >> 56), generator *= 11400714785074694797ull;
    const std::pair<size_t, uint64_t> vectors[] = {{0, 0xEF46DB3751D8E999ull},
                                                   {1, 0xE934A84ADB052768ull},
                                                   {14, 0x8282DCC4994E35C8ull},
                                                   {222, 0xB641AE8CB691C174ull},
                                                   {2367, 0xA82418DDEC0EA581ull},
                                                   {0xFB000, 0x6D462BB9347F1883ull}};
    for (const auto& [size, answer] : vectors) {
        const uint8_t* data = bytes.data();
        EXPECT_EQ(dw::ImageDigest::of(data, size), answer) << size << " bytes";
        for (size_t piece : {1, 3, 8, 31, 32, 33, 100, 32768}) {
            dw::ImageDigest digest;
            uint32_t sum = 7;
            for (size_t at = 0, n; at < size; at += n) {
                n = std::min(piece, size - at);
                if (at / piece % 2)
                    digest.update(data + at, n), sum = dw::addBytes(sum, data + at, n);
                if (at / piece % 2 == 0) digest.updateAndSum(data + at, n, sum);
            }
            EXPECT_EQ(digest.value(), answer) << size << " bytes in pieces of " << piece;
            EXPECT_EQ(sum, std::accumulate(data, data + size, 7u)) << size << " bytes, " << piece;
        }
    }
}

// CRC-32 marks what the simulated drives received; its check values are the published ones
// (also those of zlib's crc32).
TEST(Crc32, givesTheCheckValues) {
    const std::pair<std::string, uint32_t> cases[] = {
        {"", 0},
        {"123456789", 0xCBF43926},
        {"The quick brown fox jumps over the lazy dog", 0x414FA339}};
    for (const auto& [text, crc] : cases) {
        EXPECT_EQ(dw::Crc32::of(reinterpret_cast<const uint8_t*>(text.data()), text.size()), crc);
    }
}
