// Requests of the pass-through transport: the command request through a drive letter, the two
// ways of reading INQUIRY data, the adapter inquiry of a SCSI port, and a drive's exclusive
// access for an upgrade.
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/port_inquiry_data.h"
#include "scsi/command_result.h"
#include "scsi/opcodes.h"
#include "scsi/scsi_transport.h"

namespace dw {

namespace {

constexpr int kMaxPorts = 100;
constexpr uint8_t kScsiStatusGood = 0;

// The port driver's copy may hold control bytes; they become blanks, NULs stay.
void blankControlCharacters(char* text, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        if (isControlCharacter(text[i])) text[i] = ' ';
    }
}

void copyInquiryStrings(const uint8_t* data, InquiryStrings& out) {
    std::memcpy(out.vendor, data + kInquiryVendorAt, kVendorLength);
    std::memcpy(out.product, data + kInquiryProductAt, kProductLength);
    std::memcpy(out.revision, data + kInquiryRevisionAt, kRevisionLength);
    out.vendor[kVendorLength] = out.product[kProductLength] = out.revision[kRevisionLength] = 0;
}

}  // namespace

int32_t ScsiTransport::passThroughCommand(DeviceEntry& device, const ScsiCommand& command) {
    if (device.hostAdapter < 0 || device.targetId < 0) return kResultNotSent;
    const int letter = device.driveLetter;
    if (letter < 0 || letter >= kDriveLetterCount) return kResultNoDriveLetter;
    // The request goes to the device the letter's class driver owns, whatever address it names
    // (C: the system disk): never through a letter that is not this drive's own.
    if (!isOwnLetter(device)) return kResultNoDriveLetter;

    PassThroughRequest request;
    std::memset(&request, 0, sizeof request);
    const uint8_t opcode = command.cdb[0];
    request.sptd.length = sizeof(ScsiPassThroughDirect);
    request.sptd.pathId = static_cast<uint8_t>(device.pathId);
    request.sptd.targetId = static_cast<uint8_t>(device.targetId);
    request.sptd.lun = static_cast<uint8_t>(device.lun);
    request.sptd.cdbLength = cdbLengthFor(opcode);
    request.sptd.senseInfoLength = sizeof request.sense;
    switch (directionFor(command)) {
        case DataDirection::Out: request.sptd.dataIn = kScsiIoctlDataOut; break;
        case DataDirection::In: request.sptd.dataIn = kScsiIoctlDataIn; break;
        case DataDirection::None: request.sptd.dataIn = kScsiIoctlDataUnspecified; break;
    }
    request.sptd.dataTransferLength = command.dataLength;
    request.sptd.timeOutValue = passThroughTimeoutFor(opcode);
    request.sptd.dataBuffer = command.data;
    request.sptd.senseInfoOffset = offsetof(PassThroughRequest, sense);
    std::memcpy(request.sptd.cdb, command.cdb.data(), request.sptd.cdbLength);

    std::span<uint8_t> bytes(reinterpret_cast<uint8_t*>(&request), sizeof request);
    auto send = [&](Handle handle) {
        const auto io = api_.deviceIoControl(handle, kIoctlScsiPassThroughDirect, bytes, bytes);
        // Windows checks the handle before any driver sees the request, and refuses with
        // access denied before the request goes down to the drive: a handle without the
        // access the request needs, or a drive that another handle holds exclusively (the
        // CD-ROM class driver's exclusive access). Any other failure may come after the drive
        // took the command: a time-out (121), an I/O device error after a bus reset (1117), a
        // drive that left the bus (1167).
        if (!io.ok && (io.error == winerr::kInvalidHandle || io.error == winerr::kAccessDenied)) {
            return CommandOutcome::refusedWith(io.error);
        }
        if (!io.ok) return CommandOutcome::failedWith(io.error);
        if (request.sptd.scsiStatus == kScsiStatusGood) return CommandOutcome::good();
        return CommandOutcome::withStatus(request.sptd.scsiStatus);
    };
    CommandOutcome outcome;
    if (letterHandleOpen[letter]) {
        outcome = send(letterHandle[letter]);
    } else {
        const auto opened = api_.createFile(driveLetterDeviceName(letter), kGenericReadWrite,
                                            kShareReadWrite, kOpenExisting, 0);
        if (opened.handle == kInvalidHandle) {
            outcome = CommandOutcome::refusedWith(opened.error);
        } else {
            outcome = send(opened.handle);
            api_.closeHandle(opened.handle);
        }
    }

    // Only a request that came back with a status carries the drive's sense; a failed open or
    // I/O request leaves the sense of an earlier failure as it was (a request that failed may
    // have reached the drive, but no answer of it came back).
    if (outcome.kind == CommandOutcome::Kind::Status) {
        std::memcpy(device.sense, request.sense, kStoredSenseLength);
    }
    return commandResult(outcome);
}

