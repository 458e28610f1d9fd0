// The words of an upgrade's outcome, in one place for both front ends: the dialog's status line
// and the command line say the same.
#pragma once

#include <string>

#include "devices/device_entry.h"
#include "platform/string_table.h"
#include "scsi/scsi_transport.h"

namespace dw {

// "Upgrade succesfull", or "Upgrade failed! " and the sense text of the device's sense bytes
// (at most 159 characters, as the dialog's buffer holds).
std::string UpgradeOutcomeText(bool succeeded, ScsiTransport& transport, const DeviceEntry& device,
                               StringTable& strings);

// True for the command that makes the drive keep what it was sent: WRITE BUFFER in mode 5,
// and the vendor memory write with mode byte 0. An interrupted upgrade must not stop after it.
bool IsCommittingCommand(const ScsiCommand& command);

}  // namespace dw
