// The program's string table as the simulated PC answers LoadString: the same texts the
// resource script compiles into the exe.
#pragma once

#include "resources/program_strings.h"

namespace sim {

using dw::programString;
using dw::ProgramStrings;

}  // namespace sim