int32_t ScsiTransport::driveLetterInquiry(DeviceEntry& device, InquiryStrings& out) {
    uint8_t data[kInquiryLength] = {};
    ScsiCommand command;
    command.cdb = kInquiryCdb;
    command.data = data;
    command.dataLength = sizeof data;
    const int32_t result = passThroughCommand(device, command);
    if (result != 1) return result;
    copyInquiryStrings(data, out);
    return 1 + data[0] * 256;
}

int32_t ScsiTransport::deviceMapInquiry(DeviceEntry& device, InquiryStrings& out) {
    if (device.driveLetter >= 0 && device.driveLetter < kDriveLetterCount &&
        letterInquiry[device.driveLetter]) {
        return driveLetterInquiry(device, out);
    }

    std::vector<uint8_t> buffer(kPortInquiryBufferSize, 0);
    const HostAdapter* adapter = adapterOf(device);
    bool matched = false;
    uint8_t deviceType = 0;

    // Ports are numbered without gaps: the first one that does not open ends the scan.
    for (int n = 0; n < kMaxPorts && !matched; ++n) {
        const auto opened = api_.createFile(scsiPortDeviceName(n), kGenericReadWrite,
                                            kShareReadWrite, kOpenExisting, 0);
        if (opened.handle == kInvalidHandle) break;

        std::fill(buffer.begin(), buffer.end(), 0);
        const auto io = api_.deviceIoControl(opened.handle, kIoctlScsiGetInquiryData, {}, buffer);
        if (io.ok && adapter != nullptr && adapter->portNumber == n) {
            for (const PortBus& bus : readPortInquiryData(buffer)) {
                for (const PortInquiryRecord& record : bus.records) {
                    if (record.lun != device.lun || record.pathId != device.pathId ||
                        record.targetId != device.targetId) {
                        continue;
                    }
                    record.copyText(kInquiryVendorAt, kVendorLength, out.vendor);
                    record.copyText(kInquiryProductAt, kProductLength, out.product);
                    record.copyText(kInquiryRevisionAt, kRevisionLength, out.revision);
                    blankControlCharacters(out.vendor, kVendorLength);
                    blankControlCharacters(out.product, kProductLength);
                    deviceType = record.inquiryByte(0);
                    matched = true;
                }
            }
        }
        api_.closeHandle(opened.handle);
    }
    return matched ? 1 + deviceType * 256 : 0;
}

