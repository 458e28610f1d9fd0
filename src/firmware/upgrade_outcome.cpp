#include "firmware/upgrade_outcome.h"

#include <cstdio>

#include "firmware/command_builders.h"
#include "scsi/command_result.h"
#include "scsi/opcodes.h"
#include "scsi/sense_text.h"

namespace dw {

namespace {

constexpr size_t kFailureTextSize = 160;

// What the program itself found wrong; nothing of it came from the drive.
const char* stopSentence(DownloadStop stop) {
    switch (stop) {
        case DownloadStop::FileUnopenable: return "The upgrade file could not be opened.";
        case DownloadStop::FileUnreadable: return "The upgrade file could not be read.";
        case DownloadStop::FileShorter:
            return "The upgrade file is shorter than when it was checked.";
        case DownloadStop::FileChanged: return "The upgrade file changed after it was checked.";
        case DownloadStop::NoProcedure: return "No download procedure fits the file's size.";
        case DownloadStop::DriveInUse:
            return "Another program is using the drive: close it and try again.";
        default: return nullptr;
    }
}

}  // namespace

std::string UpgradeOutcomeText(bool succeeded, UpgradeState& state, StringTable& strings) {
    if (succeeded) return "Upgrade succesfull";
    char text[kFailureTextSize];
    const DownloadRecord& record = state.download;
    if (const char* sentence = stopSentence(record.stop)) {
        std::snprintf(text, sizeof text, "Upgrade failed! %s", sentence);
    } else if (record.stop == DownloadStop::NotDelivered && isSystemErrorResult(record.result)) {
        // The drive never answered, so its sense data would tell of an earlier command.
        std::snprintf(text, sizeof text,
                      "Upgrade failed! The command did not reach the drive (error %lu).",
                      static_cast<unsigned long>(systemErrorOf(record.result)));
    } else if (record.stop == DownloadStop::NotDelivered &&
               (record.result == kResultNotSent || record.result == kResultNoDriveLetter)) {
        std::snprintf(text, sizeof text,
                      "Upgrade failed! The command could not be sent to the drive.");
    } else if (record.stop == DownloadStop::NotDelivered) {
        std::snprintf(text, sizeof text, "Upgrade failed! The drive did not answer the command.");
    } else {
        std::snprintf(text, sizeof text, "Upgrade failed! %s",
                      SenseText(*state.transport, state.currentDevice, strings));
    }
    return text;
}

bool IsCommittingCommand(const ScsiCommand& command) {
    const uint8_t opcode = command.cdb[0];
    if (opcode == op::kWriteBuffer) return (command.cdb[1] & 0x07) == kWriteBufferDownloadAndSave;
    if (opcode == op::kVendorWriteMemory) return command.cdb[1] == kVendorWriteCommit;
    return false;
}

}  // namespace dw
