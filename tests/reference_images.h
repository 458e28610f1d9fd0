// The upgrade-file format written out a second time, apart from the program: the model rows from
// tests/data/model_rows.txt and the checksum rules as the drive documentation states them. The
// validation and download tests build their images here, so a changed range, stored offset,
// subtraction or rule in the program fails them instead of moving the images along with it.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <iomanip>
#include <numeric>

namespace testing_support {

struct GoldenRow {
    int index = -1;
    uint32_t identOffset = 0, checksumEnd = 0;
    std::string name, identText;
};

// The 64 rows, in table order: number, "name", offset, checksum end, "identification text";
// read once.
inline const std::vector<GoldenRow>& goldenRows() {
    static std::vector<GoldenRow> rows;
    std::ifstream file(rows.empty() ? DRIVEWRIGHT_TEST_DATA "/model_rows.txt" : "");
    for (std::string line; std::getline(file, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream in(line);
        in.unsetf(std::ios::basefield);  // 0x... is hexadecimal
        GoldenRow& r = rows.emplace_back();
        in >> r.index >> std::quoted(r.name) >> r.identOffset >> r.checksumEnd >>
            std::quoted(r.identText);
        EXPECT_FALSE(in.fail()) << "unreadable line: " << line;
    }
    EXPECT_EQ(rows.size(), 64u) << "tests/data/model_rows.txt";
    return rows;
}

inline const std::vector<uint32_t> kAllImageSizes = {0x20000, 0x40000, 0x80000, 0xF0000, 0xFB000};

// Which bytes a file of `size` for `row` sums ([begin, end) ranges), where it stores the
// big-endian 16-bit result, and what is taken off the sum first.
struct ReferenceChecksum {
    std::vector<std::pair<uint32_t, uint32_t>> ranges;
    uint32_t storedAt = 0, subtract = 0;
};

inline ReferenceChecksum referenceChecksum(const GoldenRow& row, uint32_t size) {
    auto has = [&](const char* part) { return row.name.find(part) != std::string::npos; };
    if (has("KV-343A")) return {{{16, 0x7A000}}, 0};           // rule A
    if (has("KV-825") || has("KV-821A2") || has("KV-821UF2"))  // rule B
        return {{{0, row.checksumEnd}, {0xF7000, 0xFB000}}, 0xEFFFE};
    const bool less = has("5936") || has("SUPERBA") || has("6347");  // rule C
    return {{{size == 0x20000 ? 0x4100 : 0, row.checksumEnd}}, row.checksumEnd, less ? 0x8000u : 0};
}

// The sizes a valid file for the row can have: everything checked lies inside the file.
inline std::vector<uint32_t> referenceSizes(const GoldenRow& row) {
    std::vector<uint32_t> sizes;
    for (uint32_t size : kAllImageSizes) {
        const ReferenceChecksum c = referenceChecksum(row, size);
        bool fits = row.identOffset != 0 && row.identOffset + row.identText.size() <= size &&
                    c.storedAt + 2 <= size;
        for (const auto& [begin, end] : c.ranges) fits = fits && begin <= end && end <= size;
        if (fits) sizes.push_back(size);
    }
    return sizes;
}

struct ReferenceImage {
    std::string row;  // golden row name
    uint32_t size = 0;
    std::string version = "1.10";  // 4 characters at offset 24
};

// A file that passes the documented checks (none for size 0).
inline std::vector<uint8_t> referenceImage(const ReferenceImage& wanted) {
    if (wanted.size == 0) return {};
    auto row = std::find_if(goldenRows().begin(), goldenRows().end(),
                            [&](auto& r) { return r.name == wanted.row; });
    if (row == goldenRows().end()) throw std::invalid_argument("no golden row " + wanted.row);
    std::vector<uint8_t> image(wanted.size);
    uint64_t x = 0x3C6EF372FE94F82Aull;  // filler bytes from a fixed start
    for (auto& b : image)
        b = uint8_t((x = x * 6364136223846793005ull + 1442695040888963407ull) >> 56);
    std::copy(wanted.version.begin(), wanted.version.end(), image.begin() + 24);
    std::copy(row->identText.begin(), row->identText.end(), image.begin() + row->identOffset);
    const ReferenceChecksum c = referenceChecksum(*row, wanted.size);
    uint32_t sum = 0;
    for (const auto& [b, e] : c.ranges)
        sum = std::accumulate(image.data() + b, image.data() + std::max(b, e), sum);
    const uint16_t value = uint16_t(sum - c.subtract);
    image[c.storedAt] = uint8_t(value >> 8), image[c.storedAt + 1] = uint8_t(value);
    return image;
}

}  // namespace testing_support
