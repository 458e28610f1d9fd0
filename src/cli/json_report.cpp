// The --json documents, and what goes into them that the command line does not print otherwise.
#include "cli/json_report.h"

#include "firmware/firmware_image.h"

namespace dw::cli {

namespace {

const char* commandName(Command command) {
    switch (command) {
        case Command::List: return "list";
        case Command::Check: return "check";
        case Command::Upgrade: return "upgrade";
        default: return "";
    }
}

void setTextOrNull(JsonObject& object, std::string_view key, const std::string& text) {
    if (text.empty()) {
        object.setNull(key);
    } else {
        object.set(key, text);
    }
}

void setNumberOrNull(JsonObject& object, std::string_view key, const std::optional<int>& n) {
    if (n) {
        object.set(key, *n);
    } else {
        object.setNull(key);
    }
}

JsonObject fileObject(const FileFacts& file) {
    JsonObject object;
    object.set("path", file.path);
    if (file.size) {
        object.set("size", *file.size);
    } else {
        object.setNull("size");
    }
    setTextOrNull(object, "sha256", file.sha256);
    setTextOrNull(object, "version", file.version);
    setTextOrNull(object, "procedure", file.procedure);
    return object;
}

JsonObject stopObject(const StopFacts& stop) {
    JsonObject object;
    object.set("reason", stop.reason);
    object.set("chunk", stop.chunk);
    object.set("committing", stop.committing);
    setNumberOrNull(object, "scsi_status", stop.scsiStatus);
    setNumberOrNull(object, "sense_key", stop.senseKey);
    setNumberOrNull(object, "asc", stop.asc);
    setNumberOrNull(object, "ascq", stop.ascq);
    return object;
}

JsonObject upgradeObject(const UpgradeFacts& upgrade) {
    JsonObject object;
    object.set("committed", upgrade.committed);
    object.set("chunks_sent", upgrade.chunksSent);
    object.set("chunks_total", upgrade.chunksTotal);
    if (upgrade.stop) {
        object.set("stopped", stopObject(*upgrade.stop));
    } else {
        object.setNull("stopped");
    }
    setTextOrNull(object, "version_before", upgrade.versionBefore);
    setTextOrNull(object, "version_after", upgrade.versionAfter);
    if (upgrade.versionMatches) {
        object.set("version_matches", *upgrade.versionMatches);
    } else {
        object.setNull("version_matches");
    }
    object.setFixed("seconds", upgrade.milliseconds / 1000.0);
    return object;
}

// The message of an error: the dialog's text where it has one, else the last line said,
// without the program's name before it.
std::string messageOf(const std::string& text, const std::vector<std::string>& said) {
    if (!text.empty()) return text;
    if (said.empty()) return {};
    const std::string prefix = "drivewright: ";
    const std::string& last = said.back();
    return last.rfind(prefix, 0) == 0 ? last.substr(prefix.size()) : last;
}

JsonObject errorObject(int exitCode, const std::string& message) {
    JsonObject error;
    error.set("exit_code", exitCode);
    error.set("message", message);
    return error;
}

}  // namespace

std::string stableNameOf(LinuxApi& linuxApi, const SgIoDevice& device) {
    using Kind = LinuxApi::NodeResult::Kind;
    for (const char* folder : {"/dev/disk/by-id", "/dev/disk/by-path"}) {
        const LinuxApi::ListResult links = linuxApi.listDirectory(folder);
        if (!links.ok) continue;
        for (const std::string& name : links.names) {
            const std::string path = std::string(folder) + "/" + name;
            const LinuxApi::NodeResult node = linuxApi.statNode(path);
            if (!node.ok) continue;
            const bool block = node.kind == Kind::Block && !device.blockName.empty() &&
                               device.blockNumber && *device.blockNumber == node.number;
            const bool generic = node.kind == Kind::Character && device.genericNumber &&
                                 *device.genericNumber == node.number;
            if (block || generic) return path;
        }
    }
    return {};
}

void readSense(const uint8_t* sense, StopFacts& stop) {
    const uint8_t format = sense[0] & 0x7F;
    if (format == 0x70 || format == 0x71) {
        stop.senseKey = sense[2] & 0x0F;
        stop.asc = sense[12];
        stop.ascq = sense[13];
    } else if (format == 0x72 || format == 0x73) {
        stop.senseKey = sense[1] & 0x0F;
        stop.asc = sense[2];
        stop.ascq = sense[3];
    }
}

int LineRecorder::overflow(int c) {
    if (c == traits_type::eof()) return traits_type::not_eof(c);
    to_.put(static_cast<char>(c));
    if (c == '\n') {
        if (line_.rfind("trace: ", 0) != 0) lines_.push_back(line_);
        line_.clear();
    } else if (c != '\r') {
        line_ += static_cast<char>(c);
    }
    return c;
}

int LineRecorder::sync() {
    to_.flush();
    return 0;
}

JsonObject driveObject(const DriveFacts& d) {
    JsonObject object;
    object.set("device", d.device);
    setTextOrNull(object, "sg", d.sg);
    setTextOrNull(object, "sr", d.sr);
    setTextOrNull(object, "stable_name", d.stableName);
    object.set("vendor", d.vendor);
    object.set("product", d.product);
    object.set("inquiry_revision", d.inquiryRevision);
    object.set("firmware", d.firmware);
    object.set("label", d.label);
    object.set("bus", d.bus);
    object.set("host", d.host);
    object.set("channel", d.channel);
    object.set("target", d.target);
    object.set("lun", d.lun);
    setTextOrNull(object, "model_row", d.modelRow);
    object.set("takes_upgrade_files", d.takesUpgradeFiles);
    JsonArray sizes;
    for (uint32_t size : d.upgradeFileSizes) sizes.add(int64_t{size});
    object.set("upgrade_file_sizes", sizes);
    return object;
}

JsonObject refusalObject(const FileRefusal& why) {
    using Kind = FileRefusal::Kind;
    static constexpr const char* kKinds[] = {"none",        "path_length",
                                             "cannot_open", "drive_not_identified",
                                             "downgrade",   "size",
                                             "cannot_read", "no_upgrade_files",
                                             "ident",       "checksum"};
    JsonObject object;
    object.set("kind", kKinds[static_cast<size_t>(why.kind)]);
    setTextOrNull(object, "model_row", why.row);
    switch (why.kind) {
        case Kind::PathLength: object.set("length", why.size); break;
        case Kind::CannotOpen: object.set("errno", why.error); break;
        case Kind::Downgrade:
            object.set("file_version", why.fileVersion);
            object.set("drive_version", why.driveVersion);
            break;
        case Kind::Size: {
            object.set("size", why.size);
            JsonArray sizes;
            for (uint32_t size : why.sizes) sizes.add(int64_t{size});
            object.set("sizes", sizes);
            break;
        }
        case Kind::CannotRead:
            object.set("size", why.size);
            object.set("at", why.at);
            object.set("errno", why.error);
            break;
        case Kind::Ident:
            object.set("at", why.at);
            object.set("expected", why.expected);
            object.set("found", why.found);
            break;
        case Kind::Checksum:
            object.set("at", why.at);
            object.set("stored", int64_t{why.stored});
            object.set("computed", int64_t{why.computed});
            break;
        default: break;
    }
    return object;
}

std::string JsonReport::document(int exitCode, const std::vector<std::string>& said) const {
    JsonObject object;
    object.set("command", commandName(command_));
    object.set("exit_code", exitCode);
    if (command_ == Command::List) {
        JsonArray list;
        for (const DriveFacts& d : drives) list.add(driveObject(d));
        object.set("drives", list);
    } else {
        setTextOrNull(object, "outcome", outcome);
        setTextOrNull(object, "text", text);
        setTextOrNull(object, "reason", reason);
        if (refusal) {
            object.set("refusal", refusalObject(*refusal));
        } else {
            object.setNull("refusal");
        }
        if (file) {
            object.set("file", fileObject(*file));
        } else {
            object.setNull("file");
        }
        if (drive) {
            object.set("drive", driveObject(*drive));
        } else {
            object.setNull("drive");
        }
        if (command_ == Command::Upgrade) {
            if (upgrade) {
                object.set("upgrade", upgradeObject(*upgrade));
            } else {
                object.setNull("upgrade");
            }
        }
    }
    // An upgrade that ended before it began, after a valid check, ended for what it said last,
    // not for the check's "Valid upgrade file loaded".
    const bool textTellsTheEnd =
        outcome != "not_started" && outcome != "valid" && outcome != "would_upgrade";
    if (exitCode != 0) {
        object.set("error", errorObject(exitCode, messageOf(textTellsTheEnd ? text : "", said)));
    }
    return object.text() + "\n";
}

std::string usageErrorDocument(const std::string& message) {
    JsonObject object;
    object.setNull("command");
    object.set("exit_code", kExitUsage);
    object.set("error", errorObject(kExitUsage, message));
    return object.text() + "\n";
}

}  // namespace dw::cli
