// The program's string table built into the program itself, for the front ends that have no
// resource script to load it from (the Linux command line) and for the simulated PC.
#pragma once

#include "platform/string_table.h"

namespace dw {

// The text of string resource `id`, as drivewright.rc compiles it; empty for an unknown id.
std::string programString(uint32_t id);

class ProgramStrings : public StringTable {
public:
    std::string loadString(uint32_t id) override { return programString(id); }
};

}  // namespace dw
