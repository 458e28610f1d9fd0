// The record of an upgrade that sent the drive a command that changes it: one line for the
// system log, and the same as one JSON line for the log file of --log.
#pragma once

#include <cstdint>
#include <string>

namespace dw::cli {

struct UpgradeRecord {
    int64_t time = 0;     // seconds since 1970-01-01 00:00 UTC
    std::string drive;    // its /dev/disk/by-id (or by-path) name, else its node
    std::string node;     // /dev/sgN or /dev/srN
    std::string product;  // vendor and product, as the drive identifies itself
    std::string versionBefore;
    std::string file;     // the path as given
    std::string sha256;   // lower-case hex, empty where the file could not be read
    std::string outcome;  // "succeeded", "failed", "interrupted"
    std::string message;  // the dialog's status line
    std::string versionAfter;
    bool succeeded() const { return outcome == "succeeded"; }
};

// The system log's line: the words of each field, a value with blanks or quotes in quotes.
// upgrade succeeded: drive=/dev/disk/by-id/... product="KORVANE DVDR   KV-829A" ...
std::string systemLogLine(const UpgradeRecord& record);

// One JSON object and its line's end.
std::string logFileLine(const UpgradeRecord& record);

}  // namespace dw::cli
