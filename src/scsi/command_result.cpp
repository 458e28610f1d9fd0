#include "scsi/command_result.h"

namespace dw {

namespace {

constexpr uint32_t kErrorGenFailure = 31;
constexpr uint32_t kLargestEncodableError = 0x7FFFFF;

}  // namespace

int32_t commandResult(const CommandOutcome& outcome) {
    switch (outcome.kind) {
        case CommandOutcome::Kind::NotSent: return outcome.notSentResult;
        case CommandOutcome::Kind::Good: return kResultGood;
        case CommandOutcome::Kind::Status: {
            const uint32_t status = outcome.status & 0xFF;
            // GOOD is the Good kind; a zero here is a status that never arrived.
            if (status == 0 || status == 1) return kResultNoStatus;
            return static_cast<int32_t>(status);
        }
        case CommandOutcome::Kind::SystemError: {
            uint32_t error = outcome.systemError == 0 ? kErrorGenFailure : outcome.systemError;
            if (error > kLargestEncodableError) error = kLargestEncodableError;
            return -static_cast<int32_t>(error << 8);
        }
    }
    return kResultNotSent;
}

bool isSystemErrorResult(int32_t result) { return result < kResultNoDriveLetter; }

bool neverReachedDrive(int32_t result) {
    return result == kResultNotSent || result == kResultNoDriveLetter ||
           isSystemErrorResult(result) || result >= kSgIoHostFailure;
}

uint32_t systemErrorOf(int32_t result) {
    return isSystemErrorResult(result) ? static_cast<uint32_t>(-result) >> 8 : 0;
}

}  // namespace dw
