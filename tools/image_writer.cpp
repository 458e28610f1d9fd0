#include "image_writer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "firmware/firmware_image.h"

namespace dw::tools {

std::vector<uint8_t> makeUpgradeImage(const ImageRequest& wanted, std::string& error) {
    if (wanted.row == nullptr) {
        error = "no such model row";
        return {};
    }
    const auto sizes = imageSizesFor(*wanted.row);
    if (std::find(sizes.begin(), sizes.end(), wanted.size) == sizes.end()) {
        error = "the row '" + std::string(wanted.row->productId) + "' has no image of " +
                std::to_string(wanted.size) + " bytes";
        return {};
    }
    if (wanted.version.size() != kVersionLength) {
        error = "the version must have 4 characters, like 1.10";
        return {};
    }

    std::vector<uint8_t> image(wanted.size);
    uint32_t x = wanted.seed * 2654435761u + 12345;
    for (auto& b : image) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<uint8_t>(x >> 24);
    }
    std::memcpy(image.data() + kVersionOffset, wanted.version.data(), kVersionLength);
    const auto& identity = wanted.row->identity;
    std::memcpy(image.data() + identity.identOffset, identity.identText,
                std::strlen(identity.identText));
    if (wanted.breakage == Breakage::BadIdentification) image[identity.identOffset] ^= 0x20;

    const ChecksumPlan plan = checksumPlanFor(*wanted.row, procedureIndexForSize(wanted.size));
    uint32_t sum = 0;
    for (const auto& r : plan.ranges) {
        for (uint32_t i = r.begin; i < r.end; ++i) sum += image[i];
    }
    uint16_t value = expectedChecksum(sum, plan);
    if (wanted.breakage == Breakage::BadChecksum) value ^= 0x0001;
    image[plan.storedAt] = static_cast<uint8_t>(value >> 8);
    image[plan.storedAt + 1] = static_cast<uint8_t>(value);

    if (wanted.breakage == Breakage::WrongSize) image.resize(image.size() + 512, 0xFF);
    return image;
}

bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        error = "cannot create " + path;
        return false;
    }
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (std::fclose(f) != 0 || !ok) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

const ModelFamily* findRow(const std::string& name) {
    for (const auto& row : ModelTable) {
        if (name == row.productId) return &row;
    }
    char* end = nullptr;
    const long index = std::strtol(name.c_str(), &end, 10);
    if (!name.empty() && end != nullptr && *end == '\0' && index >= 0 &&
        index < static_cast<long>(kModelTableRows)) {
        return &ModelTable[index];
    }
    return nullptr;
}

}  // namespace dw::tools
