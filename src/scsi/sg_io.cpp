// Requests of the Linux SG_IO transport: one command through the drive's generic (or sr) node,
// its kinds of failure kept apart until the one place that makes the signed result.
#include <cerrno>
#include <cstring>

#include "scsi/scsi_transport.h"

namespace dw {

namespace {

// As much sense data as the pass-through transport asks for; 14 bytes of it are stored.
constexpr uint8_t kSgIoSenseLength = 32;
// errno values are small; anything else is read as a plain I/O error.
constexpr int kLargestErrno = 254;

}  // namespace

bool SgIoOutcome::reachedDrive() const {
    return sent && error == 0 && hostStatus == sgstatus::kDidOk &&
           (driverStatus & ~sgstatus::kDriverSense & 0x0F) == 0;
}

int32_t sgIoResult(const SgIoOutcome& outcome) {
    if (!outcome.sent) return 0;
    if (outcome.error != 0) {
        const int error = outcome.error > 0 && outcome.error <= kLargestErrno ? outcome.error : EIO;
        return commandResult(CommandOutcome::failedWith(static_cast<uint32_t>(error)));
    }
    if (outcome.hostStatus != sgstatus::kDidOk) {
        return kSgIoHostFailure | int32_t(outcome.hostStatus & 0xFFFF) << 8;
    }
    // DRIVER_SENSE only says that sense data came with the status; other driver codes
    // (time-out, error, invalid) are failures of their own.
    const uint16_t driver = outcome.driverStatus & ~sgstatus::kDriverSense;
    if ((driver & 0x0F) != 0) return kSgIoDriverFailure | int32_t(outcome.driverStatus) << 8;
    // Bit 0 of the status byte is reserved; a drive that sets it still did not say GOOD.
    const uint8_t status = outcome.status & 0xFE;
    if (status != 0) return status;
    if (outcome.status != 0) return kSgIoDriverFailure | int32_t(outcome.status) << 8;
    return 1;
}

SgIoDevice* ScsiTransport::sgIoDeviceOf(const DeviceEntry& device) {
    for (auto& node : sgIoDevices) {
        if (node.host == device.hostAdapter && node.channel == device.pathId &&
            node.target == device.targetId && node.lun == device.lun) {
            return &node;
        }
    }
    return nullptr;
}

int ScsiTransport::holdDeviceExclusively(const DeviceEntry& device) {
    SgIoDevice* node = sgIoDeviceOf(device);
    if (linuxApi_ == nullptr || node == nullptr) return ENODEV;
    if (node->keptFd >= 0) {
        linuxApi_->closeDevice(node->keptFd);
        node->keptFd = -1;
    }
    OpenMode mode;
    mode.exclusive = true;
    const LinuxApi::OpenResult opened = linuxApi_->openDevice(node->node, mode);
    node->keptFd = opened.fd;
    return opened.fd >= 0 ? 0 : opened.error;
}

int32_t ScsiTransport::sgIoCommand(DeviceEntry& device, const ScsiCommand& command) {
    if (device.hostAdapter < 0 || device.targetId < 0 || linuxApi_ == nullptr) return 0;
    SgIoDevice* node = sgIoDeviceOf(device);
    if (node == nullptr) return 0;
    if (sgIoGate && !sgIoGate(command)) return 0;

    uint8_t sense[kSgIoSenseLength] = {};
    SgIoRequest request;
    request.cdb = command.cdb.data();
    request.cdbLength = cdbLengthFor(command.cdb[0]);
    const DataDirection direction = directionFor(command);
    switch (direction) {
        case DataDirection::Out: request.direction = SgIoRequest::Direction::ToDevice; break;
        case DataDirection::In: request.direction = SgIoRequest::Direction::FromDevice; break;
        case DataDirection::None: request.direction = SgIoRequest::Direction::None; break;
    }
    request.data = command.data;
    request.dataLength = command.dataLength;
    request.sense = sense;
    request.senseCapacity = sizeof sense;
    request.timeoutMs = passThroughTimeoutFor(command.cdb[0]) * 1000u;

    SgIoOutcome outcome;
    outcome.sent = true;
    if (node->keptFd >= 0) {
        outcome.error = linuxApi_->sgIo(node->keptFd, request);
    } else {
        const LinuxApi::OpenResult opened = linuxApi_->openDevice(node->node, OpenMode{});
        if (opened.fd < 0) {
            outcome.error = opened.error != 0 ? opened.error : EIO;
        } else {
            outcome.error = linuxApi_->sgIo(opened.fd, request);
            linuxApi_->closeDevice(opened.fd);
        }
    }
    if (outcome.error == 0) {
        outcome.status = request.status;
        outcome.hostStatus = request.hostStatus;
        outcome.driverStatus = request.driverStatus;
        outcome.senseWritten = request.senseWritten;
    }

    const int32_t result = sgIoResult(outcome);
    // Only a drive that answered has sense data to tell; a command that never reached it
    // leaves what the device held.
    if (result != 1 && outcome.reachedDrive()) {
        std::memcpy(device.sense, sense, kStoredSenseLength);
    }
    if (sgIoTrace) {
        SgIoTrace trace;
        trace.device = node;
        trace.command = &command;
        trace.cdbLength = request.cdbLength;
        trace.direction = direction;
        trace.outcome = outcome;
        trace.result = result;
        trace.sense = sense;
        sgIoTrace(trace);
    }
    return result;
}

}  // namespace dw
