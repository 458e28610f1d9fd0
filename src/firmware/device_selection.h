// What selecting a drive does before the user sees it, for both front ends: the two commands
// that leave the drive's sense bytes in the current device, and the firmware version as the
// drive reports it.
#pragma once

#include "devices/device_entry.h"
#include "firmware/upgrade_state.h"
#include "scsi/scsi_transport.h"

namespace dw {

inline constexpr size_t kFirmwareVersionSize = 5;  // 4 characters and the terminator

// Sends TEST UNIT READY and REQUEST SENSE (results not examined) and makes the entry, with the
// sense bytes they left, the current device.
void SelectDevice(UpgradeState& state, DeviceEntry entry);

// The drive's INQUIRY revision, "?.??" when INQUIRY fails, and for "CD-R   KV-R535C" the 4
// bytes at drive memory 0x100198. Writes 5 characters (with the terminator) into `text`.
void GetFirmwareVersion(ScsiTransport& transport, DeviceEntry entry, char* text);

}  // namespace dw
