// How a command ended, kept apart by kind inside a transport, and the one signed result every
// caller sees. Only a command that was sent and answered GOOD becomes 1; no failure has a low
// byte of 1, so the INQUIRY results (1 + 256 * type) cannot be mistaken either.
#pragma once

#include <cstdint>

namespace dw {

// Not sent: no transport, or an address that names no device.
inline constexpr int32_t kResultNotSent = 0;
// Not sent (pass-through): the device's drive letter lies outside A..Z.
inline constexpr int32_t kResultNoDriveLetter = -1;
inline constexpr int32_t kResultGood = 1;
// Sent, but no usable status came back: a status byte of 1, which is no SCSI status, or an ASPI
// request still pending after its wait.
inline constexpr int32_t kResultNoStatus = 0x100;
// SG_IO: the host adapter or the driver failed the command (the code in bits 8..23).
inline constexpr int32_t kSgIoHostFailure = 0x01000000;
inline constexpr int32_t kSgIoDriverFailure = 0x02000000;

struct CommandOutcome {
    enum class Kind : uint8_t {
        NotSent,      // nothing reached the system
        SystemError,  // the open or the I/O request failed with a system error code
        Status,       // the request completed with a status other than GOOD
        Good,         // sent and answered GOOD
    };
    Kind kind = Kind::NotSent;
    int32_t notSentResult = kResultNotSent;
    uint32_t systemError = 0;  // Windows error code or errno
    uint32_t status = 0;       // SCSI status byte (pass-through, SG_IO) or ASPI status byte

    static CommandOutcome notSent(int32_t result = kResultNotSent) {
        CommandOutcome o;
        o.notSentResult = result;
        return o;
    }
    static CommandOutcome failedWith(uint32_t error) {
        CommandOutcome o;
        o.kind = Kind::SystemError;
        o.systemError = error;
        return o;
    }
    static CommandOutcome withStatus(uint32_t status) {
        CommandOutcome o;
        o.kind = Kind::Status;
        o.status = status;
        return o;
    }
    static CommandOutcome good() {
        CommandOutcome o;
        o.kind = Kind::Good;
        return o;
    }
};

// The signed result:
//   1          sent, GOOD
//   0, -1      not sent
//   2..255     the status byte (SCSI status such as 2 CHECK CONDITION or 8 BUSY; under ASPI the
//              request's status such as 4 error or 0x82 invalid device)
//   256        sent, no usable status
//   -256 * e   the system error code e of the open or the I/O request (e = 0 counts as 31,
//              "a device attached to the system is not functioning")
int32_t commandResult(const CommandOutcome& outcome);

// Whether a result carries a system error code, and which.
bool isSystemErrorResult(int32_t result);
uint32_t systemErrorOf(int32_t result);

// Whether the drive never answered the command: it was not sent, the system failed it, or
// (SG_IO) the host adapter or driver did. Its sense data then tells of an earlier command.
bool neverReachedDrive(int32_t result);

}  // namespace dw
