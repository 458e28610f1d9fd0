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

// Why the last download stopped, and where: the drive refused a command, a command could not be
// sent or did not complete, or the program stopped it itself over the upgrade file.
enum class DownloadStop : uint8_t {
    None,            // the download ran to its end
    DriveRefused,    // a command came back with a failure status; its sense says why
    NotSent,         // a command could not be sent: nothing of it reached the drive
    NotCompleted,    // a command was handed on but did not complete: the drive may have taken it
    FileUnopenable,  // the upgrade file could not be opened
    FileUnreadable,  // reading the upgrade file failed
    FileShorter,     // the upgrade file is shorter than when it was checked
    FileChanged,     // the upgrade file is not the one that was checked
    NoProcedure,     // no procedure downloads a file of this size
    DriveInUse,      // another program holds the drive: nothing that carries firmware was sent
    DriveTookPart,   // a chunk came back GOOD, but the residual says the drive took only part
};

struct DownloadRecord {
    DownloadStop stop = DownloadStop::None;
    int32_t chunk = -1;  // the chunk at which it stopped, from 0; -1 before the first
    int32_t result = 0;  // the failed command's result (DriveRefused, NotSent, NotCompleted)
    // The failed command was the committing one (the last chunk), which makes the drive keep
    // what it was sent.
    bool committing = false;
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
    DownloadRecord download;
};

}  // namespace dw
