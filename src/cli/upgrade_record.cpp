// The record of an upgrade, in the system log's words and as a JSON line.
#include "cli/upgrade_record.h"

#include <cstdio>
#include <ctime>

#include "cli/json_writer.h"

namespace dw::cli {

namespace {

// A value as it is where it is one word of printable characters; else in quotes, with the
// quote and the backslash escaped and every other byte that is not printable as \xNN, so that
// the record stays one line whatever a path or a drive's identification holds.
std::string logValue(const std::string& value) {
    bool plain = !value.empty();
    for (unsigned char c : value) {
        if (c <= ' ' || c >= 0x7F || c == '"' || c == '\\') plain = false;
    }
    if (plain) return value;
    std::string quoted = "\"";
    for (unsigned char c : value) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += static_cast<char>(c);
        } else if (c < ' ' || c == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            quoted += escaped;
        } else {
            quoted += static_cast<char>(c);
        }
    }
    return quoted + "\"";
}

// "2026-12-07T09:30:00Z".
std::string utcTime(int64_t seconds) {
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm parts{};
    if (gmtime_r(&t, &parts) == nullptr) return "";
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

void setTextOrNull(JsonObject& object, std::string_view key, const std::string& text) {
    if (text.empty()) {
        object.setNull(key);
    } else {
        object.set(key, text);
    }
}

}  // namespace

std::string systemLogLine(const UpgradeRecord& r) {
    return "upgrade " + r.outcome + ": drive=" + logValue(r.drive) +
           " product=" + logValue(r.product) + " version_before=" + logValue(r.versionBefore) +
           " file=" + logValue(r.file) + " sha256=" + logValue(r.sha256) +
           " outcome=" + logValue(r.outcome) + " message=" + logValue(r.message) +
           " version_after=" + logValue(r.versionAfter);
}

std::string logFileLine(const UpgradeRecord& r) {
    JsonObject drive;
    drive.set("name", r.drive).set("node", r.node).set("product", r.product);
    setTextOrNull(drive, "version_before", r.versionBefore);
    JsonObject file;
    file.set("path", r.file);
    setTextOrNull(file, "sha256", r.sha256);
    JsonObject line;
    line.set("time", utcTime(r.time)).set("program", "drivewright");
    line.set("drive", drive).set("file", file).set("outcome", r.outcome);
    setTextOrNull(line, "message", r.message);
    setTextOrNull(line, "version_after", r.versionAfter);
    return line.text() + "\n";
}

}  // namespace dw::cli
