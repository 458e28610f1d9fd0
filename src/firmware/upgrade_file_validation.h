// The check of an upgrade file against the selected drive, the last line of defence before the
// drive is flashed.
#pragma once

#include <string>

#include "firmware/upgrade_dialog.h"
#include "firmware/upgrade_state.h"

namespace dw {

// Checks the file at state.upgradeFilePath against state.currentDevice: the downgrade guard of
// the "821" rows, the size (which sets state.procedureIndex), the identification string and the
// checksum. Sets the status line and refreshes on every outcome. On success records the file's
// length and digest in state.validatedFile. The file is read once, in pieces of at most 32 KB
// through state.transferBuffer.
bool ValidateUpgradeFile(UpgradeState& state, UpgradeDialog& dialog);

// The part of an upgrade file's path after its last backslash (or slash, on Linux).
std::string upgradeFileName(const char* path);

// The decimal value of two characters: their leading digits, 0 when the first is no digit.
int twoDigitValue(char first, char second);

}  // namespace dw
