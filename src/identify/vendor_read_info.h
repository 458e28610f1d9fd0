// The drive's vendor information block (F1h): byte 49 of its first 128 bytes is the drive's
// interface code.
#pragma once

#include <cstdint>
#include <span>

#include "devices/device_entry.h"
#include "scsi/scsi_transport.h"

namespace dw {

inline constexpr uint32_t kInfoPieceSize = 256;
inline constexpr size_t kInterfaceCodeOffset = 49;
// Interface codes the start-up probe acts on: a Serial ATA drive, and one behind a USB bridge.
inline constexpr uint8_t kInterfaceSerialAta = 1;
inline constexpr uint8_t kInterfaceUsbBridge = 8;

// Reads `length` bytes of the block into `buffer` and returns the transport's status (1 =
// success). Drives whose stored product contains "829" or "827" are read in 256-byte pieces by
// piece index (the address is not sent), stopping at the first piece that fails; a length of 0
// then sends nothing and yields 0. Every other drive gets one command with the address and the
// length. A buffer smaller than `length`, or a length the command cannot express, sends nothing
// and yields 0.
int32_t VendorReadInfo(ScsiTransport& transport, DeviceEntry& device, uint32_t address,
                       uint32_t length, std::span<uint8_t> buffer);

}  // namespace dw
