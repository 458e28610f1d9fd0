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

// The SCSI status a refused command came back with, by its name.
std::string statusName(int32_t result) {
    switch (result) {
        case 0x02: return "CHECK CONDITION";
        case 0x04: return "CONDITION MET";
        case 0x08: return "BUSY";
        case 0x18: return "RESERVATION CONFLICT";
        case 0x22: return "COMMAND TERMINATED";
        case 0x28: return "TASK SET FULL";
        case 0x30: return "ACA ACTIVE";
        case 0x40: return "TASK ABORTED";
        case kResultNoStatus: return "status 01h";
        default: {
            char text[16];
            std::snprintf(text, sizeof text, "status %02lXh",
                          static_cast<unsigned long>(result & 0xFF));
            return text;
        }
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
    } else if (record.stop == DownloadStop::DriveTookPart && record.committing) {
        std::snprintf(text, sizeof text,
                      "Upgrade failed! The drive took only part of the last chunk; it may hold "
                      "incomplete firmware.");
    } else if (record.stop == DownloadStop::DriveTookPart) {
        std::snprintf(text, sizeof text,
                      "Upgrade failed! The drive took only part of a chunk; the committing "
                      "command was not sent.");
    } else if (!HasSenseData(state.currentDevice)) {
        std::snprintf(text, sizeof text,
                      "Upgrade failed! The drive answered %s without sense data.",
                      statusName(record.result).c_str());
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

bool MayHaveChangedTheDrive(const ScsiCommand& command, int32_t result) {
    const uint8_t opcode = command.cdb[0];
    if (opcode == op::kWriteBuffer || opcode == op::kVendorWriteMemory) return !wasNotSent(result);
    if (opcode == op::kVendorPrepareDownload) return result == 1 || didNotComplete(result);
    return false;
}

}  // namespace dw
