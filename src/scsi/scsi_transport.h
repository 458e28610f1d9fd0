// The one executor of SCSI commands of a run, over ASPI for Win32, the Windows SCSI
// pass-through interface or Linux SG_IO, and the holder of the discovery tree.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "devices/device_entry.h"
#include "devices/host_adapter.h"
#include "platform/linux_api.h"
#include "platform/scsi_structures.h"
#include "platform/windows_api.h"
#include "scsi/command_result.h"
#include "scsi/scsi_command.h"

namespace dw {

enum class TransportKind : uint8_t { None = 0, Aspi = 16, PassThrough = 32, SgIo = 48 };

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

// A drive the Linux scan found: its SCSI address and the device node its commands go through.
struct SgIoDevice {
    int32_t host = 0;
    int32_t channel = 0;
    int32_t target = 0;
    int32_t lun = 0;
    std::string node;       // "/dev/sg1", or "/dev/sr0" where the drive has no generic node
    std::string blockName;  // "sr0" when the drive has a block device, else empty
    int keptFd = -1;        // the node held open (exclusively) for an upgrade, or -1
    int claimFd = -1;       // the block node beside a generic one, held open exclusively, or -1
    // The device numbers sysfs gives for the drive's sg node and its sr block device; none
    // where it has no such node or the number could not be read.
    std::optional<DeviceNumber> genericNumber;
    std::optional<DeviceNumber> blockNumber;
    // The identification the drive answered INQUIRY with when the scan found it.
    std::optional<InquiryStrings> scanned;
    int32_t lastPackId = 0;  // of the last request written to the generic node

    // Commands go through the generic node (the sg driver), not the block node.
    bool throughGenericNode() const { return blockName.empty() || node != "/dev/" + blockName; }
    // The device number sysfs gave for `node`.
    const std::optional<DeviceNumber>& nodeNumber() const {
        return throughGenericNode() ? genericNumber : blockNumber;
    }
};

// How one SG_IO command ended, its kinds of failure kept apart.
struct SgIoOutcome {
    bool sent = false;   // false: no node for the device, nothing reached the system
    int error = 0;       // errno of the open or of the ioctl
    uint8_t status = 0;  // SCSI status byte
    uint16_t hostStatus = 0;
    uint16_t driverStatus = 0;
    uint8_t senseWritten = 0;  // sense bytes the kernel wrote (sb_len_wr)
    bool openFailed = false;   // `error` is the open's: the ioctl was never called
    bool writeFailed = false;  // `error` is write()'s: the sg driver did not take the request
    bool issued = false;       // write() handed the request over: a later error came after it
    int32_t residual = 0;      // bytes of the data transfer that did not happen (resid)

    // The command went through the host adapter to the drive, which gave a status.
    bool reachedDrive() const;
};

// The one result of an SG_IO command, as commandResult makes it: 1 only when it was sent and
// ended with GOOD status; 0 when nothing was sent; a refusal (errno) when the open failed or the
// kernel turned the request down before issuing it; a request that did not complete (errno) for
// any other errno; a host or driver failure; or the SCSI status byte.
int32_t sgIoResult(const SgIoOutcome& outcome);

// Whether the kernel fails SG_IO with this errno only before it issues the command.
bool sgIoFailsBeforeIssue(int error);

// What --trace shows of a command: the request and every part of how it ended.
struct SgIoTrace {
    const SgIoDevice* device = nullptr;
    const ScsiCommand* command = nullptr;
    uint8_t cdbLength = 0;
    DataDirection direction = DataDirection::None;
    SgIoOutcome outcome;
    int32_t result = 0;
    const uint8_t* sense = nullptr;  // the 32 bytes asked for, outcome.senseWritten of them written
};

// How taking a drive for an upgrade ended.
enum class DriveLock : uint8_t {
    Held,      // only this program's kept handle reaches the drive until unlockDrive
    NotTaken,  // go on without: no kept handle; ASPI, or SG_IO, which already holds its node
               // exclusively; a Windows or driver without exclusive access (2000, XP)
    InUse,     // another program holds the drive, or has a volume on it mounted
};

class ScsiTransport {
public:
    explicit ScsiTransport(WindowsApi& api);
    // A transport over Linux SG_IO; the Linux scan makes its kind SgIo when it files a drive.
    explicit ScsiTransport(LinuxApi& api);
    ~ScsiTransport();
    ScsiTransport(const ScsiTransport&) = delete;
    ScsiTransport& operator=(const ScsiTransport&) = delete;

    // 1 on GOOD status; 0 not sent (no transport, or a negative adapter or target under
    // pass-through); -1 not sent (pass-through, drive letter outside A..Z); otherwise a failure
    // as commandResult makes it: not sent (refused by the system or the ASPI layer), the status
    // byte, or not completed (a failed I/O request, an SG_IO host or driver failure). A command
    // the drive answered with a failure leaves its first 14 sense bytes in `device.sense`; a
    // success, or a failure of which no answer came back, leaves `sense` as it was.
    int32_t execute(DeviceEntry& device, const ScsiCommand& command);

