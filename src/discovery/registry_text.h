// Reading registry values the way discovery does: first the size, then the value.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/windows_api.h"

namespace dw {

// The value's bytes, or nothing when it is missing or cannot be read.
std::optional<std::vector<uint8_t>> readRegistryValue(Registry& registry, Handle key,
                                                      const std::string& name);
// A text value up to its first NUL (at most `maxChars` characters), or nothing.
std::optional<std::string> readRegistryText(Registry& registry, Handle key, const std::string& name,
                                            size_t maxChars = 4096);

std::string lowercase(std::string text);
bool contains(const std::string& text, const std::string& part);

// Opens a chain of subkeys; closes what it opened when one fails.
class KeyChain {
public:
    KeyChain(Registry& registry, Handle root, std::initializer_list<std::string> path,
             uint32_t access);
    ~KeyChain();
    KeyChain(const KeyChain&) = delete;
    KeyChain& operator=(const KeyChain&) = delete;
    bool ok() const { return ok_; }
    Handle key() const { return keys_.empty() ? 0 : keys_.back(); }

private:
    Registry& registry_;
    std::vector<Handle> keys_;
    bool ok_ = true;
};

}  // namespace dw
