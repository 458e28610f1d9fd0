// The program's string table as the simulated PC answers LoadString: the same texts the
// resource script compiles into the exe.
#pragma once

#include "platform/string_table.h"

namespace sim {

std::string programString(uint32_t id);

class ProgramStrings : public dw::StringTable {
public:
    std::string loadString(uint32_t id) override { return programString(id); }
};

}  // namespace sim
