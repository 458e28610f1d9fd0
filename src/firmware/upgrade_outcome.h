// The words the user reads when an upgrade ends: success, the drive's own reason when it
// refused a command, or a plain sentence when the program stopped the download itself.
#pragma once

#include <string>

#include "firmware/upgrade_state.h"
#include "platform/string_table.h"

namespace dw {

// "Upgrade succesfull", or "Upgrade failed! " and why, from state.download and the sense data
// the failed command left in state.currentDevice.
std::string UpgradeOutcomeText(bool succeeded, UpgradeState& state, StringTable& strings);

}  // namespace dw
