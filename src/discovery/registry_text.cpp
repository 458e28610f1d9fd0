#include "discovery/registry_text.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace dw {

std::optional<std::vector<uint8_t>> readRegistryValue(Registry& registry, Handle key,
                                                      const std::string& name) {
    uint32_t size = 0;
    if (registry.queryValue(key, name, nullptr, {}, size) != winerr::kSuccess) return std::nullopt;
    std::vector<uint8_t> value(size_t(size) + 1, 0);
    uint32_t read = size;
    if (registry.queryValue(key, name, nullptr, std::span<uint8_t>(value.data(), size), read) !=
        winerr::kSuccess) {
        return std::nullopt;
    }
    value.resize(std::min<size_t>(read, size));
    return value;
}

std::optional<std::string> readRegistryText(Registry& registry, Handle key, const std::string& name,
                                            size_t maxChars) {
    const auto value = readRegistryValue(registry, key, name);
    if (!value) return std::nullopt;
    const auto end = std::find(value->begin(), value->end(), uint8_t(0));
    std::string text(value->begin(), end);
    if (text.size() > maxChars) text.resize(maxChars);
    return text;
}

std::string lowercase(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

KeyChain::KeyChain(Registry& registry, Handle root, std::initializer_list<std::string> path,
                   uint32_t access)
    : registry_(registry) {
    Handle parent = root;
    for (const auto& name : path) {
        Handle key = 0;
        if (registry_.openKey(parent, name, access, key) != winerr::kSuccess) {
            ok_ = false;
            return;
        }
        keys_.push_back(key);
        parent = key;
    }
}

KeyChain::~KeyChain() {
    for (auto it = keys_.rbegin(); it != keys_.rend(); ++it) registry_.closeKey(*it);
}

}  // namespace dw
