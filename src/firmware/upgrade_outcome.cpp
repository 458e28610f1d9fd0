// The upgrade's outcome in the status line's words, and the command that commits a download.
#include "firmware/upgrade_outcome.h"

#include <cstdio>

#include "scsi/sense_text.h"

namespace dw {

namespace {
constexpr size_t kFailureTextSize = 160;
}  // namespace

std::string UpgradeOutcomeText(bool succeeded, ScsiTransport& transport, const DeviceEntry& device,
                               StringTable& strings) {
    if (succeeded) return "Upgrade succesfull";
    char text[kFailureTextSize];
    std::snprintf(text, sizeof text, "Upgrade failed! %s", SenseText(transport, device, strings));
    return text;
}

bool IsCommittingCommand(const ScsiCommand& command) {
    const uint8_t opcode = command.cdb[0];
    if (opcode == 0x3B) return (command.cdb[1] & 0x07) == 5;
    if (opcode == 0xE2) return command.cdb[1] == 0;
    return false;
}

}  // namespace dw
