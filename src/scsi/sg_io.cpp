// Requests of the Linux SG_IO transport: one command through the drive's generic (or sr) node,
// its kinds of failure kept apart until the one place that makes the signed result.
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "scsi/scsi_transport.h"

namespace dw {

namespace {

// As much sense data as the pass-through transport asks for; 14 bytes of it are stored.
constexpr uint8_t kSgIoSenseLength = 32;
// errno values are small; anything else is read as a plain I/O error.
constexpr int kLargestErrno = 254;

// Sends one request through the open node and waits for its answer. An sg node takes it by
// write() and answers by read(): a signal during the wait ends it (EINTR) or restarts it, and the
// request stays queued on the descriptor until its answer is read, so a command is never sent
// twice. SG_IO on an sg node gives its request up when a signal interrupts its wait, and after a
// stop the kernel restarts the ioctl, which sends the command again. Behind a block node the
// block layer waits without interruption: SG_IO there.
void sendSgIo(LinuxApi& api, SgIoDevice& node, int fd, SgIoRequest& request, SgIoOutcome& outcome) {
    if (!node.throughGenericNode()) {
        outcome.error = api.sgIo(fd, request);
        return;
    }
    request.packId = ++node.lastPackId;
    outcome.error = api.sgWrite(fd, request);
    if (outcome.error != 0) {
        outcome.writeFailed = true;
        return;
    }
    outcome.issued = true;
    const int32_t packId = request.packId;
    for (;;) {
        int error = api.waitReadable(fd);
        if (error == 0) error = api.sgRead(fd, request);
        if (error == EINTR || error == EAGAIN) continue;
        // The answer of an earlier request that was not read is no answer to this one.
        if (error == 0 && request.packId != packId) continue;
        outcome.error = error;
        return;
    }
}

// Stores the sense data as far as the kernel wrote it; the rest of the stored bytes is cleared.
void keepWrittenSense(DeviceEntry& device, const uint8_t* sense, uint8_t written) {
    const size_t n = std::min<size_t>(written, kStoredSenseLength);
    std::memcpy(device.sense, sense, n);
    std::memset(device.sense + n, 0, kStoredSenseLength - n);
    device.senseWritten = written;
}

// The bytes of a data-in buffer that the residual says the drive did not send hold what the
// kernel's buffer held before (the sg driver copies all of it back): they are cleared.
void clearUnsentData(const ScsiCommand& command, int32_t residual) {
    if (command.data == nullptr || residual <= 0) return;
    const uint32_t unsent = std::min(static_cast<uint32_t>(residual), command.dataLength);
    std::memset(command.data + (command.dataLength - unsent), 0, unsent);
}

}  // namespace

bool SgIoOutcome::reachedDrive() const {
    return sent && error == 0 && hostStatus == sgstatus::kDidOk &&
           (driverStatus & ~sgstatus::kDriverSense & 0x0F) == 0;
}

// As the sg driver and the block layer's SG_IO have it: the command filter and a node opened
// read-only (EPERM, or EACCES from a security module), a malformed request (EINVAL, EMSGSIZE,
// ENOSYS), no memory or request for it (ENOMEM, EDOM, EAGAIN), a device in error recovery
// (ENXIO), a descriptor that is no SCSI device (EBADF, ENOTTY) all come before the request is
// queued. Every other errno may come after the command went out: EFAULT (copying its sense or
// data back), EINTR (a signal during the wait), ENODEV (older sg drivers give it when the drive
// is detached while its command runs), EIO, and whatever else a kernel may give.
bool sgIoFailsBeforeIssue(int error) {
    switch (error) {
        case EPERM:
        case EACCES:
        case EINVAL:
        case EMSGSIZE:
        case ENOSYS:
        case ENOMEM:
        case EDOM:
        case EAGAIN:
        case ENXIO:
        case EBADF:
        case ENOTTY: return true;
        default: return false;
    }
}

int32_t sgIoResult(const SgIoOutcome& outcome) {
    if (!outcome.sent) return commandResult(CommandOutcome::notSent());
    if (outcome.error != 0) {
        const int error = outcome.error > 0 && outcome.error <= kLargestErrno ? outcome.error : EIO;
        const auto code = static_cast<uint32_t>(error);
        if (outcome.openFailed || outcome.writeFailed ||
            (!outcome.issued && sgIoFailsBeforeIssue(error))) {
            return commandResult(CommandOutcome::refusedWith(code));
        }
        return commandResult(CommandOutcome::failedWith(code));
    }
    if (outcome.hostStatus != sgstatus::kDidOk) {
        return commandResult(CommandOutcome::hostFailed(outcome.hostStatus));
    }
    // DRIVER_SENSE only says that sense data came with the status; other driver codes
    // (time-out, error, invalid) are failures of their own.
    const uint16_t driver = outcome.driverStatus & ~sgstatus::kDriverSense;
    if ((driver & 0x0F) != 0)
        return commandResult(CommandOutcome::driverFailed(outcome.driverStatus));
    // Bit 0 of the status byte is reserved; a drive that sets it still did not say GOOD, and a
    // status of 1 alone is no usable status.
    if (outcome.status != 0) {
        const uint8_t status = outcome.status & 0xFE;
        return commandResult(CommandOutcome::withStatus(status != 0 ? status : outcome.status));
    }
    return commandResult(CommandOutcome::good());
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

int32_t ScsiTransport::sgIoCommand(DeviceEntry& device, const ScsiCommand& command) {
    lastResidual = 0;
    if (device.hostAdapter < 0 || device.targetId < 0 || linuxApi_ == nullptr) return 0;
    SgIoDevice* node = sgIoDeviceOf(device);
    if (node == nullptr) return 0;

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
    request.timeoutMs = sgIoTimeoutFor(command.cdb[0]) * 1000u;

    SgIoOutcome outcome;
    outcome.sent = true;
    if (node->keptFd >= 0) {
        sendSgIo(*linuxApi_, *node, node->keptFd, request, outcome);
    } else {
        const LinuxApi::OpenResult opened = linuxApi_->openDevice(node->node, OpenMode{});
        if (opened.fd < 0) {
            outcome.error = opened.error != 0 ? opened.error : EIO;
            outcome.openFailed = true;
        } else {
            sendSgIo(*linuxApi_, *node, opened.fd, request, outcome);
            linuxApi_->closeDevice(opened.fd);
        }
    }
    if (outcome.error == 0) {
        outcome.status = request.status;
        outcome.hostStatus = request.hostStatus;
        outcome.driverStatus = request.driverStatus;
        outcome.senseWritten = std::min(request.senseWritten, kSgIoSenseLength);
        outcome.residual = request.residual;
        lastResidual = request.residual;
        if (direction == DataDirection::In) clearUnsentData(command, request.residual);
    }

    const int32_t result = sgIoResult(outcome);
    // Only a drive that answered has sense data to tell; a command that never reached it
    // leaves what the device held.
    if (result != 1 && outcome.reachedDrive()) {
        keepWrittenSense(device, sense, outcome.senseWritten);
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
