// The words the user reads when an upgrade ends, in one place for both front ends (the dialog's
// status line and the command line say the same): success, the drive's own reason when it
// refused a command, or a plain sentence when the program stopped the download itself. And the
// command that commits a download.
#pragma once

#include <cstdint>
#include <string>

#include "firmware/upgrade_state.h"
#include "platform/string_table.h"
#include "scsi/scsi_command.h"

namespace dw {

// "Upgrade succesfull", or "Upgrade failed! " and why, from state.download and the sense data
// the failed command left in state.currentDevice.
std::string UpgradeOutcomeText(bool succeeded, UpgradeState& state, StringTable& strings);

// True for the command that makes the drive keep what it was sent: WRITE BUFFER in mode 5,
// and the vendor memory write with mode byte 0. An interrupted upgrade must not stop after it.
bool IsCommittingCommand(const ScsiCommand& command);

// True when the command, ended with `result`, may have changed the drive: a command that carries
// firmware (WRITE BUFFER, the vendor memory write) that went out, whatever its answer, or the
// vendor preparation for a download unless it was not sent or the drive refused it. An upgrade
// that failed before any such command leaves the drive as it was.
bool MayHaveChangedTheDrive(const ScsiCommand& command, int32_t result);

}  // namespace dw
