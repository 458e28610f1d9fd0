// The words for the sense data a failed command left in a device.
#pragma once

#include <cstdint>

#include "devices/device_entry.h"
#include "platform/string_table.h"
#include "scsi/scsi_transport.h"

namespace dw {

// Whether the device holds sense data: where the system tells how much it wrote (SG_IO), at
// least 8 bytes with a response code of 70h to 73h; where it does not, always.
bool HasSenseData(const DeviceEntry& device);

// (sense key byte × 65536) + (ASC × 256) + ASCQ. The whole key byte of fixed-format sense
// counts, so FILEMARK, EOM and ILI bits put a code outside the keys 1..11; descriptor-format
// sense (72h, 73h) has its key in the low half of byte 1, its ASC and ASCQ in bytes 2 and 3.
uint32_t SenseCode(const DeviceEntry& device);

// The string table entry that names the sense data.
uint32_t SenseTextId(const DeviceEntry& device);

// Builds "<text> (code XXXXXX)" in the transport's errorText and returns it; it stays valid until
// the next call.
const char* SenseText(ScsiTransport& transport, const DeviceEntry& device, StringTable& strings);

}  // namespace dw
