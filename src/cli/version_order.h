// Whether an upgrade file brings the drive a newer firmware, the same or an older one, and
// whether the drive runs the file's version after the upgrade.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace dw::cli {

enum class VersionOrder { Newer, Same, Older, Unknown };

// A version as drives and upgrade files write it: digits, a dot, digits ("1.10", "2.0"), blanks
// around it allowed. The part after the dot is a number ("1.9" is before "1.10"). Anything else
// ("5a02", "?.??", a field of other bytes) is no version: no order is told for it.
struct FirmwareVersion {
    unsigned major = 0;
    unsigned minor = 0;
};
std::optional<FirmwareVersion> parseFirmwareVersion(std::string_view text);

// The file's version against the one the drive runs; Unknown where either is no version.
VersionOrder compareVersions(std::string_view fileVersion, std::string_view driveVersion);

// "newer", "the same", "older"; empty for Unknown.
const char* versionOrderWord(VersionOrder order);

// What an upgrade learned of the versions, for whoever reports it.
struct VersionReport {
    std::string before;  // the drive's, before the upgrade
    std::string file;    // the file's version field ("?" where it is not printable)
    VersionOrder order = VersionOrder::Unknown;
    std::string after;                   // the drive's, after a download; empty before
    std::optional<bool> versionMatches;  // after a download that succeeded: whether after is
                                         // the file's; nothing where it was not compared
};

// Whether the version the drive reports after the upgrade is the file's: as versions where both
// read as versions, else as text without its blanks. Nothing where the file's field is not
// printable.
std::optional<bool> driveRunsTheFilesVersion(std::string_view fileVersion,
                                             std::string_view driveVersion);

}  // namespace dw::cli
