// What --json prints: the facts a command gathered (the drives, the file, the upgrade) as one
// JSON document, and the lines the program said on the way, kept to name the error.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/json_writer.h"
#include "firmware/upgrade_file_validation.h"
#include "platform/linux_api.h"
#include "scsi/scsi_transport.h"

namespace dw::cli {

struct DriveFacts {
    std::string device;      // the name list shows: "/dev/sg1"; "E:" or "1:0" on Windows
    std::string sg;          // "/dev/sg1", empty where the drive has none
    std::string sr;          // "/dev/sr0", empty where it has none
    std::string stableName;  // its /dev/disk/by-id (or by-path) name, empty where udev made none
    std::string vendor;
    std::string product;
    std::string inquiryRevision;
    std::string firmware;  // as the drive reports it now
    std::string label;
    std::string bus;
    int32_t host = 0;
    int32_t channel = 0;
    int32_t target = 0;
    int32_t lun = 0;
    std::string modelRow;  // empty: no row of the model table matches
    bool takesUpgradeFiles = false;
    std::vector<uint32_t> upgradeFileSizes;  // the sizes its model's upgrade files can have
};

struct FileFacts {
    std::string path;
    std::optional<uint64_t> size;  // none where the file cannot be read
    std::string sha256;            // lower-case hex, empty where it was not computed
    std::string version;           // the version field at offset 24, empty where not printable
    std::string procedure;         // "512K", empty where no procedure takes the size
};

struct StopFacts {
    std::string reason;  // "drive_refused", "not_completed", ... (README, JSON output)
    int32_t chunk = -1;  // from 0; -1 before the first
    bool committing = false;
    std::optional<int> scsiStatus;
    std::optional<int> senseKey;
    std::optional<int> asc;
    std::optional<int> ascq;
};

struct UpgradeFacts {
    bool committed = false;
    uint32_t chunksSent = 0;
    uint32_t chunksTotal = 0;
    std::optional<StopFacts> stop;
    std::string versionBefore;
    std::string versionAfter;
    // After a download that succeeded, whether the drive runs the file's version; nothing
    // where it could not be compared.
    std::optional<bool> versionMatches;
    uint32_t milliseconds = 0;
};

// The stable name udev made for the drive: the first link in /dev/disk/by-id, else in
// /dev/disk/by-path, that names its sr or sg node (by kind and device number). Empty for none.
std::string stableNameOf(LinuxApi& linuxApi, const SgIoDevice& device);

// The sense key, ASC and ASCQ of fixed (70h/71h) or descriptor (72h/73h) sense data.
void readSense(const uint8_t* sense, StopFacts& stop);

// A stream that passes everything to another and keeps the lines written to it, for the error's
// message (lines of --trace left out).
class LineRecorder : public std::streambuf {
public:
    explicit LineRecorder(std::ostream& to) : to_(to) {}
    const std::vector<std::string>& lines() const { return lines_; }

protected:
    int overflow(int c) override;
    int sync() override;

private:
    std::ostream& to_;
    std::string line_;
    std::vector<std::string> lines_;
};

class JsonReport {
public:
    explicit JsonReport(Command command) : command_(command) {}

    std::vector<DriveFacts> drives;   // list
    std::optional<DriveFacts> drive;  // check, upgrade
    std::optional<FileFacts> file;
    // check and upgrade: "valid", "invalid", "no_upgradable_drive"; an upgrade then goes on with
    // "succeeded", "failed", "interrupted", or "not_started" where it stopped before sending.
    std::string outcome;
    std::string text;  // the dialog's status line: the outcome in the dialog's words
    // Why, in words: the last line the program said on stderr.
    std::string reason;
    // Why a file was refused, as the checks recorded it: kind and numbers, for scripts.
    std::optional<FileRefusal> refusal;
    std::optional<UpgradeFacts> upgrade;

    // The document for the exit code. A non-zero exit code adds "error": {"exit_code",
    // "message"}, the message being the dialog's text or else the last line said.
    std::string document(int exitCode, const std::vector<std::string>& said) const;

private:
    Command command_;
};

// The document of a command line that does not read (exit code 2).
std::string usageErrorDocument(const std::string& message);

JsonObject driveObject(const DriveFacts& drive);

// {"kind": "checksum", "stored": ..., ...}: the refusal's kind and the numbers that go with it.
JsonObject refusalObject(const FileRefusal& why);

}  // namespace dw::cli
