// Why a command ended as it did: the records the core fills, turned into the line on stderr
// that stands beside the dialog's sentence, and into the exit code a script branches on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "firmware/upgrade_file_validation.h"
#include "firmware/upgrade_state.h"

namespace dw::cli {

// "3B 04 00": bytes in hex, for --trace.
std::string hexBytes(const uint8_t* bytes, size_t count);

// "drivewright: ..." in plain words with the numbers, for the file at `path`; empty for none.
std::string fileRefusalLine(const FileRefusal& why, const std::string& path);

// 3 where the drive did not answer its identification, else 5: the file does not fit the drive.
int exitCodeOf(const FileRefusal& why);

// The exit code of an upgrade that failed: 1 once a command that may have changed the drive went
// out; before that, 5 where the file was not what was checked, else 3 (the drive or the system
// refused, or another program held the drive).
int exitCodeOfFailedUpgrade(const DownloadRecord& download, bool driveMayHaveChanged);

}  // namespace dw::cli
