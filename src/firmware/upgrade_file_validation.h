// The check of an upgrade file against the selected drive, the last line of defence before the
// drive is flashed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "firmware/upgrade_dialog.h"
#include "firmware/upgrade_state.h"

namespace dw {

// Why the validation refused a file, with the numbers a user needs to see it: what a front end
// tells beside the status line, which stays the dialog's.
struct FileRefusal {
    enum class Kind : uint8_t {
        None,
        PathLength,          // (front ends) a path of `size` characters, too long to pass on
        CannotOpen,          // error: the system's reason
        DriveNotIdentified,  // the drive did not answer its INQUIRY, or no row matches it
        Downgrade,           // fileVersion below 1.02 for a drive of the "821" rows at driveVersion
        Size,                // size is none of `sizes`, those the row's files have
        CannotRead,          // reading stopped at byte `at` of `size`; error: the reason, or 0
        NoUpgradeFiles,      // the row takes no upgrade files
        Ident,               // the file does not carry `expected` at offset `at`; `found` is there
        Checksum,            // `stored` at offset `at`, `computed` over the file
    };
    Kind kind = Kind::None;
    std::string row;  // the drive's model row, where it was identified
    int error = 0;
    uint64_t size = 0;
    uint64_t at = 0;
    std::vector<uint32_t> sizes;
    std::string expected;
    std::string found;
    uint16_t stored = 0;
    uint16_t computed = 0;
    std::string fileVersion;   // the file's version field, as it stands
    std::string driveVersion;  // the drive's revision, as it answers
};

// Checks the file at state.upgradeFilePath against state.currentDevice: the downgrade guard of
// the "821" rows, the size (which sets state.procedureIndex), the identification string and the
// checksum. Sets the status line and refreshes on every outcome. On success records the file's
// length and digest in state.validatedFile. The file is read once, in pieces of at most 32 KB
// through state.transferBuffer. A refusal says why in `why`, where given.
bool ValidateUpgradeFile(UpgradeState& state, UpgradeDialog& dialog, FileRefusal* why = nullptr);

// The part of an upgrade file's path after its last backslash (or slash, on Linux).
std::string upgradeFileName(const char* path);

// The decimal value of two characters: their leading digits, 0 when the first is no digit.
int twoDigitValue(char first, char second);

}  // namespace dw
