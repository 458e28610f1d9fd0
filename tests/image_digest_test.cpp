// The checksums of util/: the image digest is XXH64 with seed 0 and must give the published
// answers, whatever the pieces it is fed in, with the byte sum that rides along the plain sum;
// CRC-32 must give its check values.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "util/crc32.h"
#include "util/image_digest.h"

namespace {

// The test buffer of xxHash's own sanity check: a byte generator started at 2654435761 and
// multiplied by 11400714785074694797 for each byte, whose top byte is taken.
std::vector<uint8_t> sanityBuffer(size_t length) {
    std::vector<uint8_t> bytes(length);
    uint64_t generator = 2654435761u;
    for (auto& b : bytes) {
        b = static_cast<uint8_t>(generator >> 56);
        generator *= 11400714785074694797ull;
    }
    return bytes;
}

std::vector<uint8_t> bytesOf(const char* text) {
    return std::vector<uint8_t>(text, text + std::strlen(text));
}

struct Vector {
    const char* what;
    std::vector<uint8_t> input;
    uint64_t digest;
};

// Published values, each checked against a separate reference implementation; the last two,
// long enough for every loop of the digest, come from that reference alone.
const std::vector<Vector>& knownAnswers() {
    static const std::vector<Vector> vectors = {
        {"empty", {}, 0xEF46DB3751D8E999ull},
        {"\"a\"", bytesOf("a"), 0xD24EC4F1A98C6E5Bull},
        {"\"abc\"", bytesOf("abc"), 0x44BC2CF5AD770999ull},
        {"a 39-character sentence", bytesOf("Nobody inspects the spammish repetition"),
         0xFBCEA83C8A378BF1ull},
        {"sanity buffer, 1 byte", sanityBuffer(1), 0xE934A84ADB052768ull},
        {"sanity buffer, 14 bytes", sanityBuffer(14), 0x8282DCC4994E35C8ull},
        {"sanity buffer, 222 bytes", sanityBuffer(222), 0xB641AE8CB691C174ull},
        {"sanity buffer, 2367 bytes", sanityBuffer(2367), 0xA82418DDEC0EA581ull},
        {"sanity buffer, 1,004 KB", sanityBuffer(0xFB000), 0x6D462BB9347F1883ull},
    };
    return vectors;
}

}  // namespace

TEST(ImageDigest, givesThePublishedXxh64Answers) {
    for (const auto& v : knownAnswers()) {
        EXPECT_EQ(dw::ImageDigest::of(v.input.data(), v.input.size()), v.digest) << v.what;
    }
}

TEST(ImageDigest, theAnswerDoesNotDependOnThePiecesOrTheSumAlongside) {
    for (const auto& v : knownAnswers()) {
        uint32_t plainSum = 0;
        for (uint8_t b : v.input) plainSum += b;
        for (size_t piece : {size_t(1), size_t(3), size_t(8), size_t(31), size_t(32), size_t(33),
                             size_t(100), size_t(32768)}) {
            dw::ImageDigest digest;
            uint32_t sum = 7;  // the sum is added to what is there
            for (size_t at = 0; at < v.input.size(); at += piece) {
                const size_t n = std::min(piece, v.input.size() - at);
                if ((at / piece) % 2 == 0) {
                    digest.updateAndSum(v.input.data() + at, n, sum);
                } else {
                    digest.update(v.input.data() + at, n);
                    sum = dw::addBytes(sum, v.input.data() + at, n);
                }
            }
            EXPECT_EQ(digest.value(), v.digest) << v.what << " in pieces of " << piece;
            EXPECT_EQ(sum, plainSum + 7) << v.what << " in pieces of " << piece;
        }
    }
}

TEST(ImageDigest, theSumOfALargeImageIsThePlainSum) {
    // Long enough for the wide loops and for the sum to pass 2^24; odd offsets and lengths.
    const auto bytes = sanityBuffer(0x100000 + 77);
    for (size_t offset : {size_t(0), size_t(1), size_t(13), size_t(64)}) {
        uint32_t plain = 0;
        for (size_t i = offset; i < bytes.size(); ++i) plain += bytes[i];
        EXPECT_EQ(dw::addBytes(0, bytes.data() + offset, bytes.size() - offset), plain) << offset;
        dw::ImageDigest digest;
        uint32_t sum = 0;
        digest.updateAndSum(bytes.data() + offset, bytes.size() - offset, sum);
        EXPECT_EQ(sum, plain) << offset;
    }
}

// CRC-32 marks what the simulated drives received; its check values are the published ones
// (also those of zlib's crc32).
TEST(Crc32, givesTheCheckValuesWholeOrInPieces) {
    struct Case {
        std::string input;
        uint32_t crc;
    } cases[] = {{"", 0x00000000},
                 {"a", 0xE8B7BE43},
                 {"123456789", 0xCBF43926},
                 {"The quick brown fox jumps over the lazy dog", 0x414FA339}};
    for (const auto& c : cases) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(c.input.data());
        EXPECT_EQ(dw::Crc32::of(bytes, c.input.size()), c.crc) << c.input;
        dw::Crc32 pieces;
        for (size_t i = 0; i < c.input.size(); i += 4) {
            pieces.update(bytes + i, std::min<size_t>(4, c.input.size() - i));
        }
        EXPECT_EQ(pieces.value(), c.crc) << c.input;
    }
}
