// Writes upgrade images for any row of the model table: valid ones, or ones broken on purpose.
// Shared by the mkimage tool and the tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "identify/model_table.h"

namespace dw::tools {

enum class Breakage { None, BadChecksum, BadIdentification, WrongSize };

struct ImageRequest {
    const ModelFamily* row = nullptr;
    uint32_t size = 0;             // one of the image sizes the row allows
    std::string version = "1.10";  // 4 characters at offset 24
    Breakage breakage = Breakage::None;
    uint32_t seed = 1;  // the filler bytes are a function of it
};

// The image bytes; empty (and `error` set) when the row cannot have an image of that size.
std::vector<uint8_t> makeUpgradeImage(const ImageRequest& wanted, std::string& error);

bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error);

// The row whose product id is `name` exactly, or whose index `name` is; null when none.
const ModelFamily* findRow(const std::string& name);

}  // namespace dw::tools
