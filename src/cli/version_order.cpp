// Reading firmware versions and putting two in order.
#include "cli/version_order.h"

namespace dw::cli {

namespace {

std::string_view withoutBlanks(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

// One or more digits, read as a number; nothing where a character is no digit.
std::optional<unsigned> digitsValue(std::string_view digits) {
    if (digits.empty() || digits.size() > 4) return std::nullopt;
    unsigned value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    return value;
}

}  // namespace

std::optional<FirmwareVersion> parseFirmwareVersion(std::string_view text) {
    text = withoutBlanks(text);
    const size_t dot = text.find('.');
    if (dot == std::string_view::npos) return std::nullopt;
    const std::optional<unsigned> major = digitsValue(text.substr(0, dot));
    const std::optional<unsigned> minor = digitsValue(text.substr(dot + 1));
    if (!major || !minor) return std::nullopt;
    return FirmwareVersion{*major, *minor};
}

VersionOrder compareVersions(std::string_view fileVersion, std::string_view driveVersion) {
    const std::optional<FirmwareVersion> file = parseFirmwareVersion(fileVersion);
    const std::optional<FirmwareVersion> drive = parseFirmwareVersion(driveVersion);
    if (!file || !drive) return VersionOrder::Unknown;
    if (file->major != drive->major) {
        return file->major > drive->major ? VersionOrder::Newer : VersionOrder::Older;
    }
    if (file->minor != drive->minor) {
        return file->minor > drive->minor ? VersionOrder::Newer : VersionOrder::Older;
    }
    return VersionOrder::Same;
}

const char* versionOrderWord(VersionOrder order) {
    switch (order) {
        case VersionOrder::Newer: return "newer";
        case VersionOrder::Same: return "the same";
        case VersionOrder::Older: return "older";
        default: return "";
    }
}

std::optional<bool> driveRunsTheFilesVersion(std::string_view fileVersion,
                                             std::string_view driveVersion) {
    for (char c : fileVersion) {
        if (c < 0x20 || c >= 0x7F) return std::nullopt;
    }
    if (fileVersion.empty() || fileVersion == "?") return std::nullopt;
    const VersionOrder order = compareVersions(fileVersion, driveVersion);
    if (order != VersionOrder::Unknown) return order == VersionOrder::Same;
    return withoutBlanks(fileVersion) == withoutBlanks(driveVersion);
}

}  // namespace dw::cli
