// Reading the effective capabilities, and what they let an upgrade send.
#include "cli/kernel_rights.h"

#include <cstdint>

namespace dw::cli {

std::optional<bool> hasEffectiveCapability(std::string_view status, int capability) {
    constexpr std::string_view kField = "CapEff:";
    for (size_t start = 0; start < status.size();) {
        size_t end = status.find('\n', start);
        if (end == std::string_view::npos) end = status.size();
        std::string_view line = status.substr(start, end - start);
        start = end + 1;
        if (line.substr(0, kField.size()) != kField) continue;
        line.remove_prefix(kField.size());
        while (!line.empty() && (line.front() == '\t' || line.front() == ' '))
            line.remove_prefix(1);
        if (line.empty() || line.size() > 16) return std::nullopt;
        uint64_t mask = 0;
        for (char c : line) {
            const int digit = c >= '0' && c <= '9'   ? c - '0'
                              : c >= 'a' && c <= 'f' ? c - 'a' + 10
                              : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                     : -1;
            if (digit < 0) return std::nullopt;
            mask = mask * 16 + static_cast<uint64_t>(digit);
        }
        return ((mask >> capability) & 1) != 0;
    }
    return std::nullopt;
}

bool kernelPassesUpgradeCommands(bool throughGenericNode, std::optional<bool> rawio) {
    return throughGenericNode || rawio.value_or(true);
}

}  // namespace dw::cli
