// The constant table of the KORVANE models this program serves: one row per model and
// attachment, with what an upgrade file for it must carry. Free of any transport, so the image
// tool and the file checks can use it as it stands.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace dw {

inline constexpr size_t kProductIdSize = 25;  // up to 24 characters and the terminator
inline constexpr size_t kIdentTextSize = 32;  // up to 31 characters and the terminator

// What an upgrade file for a model must hold. An `identOffset` of 0 marks a model that cannot
// be upgraded.
struct UpgradeFileIdentity {
    uint32_t identOffset = 0;  // where the identification string stands in the file
    uint32_t checksumEnd = 0;  // where the file's 2-byte checksum stands
    char identText[kIdentTextSize] = {};
};

// One row of the table: the row name, a prefix of the drive's 16-character product
// identification, and the file identity. An empty row (all texts empty, all numbers 0) stands
// for "not identified".
struct ModelFamily {
    char productId[kProductIdSize] = {};
    UpgradeFileIdentity identity;
};

inline constexpr size_t kModelTableRows = 64;

// Searched from row 0 upward; a row whose name is a prefix of another row's name stands after
// that row, so the longer, more specific name wins.
extern const ModelFamily ModelTable[kModelTableRows];

// The first row whose name is a prefix of `workingId`, or null when none is.
const ModelFamily* matchModelRow(std::string_view workingId);

}  // namespace dw
