// The reason lines and the exit codes of refused files and failed upgrades.
#include "cli/reasons.h"

#include <cstdio>
#include <cstring>

#include "cli/command_line.h"

namespace dw::cli {

namespace {

// Printable characters as they are, every other byte as \xNN, in double quotes.
std::string quoted(const std::string& bytes) {
    std::string text = "\"";
    for (const char c : bytes) {
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
            text += c;
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned char>(c));
            text += escape;
        }
    }
    return text + "\"";
}

// A model row as a name: its runs of blanks as one.
std::string modelName(const std::string& row) {
    std::string name;
    for (const char c : row) {
        if (c == ' ' && (name.empty() || name.back() == ' ')) continue;
        name += c;
    }
    while (!name.empty() && name.back() == ' ') name.pop_back();
    return name;
}

std::string offsetText(uint64_t at) {
    char text[48];
    std::snprintf(text, sizeof text, "%llu (0x%llX)", static_cast<unsigned long long>(at),
                  static_cast<unsigned long long>(at));
    return text;
}

std::string sizesText(const std::vector<uint32_t>& sizes) {
    std::string text;
    for (size_t i = 0; i < sizes.size(); ++i) {
        if (i > 0) text += i + 1 == sizes.size() ? " or " : ", ";
        text += std::to_string(sizes[i]);
    }
    return text + " bytes";
}

std::string checksumText(uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04Xh", value);
    return text;
}

std::string sizeLine(const FileRefusal& why, const std::string& path) {
    const std::string start = path + " is " + std::to_string(why.size) + " bytes; ";
    if (why.sizes.empty()) return start + "no upgrade file fits the " + modelName(why.row);
    return start + "upgrade files for the " + modelName(why.row) + " are " + sizesText(why.sizes);
}

std::string readLine(const FileRefusal& why, const std::string& path) {
    const std::string where =
        " after " + std::to_string(why.at) + " of its " + std::to_string(why.size) + " bytes";
    if (why.error != 0) {
        return "reading " + path + " failed" + where + ": " + std::strerror(why.error);
    }
    return path + " ended" + where + ": it changed while it was read";
}

}  // namespace

std::string hexBytes(const uint8_t* bytes, size_t count) {
    std::string text;
    char b[4];
    for (size_t i = 0; i < count; ++i) {
        std::snprintf(b, sizeof b, i ? " %02X" : "%02X", bytes[i]);
        text += b;
    }
    return text;
}

std::string fileRefusalLine(const FileRefusal& why, const std::string& path) {
    std::string line;
    using Kind = FileRefusal::Kind;
    switch (why.kind) {
        case Kind::None: return "";
        case Kind::PathLength:
            line = "the path " + path + " has " + std::to_string(why.size) +
                   " characters; an upgrade file's path has 2 to " +
                   std::to_string(kUpgradeFilePathSize - 1);
            break;
        case Kind::CannotOpen:
            line = "cannot open " + path + ": " + std::strerror(why.error);
            break;
        case Kind::DriveNotIdentified:
            line =
                "the drive did not identify itself as a model this program knows (INQUIRY), "
                "so the file could not be checked against it";
            break;
        case Kind::Downgrade:
            line = path + " is version " + quoted(why.fileVersion) + " and the drive runs " +
                   quoted(why.driveVersion) + ": a " + modelName(why.row) +
                   " at version 1.02 or later does not go back below 1.02";
            break;
        case Kind::Size: line = sizeLine(why, path); break;
        case Kind::CannotRead: line = readLine(why, path); break;
        case Kind::NoUpgradeFiles:
            line = "the " + modelName(why.row) + " takes no upgrade files";
            break;
        case Kind::Ident:
            line = "upgrade files for the " + modelName(why.row) + " carry " +
                   quoted(why.expected) + " at offset " + offsetText(why.at) + "; " + path +
                   " has " + quoted(why.found) + " there";
            break;
        case Kind::Checksum:
            line = "the checksum stored in " + path + " at offset " + offsetText(why.at) + " is " +
                   checksumText(why.stored) + "; its bytes give " + checksumText(why.computed);
            break;
    }
    return "drivewright: " + line + "\n";
}

int exitCodeOf(const FileRefusal& why) {
    return why.kind == FileRefusal::Kind::DriveNotIdentified ? kExitNoAccess : kExitInvalidFile;
}

int exitCodeOfFailedUpgrade(const DownloadRecord& download, bool driveMayHaveChanged) {
    if (driveMayHaveChanged) return kExitFailed;
    switch (download.stop) {
        case DownloadStop::FileUnopenable:
        case DownloadStop::FileUnreadable:
        case DownloadStop::FileShorter:
        case DownloadStop::FileChanged:
        case DownloadStop::NoProcedure: return kExitInvalidFile;
        default: return kExitNoAccess;
    }
}

}  // namespace dw::cli
