// The program's string table (LoadStringA).
#pragma once

#include <cstdint>
#include <string>

namespace dw {

class StringTable {
public:
    virtual ~StringTable() = default;
    // The text of string resource `id`; empty when there is none.
    virtual std::string loadString(uint32_t id) = 0;
};

}  // namespace dw
