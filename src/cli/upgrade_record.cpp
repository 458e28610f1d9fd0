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

// "2026-12-07T09:30:00Z": the proleptic Gregorian calendar, worked out here so that both systems
// give the same text (days to a date as in Howard Hinnant's days_from_civil, inverted).
std::string utcTime(int64_t seconds) {
    const int64_t days = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
    const int64_t secondOfDay = seconds - days * 86400;
    const int64_t z = days + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t dayOfEra = z - era * 146097;
    const int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t mp = (5 * dayOfYear + 2) / 153;
    const int64_t day = dayOfYear - (153 * mp + 2) / 5 + 1;
    const int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    char text[128];
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lldZ",
                  static_cast<long long>(year), static_cast<long long>(month),
                  static_cast<long long>(day), static_cast<long long>(secondOfDay / 3600),
                  static_cast<long long>(secondOfDay / 60 % 60),
                  static_cast<long long>(secondOfDay % 60));
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
