// How a command ended, kept apart by kind inside a transport, and the one signed result every
// caller sees. Only a command that was sent and answered GOOD becomes 1; no failure has a low
// byte of 1, so the INQUIRY results (1 + 256 * type) cannot be mistaken either.
//
// A failure is one of three: the command was not sent (nothing of it reached the drive, so its
// sense data still tells of an earlier command); it was sent and the drive answered with a
// status; or it was handed on and did not complete (the drive may have received it, and carried
// it out, and yet no answer came back).
#pragma once

#include <cstdint>

namespace dw {

// Not sent: no transport, or an address that names no device.
inline constexpr int32_t kResultNotSent = 0;
// Not sent (pass-through): the device's drive letter lies outside A..Z.
inline constexpr int32_t kResultNoDriveLetter = -1;
inline constexpr int32_t kResultGood = 1;
// Sent, but no usable status came back: a status byte of 1, which is no SCSI status.
inline constexpr int32_t kResultNoStatus = 0x100;
// Not sent (ASPI): the layer refused the request itself or left it pending after its wait; the
// ASPI status in the low byte.
inline constexpr int32_t kResultLayerRefused = 0x200;
// SG_IO: the host adapter or the driver failed the command (the code in bits 8..23).
inline constexpr int32_t kSgIoHostFailure = 0x01000000;
inline constexpr int32_t kSgIoDriverFailure = 0x02000000;

struct CommandOutcome {
    enum class Kind : uint8_t {
        NotSent,        // nothing reached the system: no transport, no address, no drive letter
        Refused,        // the system refused it before sending it, with a system error code: the
                        // device did not open, the handle was not valid, or (SG_IO) the kernel
                        // turned the request down before issuing it
        LayerRefused,   // ASPI: the layer answered the request itself, or left it pending
        RequestFailed,  // the I/O request failed with a system error code after it was handed
                        // on: the command may have reached the drive
        HostFailed,     // SG_IO: the host adapter failed the command it was given
        DriverFailed,   // SG_IO: the driver failed the command it was given
        Status,         // the request completed with a status other than GOOD
        Good,           // sent and answered GOOD
    };
    Kind kind = Kind::NotSent;
    int32_t notSentResult = kResultNotSent;
    uint32_t systemError = 0;  // Windows error code or errno (Refused, RequestFailed)
    // SCSI status byte (pass-through, SG_IO), ASPI status byte (Status, LayerRefused under
    // ASPI), host status (HostFailed) or driver status (DriverFailed)
    uint32_t status = 0;

    static CommandOutcome notSent(int32_t result = kResultNotSent) {
        CommandOutcome o;
        o.notSentResult = result;
        return o;
    }
    static CommandOutcome refusedWith(uint32_t error) { return withCode(Kind::Refused, error, 0); }
    static CommandOutcome failedWith(uint32_t error) {
        return withCode(Kind::RequestFailed, error, 0);
    }
    static CommandOutcome layerRefused(uint32_t status) {
        return withCode(Kind::LayerRefused, 0, status);
    }
    static CommandOutcome hostFailed(uint32_t status) {
        return withCode(Kind::HostFailed, 0, status);
    }
    static CommandOutcome driverFailed(uint32_t status) {
        return withCode(Kind::DriverFailed, 0, status);
    }
    static CommandOutcome withStatus(uint32_t status) { return withCode(Kind::Status, 0, status); }
    static CommandOutcome good() { return withCode(Kind::Good, 0, 0); }

private:
    static CommandOutcome withCode(Kind kind, uint32_t error, uint32_t status) {
        CommandOutcome o;
        o.kind = kind;
        o.systemError = error;
        o.status = status;
        return o;
    }
};

// The signed result:
//   1              sent, GOOD
//   0, -1          not sent
//   -256 * e - 1   not sent: the system refused it with error code e (low byte FFh)
//   0x200 + s      not sent (ASPI): the layer answered it with status s, or left it pending (0)
//   2..255         the status byte (SCSI status such as 2 CHECK CONDITION or 8 BUSY; under ASPI
//                  the request's status such as 2 aborted or 4 error)
//   256            sent, no usable status
//   -256 * e       not completed: the I/O request failed with system error code e (low byte 0)
//   0x01000000 + 256 * h, 0x02000000 + 256 * d
//                  not completed (SG_IO): the host adapter failed it with host status h, or the
//                  driver with driver status d
// A system error code e of 0 counts as 31 ("a device attached to the system is not
// functioning").
int32_t commandResult(const CommandOutcome& outcome);

// Whether a result carries a system error code (refused or not completed), and which.
bool isSystemErrorResult(int32_t result);
uint32_t systemErrorOf(int32_t result);

// Whether nothing of the command reached the drive: it was not sent, or the system or the ASPI
// layer refused it. The device's sense data then still tells of an earlier command.
bool wasNotSent(int32_t result);

// Whether the command was handed on but did not complete: the I/O request failed, or (SG_IO) the
// host adapter or the driver failed it. The drive may have received the command and carried it
// out; no status of it came back.
bool didNotComplete(int32_t result);

// The number a command that did not complete is told by: the system error code, the host status
// or the driver status. 0 for any other result.
uint32_t incompleteCode(int32_t result);

}  // namespace dw
