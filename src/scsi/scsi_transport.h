// The one executor of SCSI commands of a run, over ASPI for Win32 or the Windows SCSI
// pass-through interface, and the holder of the discovery tree.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "devices/device_entry.h"
#include "devices/host_adapter.h"
#include "platform/scsi_structures.h"
#include "platform/windows_api.h"
#include "scsi/command_result.h"
#include "scsi/scsi_command.h"

namespace dw {

enum class TransportKind : uint8_t { None = 0, Aspi = 16, PassThrough = 32 };

inline constexpr int kErrorTextSize = 300;

// What `inquiry` reads: the identification texts as the drive sends them, NUL-terminated.
struct InquiryStrings {
    char vendor[kVendorLength + 1] = {};
    char product[kProductLength + 1] = {};
    char revision[kRevisionLength + 1] = {};
};

// What `queryAdapter` reads.
struct AdapterInfo {
    char managerId[17] = {};
    char adapterId[17] = {};
    uint8_t unique[16] = {};
    uint8_t hostScsiId = 0;
};

class ScsiTransport {
public:
    explicit ScsiTransport(WindowsApi& api);
    ~ScsiTransport();
    ScsiTransport(const ScsiTransport&) = delete;
    ScsiTransport& operator=(const ScsiTransport&) = delete;

    // 1 on GOOD status; 0 not sent (no transport, or a negative adapter or target under
    // pass-through); -1 not sent (pass-through, drive letter outside A..Z); otherwise a failure
    // as commandResult makes it (the status byte, or -256 times a Windows error code). A command
    // that reached the drive and failed leaves its first 14 sense bytes in `device.sense`; a
    // success, or a failure to reach the drive, leaves `sense` as it was.
    int32_t execute(DeviceEntry& device, const ScsiCommand& command);

    // Standard INQUIRY. On success the low byte is 1 and bits 8..15 are INQUIRY byte 0.
    int32_t inquiry(DeviceEntry& device, InquiryStrings& out);

    int32_t queryAdapter(int adapterIndex, AdapterInfo& out);

    // Keeps a pass-through handle open for the device's drive letter (D: and later only).
    void openDriveHandle(const DeviceEntry& device);
    void closeDriveHandle(const DeviceEntry& device);

    // Releases the ASPI library, empties the tree, sets the kind to None.
    void stop();

    // The adapter tree.
    void copyAdapters(std::vector<HostAdapter>& destination) const { destination = adapters; }
    void storeDevice(const DeviceEntry& entry, size_t busIndex, size_t deviceIndex);
    void setAdapterBusKind(size_t adapterIndex, BusKind kind);
    bool hasUsbOr1394Adapter() const;

    // The adapter a device belongs to, or null: under ASPI the adapter at index `hostAdapter`;
    // under pass-through the port adapter whose `portNumber` it is, or the drive-letter adapter
    // that holds it.
    HostAdapter* adapterOf(const DeviceEntry& device);

    // Commands through the pass-through interface, for the scans as well as `execute`.
    int32_t passThroughCommand(DeviceEntry& device, const ScsiCommand& command);
    int32_t driveLetterInquiry(DeviceEntry& device, InquiryStrings& out);
    int32_t deviceMapInquiry(DeviceEntry& device, InquiryStrings& out);
    int32_t passThroughAdapterInquiry(int adapterIndex, AdapterInfo& out);

    // Requests through the ASPI layer.
    int32_t aspiCommand(DeviceEntry& device, const ScsiCommand& command);
    int32_t aspiAdapterInquiry(int adapterIndex, AdapterInfo& out);

    WindowsApi& api() { return api_; }

    // Fields of the transport, in their order.
    TransportKind kind = TransportKind::None;
    Handle aspiLibrary = 0;
    std::string lastError;
    std::vector<HostAdapter> adapters;
    std::array<uint8_t, kDriveLetterCount> letterInquiry = {};
    std::array<Handle, kDriveLetterCount> letterHandle;
    std::array<uint8_t, kDriveLetterCount> letterHandleOpen = {};
    char errorText[kErrorTextSize] = {};
    std::array<uint8_t, kDriveLetterCount> letterIsCdrom = {};
    GetAspi32SupportInfoFn supportInfo = nullptr;
    SendAspi32CommandFn sendCommand = nullptr;

private:
    WindowsApi& api_;
};

// Copies what INQUIRY read into the entry's identification fields.
void copyIdentification(const InquiryStrings& strings, DeviceEntry& entry);
// A byte from 1 to 31, DEL or a byte of 128 and above: what the port driver's copy may hold.
bool isControlCharacter(char c);
// "C:\" with the letter of index 0..25 in place of the C.
std::string driveRootPath(int driveLetter);

// "\\.\C:" with the letter of index 0..25 in place of the C.
std::string driveLetterDeviceName(int driveLetter);
// "\\.\SCSI%d:".
std::string scsiPortDeviceName(int portNumber);

}  // namespace dw