DriveLock ScsiTransport::lockDrive(const DeviceEntry& device, const char* callerName) {
    const int letter = device.driveLetter;
    if (kind != TransportKind::PassThrough || letter < 0 || letter >= kDriveLetterCount ||
        !letterHandleOpen[letter]) {
        return DriveLock::NotTaken;
    }
    CdromExclusiveLock request;
    std::memset(&request, 0, sizeof request);
    request.access.requestType = kExclusiveAccessLockDevice;
    request.access.flags = 0;  // a mounted file system refuses the lock, as it should
    for (size_t i = 0; callerName[i] != 0 && i + 1 < sizeof request.callerName; ++i) {
        request.callerName[i] = static_cast<uint8_t>(callerName[i]);
    }
    std::span<uint8_t> bytes(reinterpret_cast<uint8_t*>(&request), sizeof request);
    const auto io =
        api_.deviceIoControl(letterHandle[letter], kIoctlCdromExclusiveAccess, bytes, {});
    if (io.ok) {
        letterLocked[letter] = 1;
        return DriveLock::Held;
    }
    // The class driver refuses the lock with ERROR_ACCESS_DENIED while another handle holds it
    // and with ERROR_BAD_COMMAND while a file system is mounted on the drive. Windows before
    // Vista and older drivers do not know the request (ERROR_INVALID_FUNCTION, or
    // ERROR_NOT_SUPPORTED): the upgrade goes on without, as it always did; so after any other
    // failure.
    if (io.error == winerr::kAccessDenied || io.error == winerr::kBadCommand) {
        return DriveLock::InUse;
    }
    return DriveLock::NotTaken;
}

void ScsiTransport::unlockDrive(const DeviceEntry& device) {
    const int letter = device.driveLetter;
    if (letter < 0 || letter >= kDriveLetterCount || !letterLocked[letter]) return;
    letterLocked[letter] = 0;
    if (!letterHandleOpen[letter]) return;
    CdromExclusiveAccess request = {kExclusiveAccessUnlockDevice, 0};
    std::span<uint8_t> bytes(reinterpret_cast<uint8_t*>(&request), sizeof request);
    api_.deviceIoControl(letterHandle[letter], kIoctlCdromExclusiveAccess, bytes, {});
}

int32_t ScsiTransport::passThroughAdapterInquiry(int adapterIndex, AdapterInfo& out) {
    if (adapterIndex < 0 || static_cast<size_t>(adapterIndex) >= adapters.size()) return 0;
    const HostAdapter& adapter = adapters[static_cast<size_t>(adapterIndex)];

    std::vector<uint8_t> buffer(kPortInquiryBufferSize, 0);
    const auto opened =
        api_.createFile(adapter.deviceName, kGenericReadWrite, kShareReadWrite, kOpenExisting, 0);
    if (opened.handle != kInvalidHandle) {
        api_.deviceIoControl(opened.handle, kIoctlScsiGetInquiryData, {}, buffer);
        out.hostScsiId = buffer[5];  // initiator ID of bus 0
        api_.closeHandle(opened.handle);

        // The port driver's name, from HKLM\HARDWARE\DEVICEMAP\Scsi\Scsi Port n.
        char portKey[32];
        std::snprintf(portKey, sizeof portKey, "Scsi Port %1d", adapter.portNumber);
        const std::string path[] = {"HARDWARE", "DEVICEMAP", "Scsi", portKey};
        Handle keys[4] = {};
        int opens = 0;
        Handle parent = Registry::kLocalMachine;
        for (const auto& name : path) {
            if (api_.openKey(parent, name, Registry::kQueryValue, keys[opens]) != winerr::kSuccess)
                break;
            parent = keys[opens++];
        }

        uint32_t size = 0;
        const bool haveSize =
            opens == 4 && api_.queryValue(keys[3], "Driver", nullptr, {}, size) == winerr::kSuccess;
        std::strcpy(out.adapterId, "Unknown");
        if (haveSize) {
            std::vector<uint8_t> value(size_t(size) + 1, 0);
            uint32_t valueSize = size;
            if (api_.queryValue(keys[3], "Driver", nullptr, std::span<uint8_t>(value.data(), size),
                                valueSize) == winerr::kSuccess) {
                const size_t length = strnlen(reinterpret_cast<const char*>(value.data()), 16);
                std::memcpy(out.adapterId, value.data(), length);
                out.adapterId[length] = 0;
            }
        }
        for (int i = opens - 1; i >= 0; --i) api_.closeKey(keys[i]);
    }

    std::strcpy(out.managerId, "N/A");
    std::memset(out.unique, 0, sizeof out.unique);
    return 1;
}

}  // namespace dw
