// The line the device list shows for a drive: its target ID and the model name as the user
// knows it, which for the USB, IEEE 1394 and Serial ATA variants is not the product id the
// drive reports.
#pragma once

#include <string>

#include "devices/device_entry.h"
#include "scsi/scsi_transport.h"

namespace dw {

// Sends one INQUIRY, and for an 825 or 829 on a Serial ATA bus one read of the vendor
// information block to confirm the interface. Tests the drive's fresh product id, not the
// stored one; a failed INQUIRY leaves it empty.
std::string DeviceLabel(ScsiTransport& transport, DeviceEntry& device);

}  // namespace dw
