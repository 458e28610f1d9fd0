// What the command line's flow needs of the system it runs on, and the two systems that give it:
// how the drives are found and named, how one is held for an upgrade and who else may hold it,
// the rights an upgrade needs, the power, the sleep, the file's digest and the upgrade's record.
// The flow (cli_program.cpp) is written once over this; Linux and Windows each implement it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>

#include "cli/command_line.h"
#include "devices/device_entry.h"
#include "scsi/scsi_transport.h"

namespace dw::cli {

struct DriveFacts;
struct UpgradeRecord;

class CliSystem {
public:
    virtual ~CliSystem() = default;

    virtual ScsiTransport& transport() = 0;
    // Called before the system writes a line of --trace, so that the progress line ends first.
    std::function<void()> beforeTraceLine = [] {};
    // Whether the system writes --trace's lines itself (with what only it knows of a command);
    // else the flow writes one per command.
    virtual bool tracesCommands() const = 0;
    // --help's words for this system: the program's name, how drives are named, the notes.
    virtual HelpWords helpWords() const = 0;

    // Finds the drives as the program's start does and starts the transport; with `named` not
    // empty, sends nothing to drives other than the one it names, where the system can tell
    // them apart before asking. Says on `err` which drives it could not reach, and why. Nothing
    // to go on with, or the exit code of a start that ends the program (told why).
    virtual std::optional<int> findDrives(const std::string& named, bool trace,
                                          std::ostream& err) = 0;
    // A drive was there that this user may not open, or that another program held: told.
    virtual bool aDriveCouldNotBeOpened() const = 0;

    // The name a user gives the drive (/dev/sg1; E: or 1:0), as list shows it.
    virtual std::string nameOf(const DeviceEntry& entry) = 0;
    // Whether a name the user gave (--device) names the drive.
    virtual bool names(const std::string& name, const DeviceEntry& entry) = 0;
    // Where no drive found answers to a name the user gave: why, when the system can tell (told
    // on `err`: the exit code is then 3), else false.
    virtual bool tellWhyNoDriveAnswers(const std::string& name, std::ostream& err) = 0;
    // --json: the drive's nodes or letter, its stable name and its address.
    virtual void describe(const DeviceEntry& entry, DriveFacts& facts) = 0;

    // The upgrade, before its question: the rights it needs, the drive held for this program
    // alone, and the drive held being the one the file was checked for. Each that refuses has
    // said why on `err`.
    virtual bool mayUpgrade(const DeviceEntry& entry, std::ostream& err) = 0;
    virtual bool hold(const DeviceEntry& entry, std::ostream& err) = 0;
    virtual bool heldIsTheScannedOne(DeviceEntry& entry) = 0;
    virtual void release(const DeviceEntry& entry) = 0;

    // The battery that discharges with no mains power online, or nothing.
    virtual std::optional<std::string> dischargingBattery() = 0;
    // Keeps the system from sleeping until letSleep: empty, or why it could not (for --trace).
    virtual std::string keepAwake() = 0;
    virtual void letSleep() = 0;

    // The SHA-256 of the file in lower-case hex, read in pieces; empty where the system cannot
    // compute it or the file cannot be read.
    virtual std::string sha256Of(const std::string& path) = 0;

    // --log FILE: opened before the upgrade's first check (0, or the error number), a line
    // appended with one write (0 or the error number).
    virtual int openLog(const std::string& path) = 0;
    virtual int appendToLog(const std::string& line) = 0;
    // The system's log, where it keeps one; the time now, in seconds since 1970.
    virtual void writeSystemLog(bool succeeded, const std::string& line) = 0;
    virtual int64_t secondsSinceEpoch() = 0;
    // The name the record gives the drive: one that stays (udev's) where there is one.
    virtual std::string recordedName(const DeviceEntry& entry) = 0;
    // The system's words for an error number.
    virtual std::string errorText(int error) = 0;

    // After a download that did not succeed: what the system can add about why (a command the
    // kernel refused, an error number's meaning), on `err`.
    virtual void tellWhyTheDownloadStopped(const DeviceEntry& entry, bool commandDidNotComplete,
                                           int32_t result, std::ostream& err) = 0;
};

}  // namespace dw::cli
