// The standard and vendor commands of the firmware download, one builder each. Every builder
// sends its command through the transport's `execute` to the device it is given and returns
// the result unchanged (1 = good status; otherwise the sense data is in `device.sense`).
#pragma once

#include <cstdint>
#include <span>

#include "devices/device_entry.h"
#include "scsi/scsi_transport.h"

namespace dw {

// WRITE BUFFER modes: every chunk but the last is downloaded, the last one also saved.
inline constexpr uint8_t kWriteBufferDownload = 4;
inline constexpr uint8_t kWriteBufferDownloadAndSave = 5;
inline constexpr uint8_t kWriteBufferId = 0;
// WRITE BUFFER hands over 4 bytes beyond its parameter list.
inline constexpr uint32_t kWriteBufferExtra = 4;
// The mode bytes of VendorWriteMemory: a chunk staged, and the last one that commits.
inline constexpr uint8_t kVendorWriteStage = 1;
inline constexpr uint8_t kVendorWriteCommit = 0;

int32_t TestUnitReady(ScsiTransport& transport, DeviceEntry& device);
int32_t RezeroUnit(ScsiTransport& transport, DeviceEntry& device);
// Reads 18 bytes of sense data into `buffer` (at least 18 bytes).
int32_t RequestSense(ScsiTransport& transport, DeviceEntry& device, std::span<uint8_t> buffer);
// START STOP UNIT with LoEj = 1, Start = 0.
int32_t EjectMedium(ScsiTransport& transport, DeviceEntry& device);
// WRITE BUFFER of `length` bytes. The transport is handed length + 4 bytes, so `buffer` must
// hold at least that many.
int32_t WriteBuffer(ScsiTransport& transport, DeviceEntry& device, uint8_t mode, uint8_t bufferId,
                    uint32_t offset, uint32_t length, std::span<uint8_t> buffer);
// E1h: makes the drive ready for a vendor-command download.
int32_t VendorPrepareDownload(ScsiTransport& transport, DeviceEntry& device);
// E2h: writes `length` bytes of `buffer` to drive memory at `address`.
int32_t VendorWriteMemory(ScsiTransport& transport, DeviceEntry& device, uint8_t modeByte,
                          uint32_t address, uint32_t length, std::span<uint8_t> buffer);
// E3h: reads `length` bytes of drive memory at `address` into `buffer`.
int32_t VendorReadMemory(ScsiTransport& transport, DeviceEntry& device, uint32_t address,
                         uint32_t length, std::span<uint8_t> buffer);

}  // namespace dw
