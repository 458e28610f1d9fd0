// Requests of the ASPI transport: the execute-SCSI-command block and the host adapter inquiry.
#include <cstring>

#include "scsi/command_result.h"
#include "scsi/scsi_transport.h"

namespace dw {

namespace {

constexpr uint8_t kAspiSenseLength = 14;

// The statuses with which the layer answers a request itself, without passing it to the drive:
// an invalid command, adapter or device, or an invalid request block. A request still pending
// after its wait was not carried out either.
bool layerAnsweredItself(uint8_t status) {
    return status == aspi::kInvalidCommand || status == aspi::kInvalidAdapter ||
           status == aspi::kNoDevice || status == aspi::kInvalidSrb || status == aspi::kPending;
}

}  // namespace

int32_t ScsiTransport::aspiCommand(DeviceEntry& device, const ScsiCommand& command) {
    if (sendCommand == nullptr) return kResultNotSent;

    const Handle event = api_.createEvent(true, false);
    if (event != 0) api_.resetEvent(event);

    SrbExecScsiCmd srb;
    std::memset(&srb, 0, sizeof srb);
    const uint8_t opcode = command.cdb[0];
    srb.command = kScExecScsiCmd;
    srb.status = aspi::kError;
    srb.hostAdapter = static_cast<uint8_t>(device.hostAdapter);
    switch (directionFor(command)) {
        case DataDirection::In: srb.flags = kSrbDirIn; break;
        case DataDirection::Out: srb.flags = kSrbDirOut; break;
        case DataDirection::None: srb.flags = 0; break;
    }
    if (event != 0) srb.flags |= kSrbEventNotify;
    srb.target = static_cast<uint8_t>(device.targetId);
    srb.lun = static_cast<uint8_t>(device.lun);
    srb.bufferLength = command.dataLength;
    srb.bufferPointer = command.data;
    srb.senseLength = kAspiSenseLength;
    srb.cdbLength = cdbLengthFor(opcode);
    srb.postProc = reinterpret_cast<void*>(event);
    std::memcpy(srb.cdb, command.cdb.data(), srb.cdbLength);

    // The layer writes the status byte from its own thread once the request completes.
    volatile uint8_t* status = &srb.status;
    if (event != 0) {
        if (sendCommand(&srb) == aspi::kPending &&
            api_.waitForSingleObject(event, Events::kInfinite) == Events::kWaitObject0) {
            api_.resetEvent(event);
        }
        api_.closeEvent(event);
    } else {
        sendCommand(&srb);
        while (*status == aspi::kPending) api_.sleep(0);
    }

    // SS_COMP is the only success; any other status is a failure. The drive never saw a
    // request the layer answered itself, so the device keeps its sense; for any other, the
    // layer's sense area is the drive's answer.
    const uint8_t result = *status;
    if (result == aspi::kComplete) return commandResult(CommandOutcome::good());
    if (layerAnsweredItself(result)) return commandResult(CommandOutcome::layerRefused(result));
    std::memcpy(device.sense, srb.senseArea, kStoredSenseLength);
    return commandResult(CommandOutcome::withStatus(result));
}

int32_t ScsiTransport::aspiAdapterInquiry(int adapterIndex, AdapterInfo& out) {
    if (sendCommand == nullptr) return 0;

    SrbHaInquiry srb;
    std::memset(&srb, 0, sizeof srb);
    srb.command = kScHaInquiry;
    srb.hostAdapter = static_cast<uint8_t>(adapterIndex);
    const uint32_t result = sendCommand(&srb);

    std::memcpy(out.managerId, srb.managerId, 16);
    out.managerId[16] = 0;
    std::memcpy(out.adapterId, srb.adapterId, 16);
    out.adapterId[16] = 0;
    std::memcpy(out.unique, srb.unique, 16);
    out.hostScsiId = srb.hostScsiId;
    return static_cast<int32_t>(result);
}

}  // namespace dw
