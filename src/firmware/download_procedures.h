// The firmware download: the dispatcher and the five procedures. Each procedure opens the
// validated file anew, sends it chunk by chunk through state.transferBuffer, and stops at the
// first failure. Before the command that makes the drive keep the new firmware, it proves that
// the bytes it read are the bytes the validation checked; otherwise it does not send it.
#pragma once

#include <string>

#include "firmware/upgrade_dialog.h"
#include "firmware/upgrade_state.h"
#include "platform/windows_api.h"

namespace dw {

inline constexpr uint32_t kSettleWaitMs = 2000;
// The name under which the program holds a drive exclusively.
inline constexpr const char* kExclusiveCallerName = "Drivewright";

// Ejects a loaded medium, takes the drive exclusively (ScsiTransport::lockDrive) and runs the
// procedure that state.procedureIndex names. The caller releases the drive after its last
// command (ScsiTransport::unlockDrive). A drive that another program holds gets nothing.
bool RunUpgrade(UpgradeState& state, UpgradeDialog& dialog, Clock& clock);

bool Download128K(UpgradeState& state, UpgradeDialog& dialog, Clock& clock);
bool Download256K(UpgradeState& state, UpgradeDialog& dialog, Clock& clock);
bool Download512K(UpgradeState& state, UpgradeDialog& dialog, Clock& clock);
// Whether a drive of `productId` that reports `revision` (4 characters) after a pass of the 512K
// download asks for a second pass: some "6025" drives take the image in two.
bool AsksForASecondPass(const std::string& productId, const char* revision);
bool Download960K(UpgradeState& state, UpgradeDialog& dialog, Clock& clock);
bool Download1004K(UpgradeState& state, UpgradeDialog& dialog, Clock& clock);

// Waits until at least `milliseconds` have passed since `start`, sleeping, with the tick count
// compared modulo 2^32.
void waitSince(Clock& clock, uint32_t start, uint32_t milliseconds);

}  // namespace dw