    // Standard INQUIRY. On success the low byte is 1 and bits 8..15 are INQUIRY byte 0.
    int32_t inquiry(DeviceEntry& device, InquiryStrings& out);

    // INQUIRY as the drive answers it now, for what must see a firmware change: under
    // pass-through a drive at a CD-ROM drive letter is asked through that letter, since the
    // port driver keeps the INQUIRY data it read when it enumerated its bus and does not read it
    // again after a firmware change. Otherwise, and for a drive without a letter, as `inquiry`.
    int32_t currentInquiry(DeviceEntry& device, InquiryStrings& out);

    int32_t queryAdapter(int adapterIndex, AdapterInfo& out);

    // Keeps a pass-through handle open for the device's drive letter (D: and later only); under
    // SG_IO holds the device's node open exclusively, as holdDeviceExclusively does.
    void openDriveHandle(const DeviceEntry& device);
    void closeDriveHandle(const DeviceEntry& device);

    // Pass-through: takes exclusive access to the drive on its kept handle (the CD-ROM class
    // driver's exclusive-access lock, under `callerName`), so that no other program's request
    // reaches it, media polling and AutoPlay included. A no-op elsewhere.
    DriveLock lockDrive(const DeviceEntry& device, const char* callerName);
    // Releases what lockDrive took; closing the kept handle releases it too.
    void unlockDrive(const DeviceEntry& device);

    // SG_IO: holds the drive for an upgrade until closeDriveHandle: opens its node exclusively
    // and sends every command through it, and where a block node stands beside a generic one,
    // holds that exclusively too (a claim that no mount, in any mount namespace, shares, and
    // that refuses new mounts). On failure nothing is held, and the result names the node whose
    // open failed and its errno (EBUSY: held by another program, or, for a block node, mounted).
    struct DeviceHold {
        int error = 0;
        std::string path;
    };
    DeviceHold holdDeviceExclusively(const DeviceEntry& device);
    // SG_IO: whether the held drive is the one the scan found: the device numbers of the held
    // nodes are the ones sysfs gave, and INQUIRY through the held node answers the same vendor,
    // product and revision. Sends nothing else.
    bool heldDriveIsTheScannedOne(DeviceEntry& device);

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

    // Commands through Linux SG_IO.
    int32_t sgIoCommand(DeviceEntry& device, const ScsiCommand& command);
    SgIoDevice* sgIoDeviceOf(const DeviceEntry& device);
    // Closes what holdDeviceExclusively holds of the node.
    void releaseSgIoHold(SgIoDevice& node);

    WindowsApi& api() { return api_; }
    LinuxApi* linuxApi() { return linuxApi_; }

    // Fields of the transport, in their order.
    TransportKind kind = TransportKind::None;
    Handle aspiLibrary = 0;
    std::string lastError;
    std::vector<HostAdapter> adapters;
    std::array<uint8_t, kDriveLetterCount> letterInquiry = {};
    std::array<Handle, kDriveLetterCount> letterHandle;
    std::array<uint8_t, kDriveLetterCount> letterHandleOpen = {};
    std::array<uint8_t, kDriveLetterCount> letterLocked = {};  // 1: lockDrive holds it
    char errorText[kErrorTextSize] = {};
    std::array<uint8_t, kDriveLetterCount> letterIsCdrom = {};
    // Pass-through: whose letter each letter is, as the scan learned it: the SCSI address
    // (addressKey) that IOCTL_SCSI_GET_ADDRESS gave for a CD-ROM letter, or of the external drive
    // found behind it; kNoOwner for a letter that is no drive's own (a letter the scan only
    // handed out, such as C: to a drive it found at no letter). kOwnerNotScanned until a scan
    // ran: a tree built by hand.
    static constexpr int64_t kNoOwner = -1;
    static constexpr int64_t kOwnerNotScanned = -2;
    std::array<int64_t, kDriveLetterCount> letterOwner;
    // Whether the device's drive letter is its own: requests through a letter go to the device
    // the letter's class driver owns, whatever address they name.
    bool isOwnLetter(const DeviceEntry& device) const;
    GetAspi32SupportInfoFn supportInfo = nullptr;
    SendAspi32CommandFn sendCommand = nullptr;
    // SG_IO: the drives the Linux scan found, and who is told of every command sent.
    std::vector<SgIoDevice> sgIoDevices;
    std::function<void(const SgIoTrace&)> sgIoTrace;
    // The residual count of the last SG_IO command that completed: bytes of its data transfer
    // that did not happen. 0 under ASPI and pass-through, which do not tell it.
    int32_t lastResidual = 0;
    // Asked before each command `execute` sends, over any transport; false keeps it from being
    // sent (result 0). The command line stops an interrupted upgrade with it.
    std::function<bool(const ScsiCommand&)> commandGate;
    // Told of each command `execute` was given, with its result, over any transport.
    std::function<void(const DeviceEntry&, const ScsiCommand&, int32_t)> commandDone;

private:
    WindowsApi& api_;
    LinuxApi* linuxApi_ = nullptr;
};

// The SCSI address of an entry as one number: port, path, target and LUN.
int64_t addressKey(const DeviceEntry& entry);

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
