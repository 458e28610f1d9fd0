// The one record of the program's working state.
#pragma once

#include <array>
#include <cstdint>

#include "devices/device_entry.h"
#include "scsi/scsi_transport.h"

namespace dw {

inline constexpr size_t kTransferBufferSize = 32768;
inline constexpr size_t kUpgradeFilePathSize = 300;

// What the validation learnt of the file it accepted, so that the download can prove it sends
// the same bytes.
struct FileDigest {
    bool valid = false;
    uint64_t length = 0;
    uint64_t digest = 0;  // ImageDigest of every byte
};

struct UpgradeState {
    uint32_t passCounter = 0;
    int32_t procedureIndex = 0;
    std::array<uint8_t, kTransferBufferSize> transferBuffer = {};
    ScsiTransport* transport = nullptr;  // owned by the main dialog
    char upgradeFilePath[kUpgradeFilePathSize] = {};
    DeviceList deviceList;
    DeviceEntry currentDevice;
    FileDigest validatedFile;
};

}  // namespace dw
