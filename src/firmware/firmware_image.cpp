#include "firmware/firmware_image.h"

#include <cstring>

namespace dw {

namespace {

bool contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

}  // namespace

int32_t procedureIndexForSize(uint64_t size) {
    for (size_t i = 0; i < kImageSizes.size(); ++i) {
        if (size == kImageSizes[i]) return static_cast<int32_t>(i);
    }
    return -1;
}

ChecksumRule checksumRuleFor(std::string_view productId) {
    if (contains(productId, "KV-343A")) return ChecksumRule::A;
    if (contains(productId, "KV-825") || contains(productId, "KV-821A2") ||
        contains(productId, "KV-821UF2")) {
        return ChecksumRule::B;
    }
    return ChecksumRule::C;
}

ChecksumPlan checksumPlanFor(const ModelFamily& row, int32_t procedureIndex) {
    ChecksumPlan plan;
    const std::string_view name = row.productId;
    switch (checksumRuleFor(name)) {
        case ChecksumRule::A:
            plan.ranges = {{16, 0x7A000}};
            plan.storedAt = 0;
            break;
        case ChecksumRule::B:
            plan.ranges = {{0, row.identity.checksumEnd}, {0xF7000, 0xFB000}};
            plan.storedAt = 0xEFFFE;
            break;
        case ChecksumRule::C: {
            const uint32_t start = procedureIndex == 0 ? 0x4100 : 0;
            const uint32_t end = row.identity.checksumEnd;
            if (start > end) plan.impossible = true;
            plan.ranges = {{start, start > end ? start : end}};
            plan.storedAt = end;
            if (contains(name, "5936") || contains(name, "SUPERBA") || contains(name, "6347")) {
                plan.subtract = 0x8000;
            }
            break;
        }
    }
    return plan;
}

std::vector<uint32_t> imageSizesFor(const ModelFamily& row) {
    std::vector<uint32_t> sizes;
    if (row.identity.identOffset == 0) return sizes;
    const uint64_t identEnd =
        uint64_t(row.identity.identOffset) + std::strlen(row.identity.identText);
    for (size_t i = 0; i < kImageSizes.size(); ++i) {
        const uint32_t size = kImageSizes[i];
        const ChecksumPlan plan = checksumPlanFor(row, static_cast<int32_t>(i));
        if (plan.impossible || identEnd > size || uint64_t(plan.storedAt) + 2 > size) continue;
        bool inside = true;
        for (const auto& r : plan.ranges) inside = inside && r.end <= size;
        if (inside) sizes.push_back(size);
    }
    return sizes;
}

}  // namespace dw
