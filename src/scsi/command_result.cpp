#include "scsi/command_result.h"

namespace dw {

namespace {

constexpr uint32_t kErrorGenFailure = 31;
constexpr uint32_t kLargestEncodableError = 0x7FFFFF;
constexpr uint32_t kLargestEncodableStatus = 0xFFFF;

int32_t systemErrorResult(uint32_t code) {
    uint32_t error = code == 0 ? kErrorGenFailure : code;
    if (error > kLargestEncodableError) error = kLargestEncodableError;
    return -static_cast<int32_t>(error << 8);
}

}  // namespace

int32_t commandResult(const CommandOutcome& outcome) {
    const uint32_t status16 =
        outcome.status > kLargestEncodableStatus ? kLargestEncodableStatus : outcome.status;
    switch (outcome.kind) {
        case CommandOutcome::Kind::NotSent: return outcome.notSentResult;
        case CommandOutcome::Kind::Good: return kResultGood;
        case CommandOutcome::Kind::Status: {
            const uint32_t status = outcome.status & 0xFF;
            // GOOD is the Good kind; a zero here is a status that never arrived.
            if (status == 0 || status == 1) return kResultNoStatus;
            return static_cast<int32_t>(status);
        }
        case CommandOutcome::Kind::Refused: return systemErrorResult(outcome.systemError) - 1;
        case CommandOutcome::Kind::LayerRefused:
            return kResultLayerRefused | static_cast<int32_t>(outcome.status & 0xFF);
        case CommandOutcome::Kind::RequestFailed: return systemErrorResult(outcome.systemError);
        case CommandOutcome::Kind::HostFailed:
            return kSgIoHostFailure | static_cast<int32_t>(status16 << 8);
        case CommandOutcome::Kind::DriverFailed:
            return kSgIoDriverFailure | static_cast<int32_t>(status16 << 8);
    }
    return kResultNotSent;
}

bool isSystemErrorResult(int32_t result) { return result < kResultNoDriveLetter; }

uint32_t systemErrorOf(int32_t result) {
    return isSystemErrorResult(result) ? static_cast<uint32_t>(-result) >> 8 : 0;
}

bool wasNotSent(int32_t result) {
    return result == kResultNotSent || result == kResultNoDriveLetter ||
           (isSystemErrorResult(result) && (result & 0xFF) == 0xFF) ||
           (result & ~0xFF) == kResultLayerRefused;
}

bool didNotComplete(int32_t result) {
    return (isSystemErrorResult(result) && (result & 0xFF) == 0) || result >= kSgIoHostFailure;
}

uint32_t incompleteCode(int32_t result) {
    if (!didNotComplete(result)) return 0;
    if (result >= kSgIoHostFailure) return (static_cast<uint32_t>(result) >> 8) & 0xFFFF;
    return systemErrorOf(result);
}

}  // namespace dw
