// The upgrade-file format written out a second time, apart from the program: the model rows from
// tests/data/model_rows.txt and the checksum rules as the drive documentation states them. The
// validation and download tests build their images here, so a changed range, stored offset,
// subtraction or rule in the program fails them instead of moving the images along with it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace testing_support {

struct GoldenRow {
    int index = -1;
    std::string name;
    uint32_t identOffset = 0;
    uint32_t checksumEnd = 0;
    std::string identText;
};

// Reads a quoted text ("..." with its blanks) or a number from a line of the rows file.
inline bool readQuoted(std::istringstream& in, std::string& out) {
    in >> std::ws;
    if (in.get() != '"') return false;
    return static_cast<bool>(std::getline(in, out, '"'));
}

// The 64 rows, in table order; an empty list (and a test failure) when the file is unreadable.
inline const std::vector<GoldenRow>& goldenRows() {
    static const std::vector<GoldenRow> rows = [] {
        std::vector<GoldenRow> out;
        std::ifstream file(DRIVEWRIGHT_TEST_DATA "/model_rows.txt");
        std::string line;
        while (std::getline(file, line)) {
            if (line.empty() || line[0] == '#') continue;
            std::istringstream in(line);
            GoldenRow row;
            std::string offset, end;
            in >> row.index;
            const bool ok =
                readQuoted(in, row.name) && (in >> offset >> end) && readQuoted(in, row.identText);
            EXPECT_TRUE(ok) << "unreadable line: " << line;
            if (!ok) continue;
            row.identOffset = static_cast<uint32_t>(std::stoul(offset, nullptr, 0));
            row.checksumEnd = static_cast<uint32_t>(std::stoul(end, nullptr, 0));
            out.push_back(row);
        }
        EXPECT_EQ(out.size(), 64u) << "tests/data/model_rows.txt";
        return out;
    }();
    return rows;
}

inline const GoldenRow& goldenRow(const std::string& name) {
    for (const auto& row : goldenRows()) {
        if (row.name == name) return row;
    }
    ADD_FAILURE() << "no golden row " << name;
    static const GoldenRow none;
    return none;
}

inline bool nameHas(const GoldenRow& row, const char* part) {
    return row.name.find(part) != std::string::npos;
}

inline const std::vector<uint32_t>& allImageSizes() {
    static const std::vector<uint32_t> sizes = {0x20000, 0x40000, 0x80000, 0xF0000, 0xFB000};
    return sizes;
}

// Which bytes a file of `size` for `row` sums, and where it stores the big-endian result.
struct ReferenceChecksum {
    char rule = 'C';
    std::vector<std::pair<uint32_t, uint32_t>> ranges;  // [begin, end)
    uint32_t storedAt = 0;
    uint16_t subtract = 0;
};

inline ReferenceChecksum referenceChecksum(const GoldenRow& row, uint32_t size) {
    ReferenceChecksum c;
    if (nameHas(row, "KV-343A")) {
        c.rule = 'A';
        c.ranges = {{16, 0x7A000}};
        c.storedAt = 0;
    } else if (nameHas(row, "KV-825") || nameHas(row, "KV-821A2") || nameHas(row, "KV-821UF2")) {
        c.rule = 'B';
        c.ranges = {{0, row.checksumEnd}, {0xF7000, 0xFB000}};
        c.storedAt = 0xEFFFE;
    } else {
        c.rule = 'C';
        c.ranges = {{size == 0x20000 ? 0x4100 : 0, row.checksumEnd}};
        c.storedAt = row.checksumEnd;
        if (nameHas(row, "5936") || nameHas(row, "SUPERBA") || nameHas(row, "6347")) {
            c.subtract = 0x8000;
        }
    }
    return c;
}

// The sizes a valid file for the row can have: everything checked lies inside the file.
inline std::vector<uint32_t> referenceSizes(const GoldenRow& row) {
    std::vector<uint32_t> sizes;
    if (row.identOffset == 0) return sizes;
    for (uint32_t size : allImageSizes()) {
        const ReferenceChecksum c = referenceChecksum(row, size);
        bool fits = row.identOffset + row.identText.size() <= size && c.storedAt + 2 <= size;
        for (const auto& [begin, end] : c.ranges) fits = fits && begin <= end && end <= size;
        if (fits) sizes.push_back(size);
    }
    return sizes;
}

enum class Flaw { None, Checksum, Identification, Size };

struct ReferenceImage {
    std::string row;  // golden row name
    uint32_t size = 0;
    std::string version = "1.10";  // 4 characters at offset 24
    Flaw flaw = Flaw::None;
    uint32_t seed = 1;
};

// A file that passes (or, with a flaw, fails) the documented checks.
inline std::vector<uint8_t> referenceImage(const ReferenceImage& wanted) {
    const GoldenRow& row = goldenRow(wanted.row);
    std::vector<uint8_t> image(wanted.size);
    uint64_t x = 0x9E3779B97F4A7C15ull * (wanted.seed + 1);
    for (auto& b : image) {
        x = x * 6364136223846793005ull + 1442695040888963407ull;
        b = static_cast<uint8_t>(x >> 56);
    }
    for (size_t i = 0; i < 4 && i < wanted.version.size(); ++i) {
        image[24 + i] = static_cast<uint8_t>(wanted.version[i]);
    }
    for (size_t i = 0; i < row.identText.size(); ++i) {
        image[row.identOffset + i] = static_cast<uint8_t>(row.identText[i]);
    }
    if (wanted.flaw == Flaw::Identification) image[row.identOffset] ^= 0x20;

    const ReferenceChecksum c = referenceChecksum(row, wanted.size);
    uint32_t sum = 0;
    for (const auto& [begin, end] : c.ranges) {
        for (uint32_t i = begin; i < end; ++i) sum += image[i];
    }
    uint16_t value = static_cast<uint16_t>(sum - c.subtract);
    if (wanted.flaw == Flaw::Checksum) value ^= 0x0001;
    image[c.storedAt] = static_cast<uint8_t>(value >> 8);
    image[c.storedAt + 1] = static_cast<uint8_t>(value);
    if (wanted.flaw == Flaw::Size) image.resize(image.size() + 512, 0xFF);
    return image;
}

}  // namespace testing_support
