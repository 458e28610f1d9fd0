// What an upgrade file is: one of five image sizes, an identification string at the model's
// offset, and a 16-bit additive checksum whose rule depends on the model. The validation checks
// files against this; tools/mkimage writes files from it.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "identify/model_table.h"

namespace dw {

inline constexpr std::array<uint32_t, 5> kImageSizes = {0x20000, 0x40000, 0x80000, 0xF0000,
                                                        0xFB000};
inline constexpr uint32_t kVersionOffset = 24;
inline constexpr size_t kVersionLength = 4;

// The download procedure a file of this size goes to: 0..4, or -1 for any other size.
int32_t procedureIndexForSize(uint64_t size);

enum class ChecksumRule { A, B, C };
ChecksumRule checksumRuleFor(std::string_view productId);

// Which bytes are summed and where the stored checksum stands, for one row and file size.
struct ChecksumPlan {
    struct Range {
        uint32_t begin;  // first byte summed
        uint32_t end;    // one past the last
    };
    std::vector<Range> ranges;
    uint32_t storedAt = 0;    // big-endian 16-bit checksum
    uint16_t subtract = 0;    // taken off the sum before the comparison
    bool impossible = false;  // a range that starts beyond its end: no file can match
};
ChecksumPlan checksumPlanFor(const ModelFamily& row, int32_t procedureIndex);

// The 16-bit value a file must store for the plan, given the 32-bit sum of its ranges.
inline uint16_t expectedChecksum(uint32_t sum, const ChecksumPlan& plan) {
    return static_cast<uint16_t>(static_cast<uint16_t>(sum) - plan.subtract);
}

// The image sizes a file for this row can have: the identification string, the checksum field
// and every summed byte lie inside the file.
std::vector<uint32_t> imageSizesFor(const ModelFamily& row);

}  // namespace dw
