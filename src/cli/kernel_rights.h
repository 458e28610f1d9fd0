// What the kernel lets an upgrade send on Linux: an sg node opened for reading and writing passes
// every command; through a block node (/dev/srN) the command filter passes WRITE BUFFER, REZERO
// UNIT and the maker's vendor commands only to a process with CAP_SYS_RAWIO.
#pragma once

#include <optional>
#include <string_view>

namespace dw::cli {

inline constexpr int kCapSysRawio = 17;

// Whether the "CapEff:" line of /proc/self/status holds the capability; nothing when the text
// has no such line that reads.
std::optional<bool> hasEffectiveCapability(std::string_view status, int capability);

// Whether the kernel passes an upgrade's commands through the node. Rights that could not be
// read are given the benefit of the doubt: the kernel then refuses the first of them, before
// anything is written.
bool kernelPassesUpgradeCommands(bool throughGenericNode, std::optional<bool> rawio);

}  // namespace dw::cli
