// The checksums of util/: the image digest is XXH64 with seed 0 and must give the published
// answers, whatever the pieces it is fed in, with the byte sum that rides along the plain sum;
// CRC-32 must give its check values.
#include <gtest/gtest.h>

#include "util/crc32.h"
#include "util/image_digest.h"

// The test buffer of xxHash's own sanity check: a byte generator started at 2654435761 and
// multiplied by 11400714785074694797 for each byte, whose top byte is taken. Its published
// digests were each checked against a separate reference implementation, the last three, long
// enough for every loop of the digest, against that reference alone (the 88 bytes end in three
// 8-byte words). The validation tests feed the digest in pieces, summing some of them along.
TEST(ImageDigest, givesThePublishedXxh64Answers) {
    std::vector<uint8_t> bytes(0xFB000);
    uint64_t generator = 2654435761u;
    for (auto& b : bytes) b = uint8_t(generator >> 56), generator *= 11400714785074694797ull;
    const std::pair<size_t, uint64_t> vectors[] = {
        {0, 0xEF46DB3751D8E999},    {1, 0xE934A84ADB052768},      {4, 0x9136A0DCA57457EE},
        {14, 0x8282DCC4994E35C8},   {88, 0xA130814F81F87E43},     {222, 0xB641AE8CB691C174},
        {2367, 0xA82418DDEC0EA581}, {0xFB000, 0x6D462BB9347F1883}};
    for (const auto& [size, answer] : vectors)
        EXPECT_EQ(dw::ImageDigest::of(bytes.data(), size), answer) << size << " bytes";
}

// CRC-32 marks what the simulated drives received; its check values are the published ones
// (also those of zlib's crc32).
TEST(Crc32, givesTheCheckValues) {
    const std::pair<std::string, uint32_t> cases[] = {{"", 0},
                                                      {"a", 0xE8B7BE43},
                                                      {"123456789", 0xCBF43926}};
    for (const auto& [text, crc] : cases)
        EXPECT_EQ(dw::Crc32::of(reinterpret_cast<const uint8_t*>(text.data()), text.size()), crc);
}
