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
    } else if (record.stop == DownloadStop::NotCompleted && record.committing) {
        // The drive may have carried out the committing command before the answer was lost.
        std::snprintf(text, sizeof text,
                      "Upgrade failed! The drive did not complete the last command (error %lu); it "
                      "may hold the new firmware.",
                      static_cast<unsigned long>(incompleteCode(record.result)));
    } else if (record.stop == DownloadStop::NotCompleted) {
        // No answer came back, so the sense data would tell of an earlier command.
        std::snprintf(text, sizeof text,
                      "Upgrade failed! The drive did not complete the command (error %lu).",
                      static_cast<unsigned long>(incompleteCode(record.result)));
    } else if (record.stop == DownloadStop::NotSent) {
        std::snprintf(text, sizeof text,
                      "Upgrade failed! The command could not be sent to the drive.");
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
