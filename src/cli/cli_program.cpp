// list, check and upgrade: the start-up steps of the dialog, then each command's own.
#include "cli/cli_program.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "cli/json_report.h"
#include "cli/progress.h"
#include "cli/reasons.h"
#include "cli/version_order.h"
#include "cli/upgrade_record.h"
#include "firmware/device_selection.h"
#include "firmware/download_procedures.h"
#include "firmware/firmware_image.h"
#include "firmware/upgrade_file_validation.h"
#include "firmware/upgrade_outcome.h"
#include "firmware/upgrade_state.h"
#include "identify/drive_list.h"
#include "identify/identify_model.h"
#include "identify/model_table.h"
#include "scsi/opcodes.h"
#include "scsi/scsi_transport.h"

namespace dw::cli {

namespace {

constexpr uint32_t kUpgradePauseMs = 1100;
// Chunks of each procedure, by procedure index (the 512K one may run twice).
constexpr uint32_t kChunksOfProcedure[] = {16, 8, 64, 120, 126};

const char* busKindName(BusKind kind) {
    switch (kind) {
        case BusKind::Atapi: return "ATAPI";
        case BusKind::Ata: return "ATA";
        case BusKind::SerialAta: return "Serial ATA";
        case BusKind::Scsi: return "SCSI";
        case BusKind::Usb: return "USB";
        case BusKind::Ieee1394: return "IEEE 1394";
        default: return "unknown";
    }
}

// `text` without the blanks that pad it on either side.
std::string withoutPadding(std::string text) {
    text.erase(0, text.find_first_not_of(' '));
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

// WRITE BUFFER and the vendor memory write: the commands that carry firmware to the drive.
bool carriesFirmware(const ScsiCommand& command) {
    return command.cdb[0] == op::kWriteBuffer || command.cdb[0] == op::kVendorWriteMemory;
}

// Signals are held back from the upgrade's confirmation until it has ended, whichever way it
// ends.
class HeldSignals {
public:
    explicit HeldSignals(Signals& signals) : signals_(signals) { signals_.holdBack(); }
    ~HeldSignals() { signals_.release(); }
    HeldSignals(const HeldSignals&) = delete;
    HeldSignals& operator=(const HeldSignals&) = delete;

private:
    Signals& signals_;
};

// The clock of the download's waits, which looks for an interrupt before each.
class NoticingClock : public Clock {
public:
    NoticingClock(Clock& clock, std::function<void()> notice)
        : clock_(clock), notice_(std::move(notice)) {}
    uint32_t tickCount() override { return clock_.tickCount(); }
    void sleep(uint32_t milliseconds) override {
        notice_();
        clock_.sleep(milliseconds);
    }

private:
    Clock& clock_;
    std::function<void()> notice_;
};

// The dialog the validation and the download talk to: its status line is printed whenever it
// changes and is refreshed (when it is quiet, only when it is shown), its warning is printed as
// it is.
class CliDialog : public UpgradeDialog {
public:
    explicit CliDialog(std::ostream& out, bool quiet = false) : out_(out), quiet_(quiet) {}
    void setStatusText(const std::string& text) override { status_ = text; }
    void refresh() override {
        if (!quiet_) show();
    }
    // The status line, unless it is the one last printed.
    void show() {
        if (status_ == shown_) return;
        shown_ = status_;
        out_ << status_ << "\n" << std::flush;
    }
    const std::string& status() const { return status_; }
    void showWarning(const std::string& text) override {
        std::string plain = text;
        for (size_t at; (at = plain.find('\r')) != std::string::npos;) plain.erase(at, 1);
        out_ << plain << "\n" << std::flush;
    }

private:
    std::ostream& out_;
    bool quiet_;
    std::string status_;
    std::string shown_;
};

class Session {
public:
    Session(const Options& options, Environment& env)
        : options_(options), env_(env), system_(env.system), transport_(env.system.transport()) {
        state_.transport = &transport_;
    }

    int run();
    // --json: the facts go into `report`, and the progress to `progressErr` (standard error),
    // past the lines the report keeps.
    void reportTo(JsonReport& report, std::ostream& progressErr) {
        report_ = &report;
        progressErr_ = &progressErr;
    }

private:
    struct Download {
        bool succeeded = false;
        bool stopped = false;  // an interrupt stopped it before the committing command
    };
    // The steps of every command.
    void start();
    void keepOnlyTheDriveNamed();
    int list();
    std::optional<size_t> chooseDrive(int& exitCode);
    int check(bool forUpgrade);
    int tellTheRefusal(const FileRefusal& refusal);
    // The upgrade's steps, in their order.
    int upgrade();
    bool openTheLogFile();
    bool checkThePower();
    bool holdTheDrive(DeviceEntry& device);
    bool confirmTheDrive(DeviceEntry& device);
    void compareTheVersions(const char* version);
    std::optional<int> refuseTheSameOrOlder();
    int tellTheDryRun(const DeviceEntry& device);
    std::optional<int> askTheQuestion(const DeviceEntry& device, const char* version);
    std::string theQuestion(const DeviceEntry& device, const char* version);
    void tellWhyNotAsked(int error);
    std::optional<bool> readTheAnswer();
    Download runTheDownload(CliDialog& dialog);
    std::unique_ptr<Progress> makeProgress();
    void tellTheOutcome(const Download& download, CliDialog& dialog);
    void tellWhetherTheFilesVersionRuns(const char* version);
    void recordTheUpgrade(const Download& download, const std::string& message,
                          const std::string& versionAfter);
    // What each step needs.
    std::string labelOf(const DeviceEntry& device);
    std::optional<std::string> listedLabelOf(const DeviceEntry& device);
    std::string fileVersion();
    void commandDone(const ScsiCommand& command, int32_t result);
    void traceCommand(const DeviceEntry& device, const ScsiCommand& command, int32_t result);
    bool interrupted() { return env_.signals.interruption() != nullptr; }
    // Once the committing command is on its way, an interrupt no longer stops the upgrade: the
    // user is told so, once.
    void tellFinishing();
    void keepAwake();
    void letSleep();
    // --json: what the document tells.
    DriveFacts driveFacts(const DeviceEntry& entry, const std::string& label);
    void reportTheDrive(const DeviceEntry& entry);
    void reportTheFile(const CliDialog& dialog, bool valid);
    void reportTheDownload(const Download& download, uint32_t milliseconds);

    const Options& options_;
    Environment& env_;
    CliSystem& system_;
    ScsiTransport& transport_;
    UpgradeState state_;
    VersionReport versions_;
    std::vector<std::string> labels_;
    std::unique_ptr<Progress> progress_;
    bool committing_ = false;
    // A command that may have changed the drive went out: a failure from then on is exit 1.
    bool driveMayHaveChanged_ = false;
    bool toldFinishing_ = false;
    bool awake_ = false;  // the system was asked to keep from sleeping
    JsonReport* report_ = nullptr;
    std::ostream* progressErr_ = nullptr;
    uint32_t chunksSent_ = 0;   // commands that carry firmware, answered GOOD
    uint32_t chunksTotal_ = 0;  // of the download's plan, every pass
    bool committed_ = false;    // the committing command was answered GOOD
    // The SCSI status of the last command a drive refused, where the transport tells it.
    std::optional<uint8_t> failedStatus_;
    std::string digest_;        // the SHA-256 of the file checked, for the record
    std::optional<int> ended_;  // the start ended the program with this exit code
};

void Session::tellFinishing() {
    const char* signal = env_.signals.interruption();
    if (!committing_ || signal == nullptr || toldFinishing_) return;
    toldFinishing_ = true;
    if (progress_) progress_->finish();
    env_.err << "drivewright: " << signal
             << " received; the firmware is being committed, finishing the upgrade\n"
             << std::flush;
}

// Finds the drives; nothing, or the exit code of a start that ended the program.
void Session::start() {
    system_.beforeTraceLine = [this] {
        if (progress_) progress_->finish();
    };
    transport_.commandDone = [this](const DeviceEntry& device, const ScsiCommand& command,
                                    int32_t result) {
        commandDone(command, result);
        if (options_.trace && !system_.tracesCommands()) traceCommand(device, command, result);
    };
    ended_ = system_.findDrives(options_.device, options_.trace, env_.err);
    if (ended_ || transport_.kind == TransportKind::None) return;
    if (!options_.device.empty()) keepOnlyTheDriveNamed();
    ProbeInterfaces(transport_);
    FillDeviceList(transport_, state_.deviceList,
                   [this](const std::string& label) { labels_.push_back(label); });
}

// With --device nothing more goes to the other drives, one of which may be writing a disc: the
// interface probe and the list fill see the drive named alone.
void Session::keepOnlyTheDriveNamed() {
    for (HostAdapter& adapter : transport_.adapters) {
        for (DeviceList& bus : adapter.buses) {
            for (size_t i = bus.size(); i-- > 0;) {
                if (!system_.names(options_.device, bus.at(i))) bus.remove(i);
            }
        }
    }
}

// What the download's account and the progress learn of each command.
void Session::commandDone(const ScsiCommand& command, int32_t result) {
    if (progress_) progress_->commandSent(command, result == 1);
    if (MayHaveChangedTheDrive(command, result)) driveMayHaveChanged_ = true;
    if (result == 1 && carriesFirmware(command)) ++chunksSent_;
    if (result == 1 && IsCommittingCommand(command)) committed_ = true;
    // A status byte, where the transport gives the drive's own (ASPI gives its layer's).
    if (result > 1 && result < 0x100 && transport_.kind != TransportKind::Aspi) {
        failedStatus_ = static_cast<uint8_t>(result);
    }
}

// --trace where the system has no words of its own for a command: what was sent, how it ended.
void Session::traceCommand(const DeviceEntry& device, const ScsiCommand& command, int32_t result) {
    char line[64];
    std::snprintf(line, sizeof line, " -> result=%d", static_cast<int>(result));
    if (progress_) progress_->finish();
    env_.err << "trace: " << system_.nameOf(device)
             << " cdb=" << hexBytes(command.cdb.data(), cdbLengthFor(command.cdb[0])) << line;
    if (result > 1 && result < 0x100) env_.err << " sense=" << hexBytes(device.sense, 14);
    env_.err << "\n";
}

// The drives found; a drive that is busy or that this user may not open was named on stderr
// with what is needed, and is never "no KORVANE drive found".
int Session::list() {
    for (size_t i = 0; i < state_.deviceList.size(); ++i) {
        const DeviceEntry& entry = state_.deviceList.at(i);
        char version[kFirmwareVersionSize];
        GetFirmwareVersion(transport_, entry, version);
        if (report_) report_->drives.push_back(driveFacts(entry, labels_[i]));
        env_.out << system_.nameOf(entry) << "  \"" << labels_[i] << "\"  "
                 << busKindName(entry.busKind) << "  " << version << "\n";
    }
    if (system_.aDriveCouldNotBeOpened()) return kExitNoAccess;
    if (!state_.deviceList.empty()) return kExitOk;
    env_.out << "no KORVANE drive found\n";
    return kExitNoDrive;
}

std::optional<size_t> Session::chooseDrive(int& exitCode) {
    const DeviceList& drives = state_.deviceList;
    if (options_.device.empty()) {
        if (drives.size() == 1) return 0;
        if (drives.empty() && system_.aDriveCouldNotBeOpened()) {
            exitCode = kExitNoAccess;  // already told why
        } else if (drives.empty()) {
            env_.out << "no KORVANE drive found\n";
            exitCode = kExitNoDrive;
        } else {
            env_.err << "drivewright: " << drives.size()
                     << " KORVANE drives are attached: name one with --device\n";
            exitCode = kExitUsage;
        }
        return std::nullopt;
    }
    std::vector<size_t> named;
    for (size_t i = 0; i < drives.size(); ++i) {
        if (system_.names(options_.device, drives.at(i))) named.push_back(i);
    }
    if (named.size() == 1) return named[0];
    // host:target on two buses of one port: a name that stands for two drives chooses none.
    if (named.size() > 1) {
        env_.err << "drivewright: " << options_.device << " names " << named.size()
                 << " drives: name the one you mean by its drive letter\n";
        exitCode = kExitUsage;
        return std::nullopt;
    }
    // Only the drive named was asked: a drive that could not be opened is that one, told.
    exitCode = kExitNoAccess;
    if (system_.aDriveCouldNotBeOpened()) return std::nullopt;
    if (system_.tellWhyNoDriveAnswers(options_.device, env_.err)) return std::nullopt;
    exitCode = kExitNoDrive;
    env_.err << "drivewright: " << options_.device
             << " is not a KORVANE drive this program found (drivewright list shows them)\n";
    return std::nullopt;
}

int Session::check(bool forUpgrade) {
    int exitCode = kExitNoDrive;
    const std::optional<size_t> index = chooseDrive(exitCode);
    if (!index) return exitCode;
    // As selecting the drive in the dialog does.
    SelectDevice(state_, state_.deviceList.at(*index));
    if (report_) reportTheDrive(state_.deviceList.at(*index));
    // A quiet upgrade tells the check's outcome only where it ends the upgrade.
    CliDialog dialog(env_.out, forUpgrade && options_.quiet);
    FileRefusal refusal;
    // A drive that takes no upgrade files: no file is valid for it.
    if (ModelIdentOffset(transport_, state_.currentDevice) == 0) {
        if (report_) report_->outcome = "no_upgradable_drive";
        if (report_) report_->text = "No upgradable device selected";
        env_.out << "No upgradable device selected\n";
        refusal.kind = FileRefusal::Kind::NoUpgradeFiles;
        refusal.row = ModelProductId(transport_, state_.currentDevice);
        return tellTheRefusal(refusal);
    }
    state_.upgradeFilePath[0] = '\0';
    state_.validatedFile = {};
    // A path that does not fit would have to be cut, and a cut path names another file.
    if (options_.file.size() >= kUpgradeFilePathSize || options_.file.size() < 2) {
        if (report_) report_->text = "No valid upgrade file selected";
        if (report_) reportTheFile(dialog, false);
        env_.out << "No valid upgrade file selected\n";
        refusal.kind = FileRefusal::Kind::PathLength;
        refusal.size = options_.file.size();
        return tellTheRefusal(refusal);
    }
    std::memcpy(state_.upgradeFilePath, options_.file.c_str(), options_.file.size() + 1);
    const bool valid = ValidateUpgradeFile(state_, dialog, &refusal);
    if (report_) reportTheFile(dialog, valid);
    if (!valid) {
        dialog.show();
        return tellTheRefusal(refusal);
    }
    return forUpgrade ? upgrade() : kExitOk;
}

// Beside the dialog's sentence, why, on stderr; the exit code that goes with it.
int Session::tellTheRefusal(const FileRefusal& refusal) {
    if (report_) report_->refusal = refusal;
    env_.err << fileRefusalLine(refusal, options_.file) << std::flush;
    return exitCodeOf(refusal);
}

// The upgrade's steps in their order: the power, the rights it needs, the drive held, the drive
// confirmed, the versions compared (the dry run ends here, before anything that changes the
// drive), the question, the download, its outcome. Each step that refuses has said why.
int Session::upgrade() {
    DeviceEntry& device = state_.currentDevice;
    if (report_) report_->outcome = "not_started";
    // A record that cannot be written is told before anything is sent.
    if (!openTheLogFile()) return kExitNoAccess;
    if (!checkThePower()) return kExitNoAccess;
    // The drive is the upgrade's from here to its end, every command through what is held: no
    // mount, no other holder, and no other drive under the same name.
    if (!system_.mayUpgrade(device, env_.err) || !holdTheDrive(device)) return kExitNoAccess;
    struct Release {
        CliSystem& system;
        const DeviceEntry& device;
        ~Release() { system.release(device); }
    } const release{system_, device};
    if (!confirmTheDrive(device)) return kExitNoAccess;
    char version[kFirmwareVersionSize];
    GetFirmwareVersion(transport_, device, version);
    if (report_) report_->upgrade.emplace().versionBefore = version;
    compareTheVersions(version);
    if (const std::optional<int> nothingToDo = refuseTheSameOrOlder()) return *nothingToDo;
    if (options_.dryRun) return tellTheDryRun(device);
    env_.signals.catchInterrupts();
    if (const std::optional<int> declined = askTheQuestion(device, version)) return *declined;
    // From here to the end of the upgrade no signal ends the program or a command of it.
    const HeldSignals heldSignals(env_.signals);
    if (interrupted()) {
        env_.err << "Interrupted before the upgrade began: nothing was committed.\n";
        system_.release(device);  // before a stop held back takes effect
        return kExitInterrupted;
    }
    digest_ = system_.sha256Of(options_.file);
    CliDialog dialog(env_.out, options_.quiet);
    const uint32_t started = env_.clock.tickCount();
    const Download download = runTheDownload(dialog);
    tellTheOutcome(download, dialog);
    waitSince(env_.clock, env_.clock.tickCount(), kUpgradePauseMs);
    tellFinishing();
    GetFirmwareVersion(transport_, device, version);
    // Shown before a stop held back during the upgrade takes effect.
    env_.out << "Firmware version: " << version << "\n" << std::flush;
    if (download.succeeded) tellWhetherTheFilesVersionRuns(version);
    if (report_) report_->text = dialog.status();
    if (report_) report_->upgrade->versionAfter = version;
    if (report_) report_->upgrade->versionMatches = versions_.versionMatches;
    if (report_) reportTheDownload(download, env_.clock.tickCount() - started);
    if (driveMayHaveChanged_) recordTheUpgrade(download, dialog.status(), version);
    system_.release(device);
    letSleep();
    if (download.stopped) return kExitInterrupted;
    if (download.succeeded) return kExitOk;
    return exitCodeOfFailedUpgrade(state_.download, driveMayHaveChanged_);
}

// One line in the system log, and with --log the same as a JSON line in its file: the drive,
// the file, how the upgrade ended and the version the drive reports now.
void Session::recordTheUpgrade(const Download& download, const std::string& message,
                               const std::string& versionAfter) {
    UpgradeRecord record;
    record.time = system_.secondsSinceEpoch();
    const DeviceEntry& device = state_.currentDevice;
    record.node = system_.nameOf(device);
    record.drive = system_.recordedName(device);
    record.product = withoutPadding(device.product);
    record.versionBefore = versions_.before;
    record.file = options_.file;
    record.sha256 = digest_;
    record.outcome = download.stopped ? "interrupted" : download.succeeded ? "succeeded" : "failed";
    record.message = download.stopped ? "Interrupted before the committing command" : message;
    record.versionAfter = versionAfter;
    system_.writeSystemLog(record.succeeded(), systemLogLine(record));
    if (options_.logFile.empty()) return;
    if (const int error = system_.appendToLog(logFileLine(record))) {
        env_.err << "drivewright: cannot append the upgrade's record to " << options_.logFile
                 << ": " << system_.errorText(error) << "\n";
    }
}

// --log's file, opened before the upgrade's checks so that one that cannot be written stops it
// before anything is sent; open until the program ends.
bool Session::openTheLogFile() {
    if (options_.logFile.empty()) return true;
    const int error = system_.openLog(options_.logFile);
    if (error == 0) return true;
    env_.err << "drivewright: cannot append the upgrade's record to " << options_.logFile << " ("
             << system_.errorText(error) << "); nothing was sent\n";
    return false;
}

// A drive cut off from its power in the middle of a download may not start again: on battery
// the upgrade goes on only with --force.
bool Session::checkThePower() {
    const std::optional<std::string> battery = system_.dischargingBattery();
    if (!battery) return true;
    if (options_.force) {
        env_.err << "drivewright: the machine runs on battery (" << *battery
                 << " discharging); going on, as --force asks\n";
        return true;
    }
    env_.err << "drivewright: the machine runs on battery (" << *battery
             << " discharging, no mains power online): a drive whose upgrade is cut off may not "
                "start again; connect the mains power, or add --force\n";
    return false;
}

// Taken before the question, so that a refusal never comes after a yes.
bool Session::holdTheDrive(DeviceEntry& device) { return system_.hold(device, env_.err); }

// From the first command that carries firmware to the end of the upgrade the system must not
// sleep: a drive cut off in the middle of a download may not start again.
void Session::keepAwake() {
    if (awake_) return;
    awake_ = true;
    const std::string why = system_.keepAwake();
    if (!options_.trace) return;
    if (progress_) progress_->finish();
    if (why.empty()) {
        env_.err << "trace: sleep inhibitor taken\n";
    } else {
        env_.err << "trace: no sleep inhibitor (" << why << ")\n";
    }
}

void Session::letSleep() {
    if (!awake_) return;
    awake_ = false;
    system_.letSleep();
    if (options_.trace) env_.err << "trace: sleep inhibitor released\n";
}

// Once the node is held, before anything is sent: the drive behind it is the one the scan found
// and the file was checked for.
bool Session::confirmTheDrive(DeviceEntry& device) {
    if (system_.heldIsTheScannedOne(device)) return true;
    env_.err << "The drive changed since the file was checked; nothing was sent.\n";
    return false;
}

void Session::compareTheVersions(const char* version) {
    versions_.before = version;
    versions_.file = fileVersion();
    versions_.order = compareVersions(versions_.file, versions_.before);
}

// Without a question (--yes, or a dry run) the same version or an older one is not sent again
// unless the options ask for it; a fleet can run the same upgrade again and again. Nothing when
// the upgrade goes on, else the exit code.
std::optional<int> Session::refuseTheSameOrOlder() {
    if (!options_.yes && !options_.dryRun) return std::nullopt;
    const VersionOrder order = versions_.order;
    if (order == VersionOrder::Same && !options_.allowReinstall) {
        env_.out << "The drive already runs " << versions_.before << "; nothing was sent.\n";
        env_.err << "drivewright: the file's version " << versions_.file
                 << " is the one the drive runs: --allow-reinstall upgrades it anyway\n";
        return kExitNothingDone;
    }
    if (order == VersionOrder::Older && !options_.allowOlder) {
        env_.out << "The drive already runs " << versions_.before << "; nothing was sent.\n";
        env_.err << "drivewright: the file's version " << versions_.file
                 << " is older than the drive's " << versions_.before
                 << ": --allow-older upgrades to it anyway\n";
        return kExitNothingDone;
    }
    return std::nullopt;
}

// The dry run ends where the upgrade would ask: every check passed, nothing that changes the
// drive sent.
int Session::tellTheDryRun(const DeviceEntry& device) {
    if (report_) report_->outcome = "would_upgrade";
    const char* order = versionOrderWord(versions_.order);
    env_.out << "Would upgrade " << system_.nameOf(device) << " (" << labelOf(device)
             << ") from firmware " << versions_.before << " to " << versions_.file;
    if (*order != '\0') env_.out << " (" << order << ")";
    env_.out << " with " << options_.file << "; nothing was sent.\n";
    return kExitOk;
}

// A drive that reports another version than the file's after a download that succeeded may run
// its old firmware still; worth a look, not a failure.
void Session::tellWhetherTheFilesVersionRuns(const char* version) {
    versions_.after = version;
    versions_.versionMatches = driveRunsTheFilesVersion(versions_.file, versions_.after);
    if (!versions_.versionMatches) return;
    if (*versions_.versionMatches) {
        if (!options_.quiet) {
            env_.err << "drivewright: the drive now runs the file's version, " << version << "\n";
        }
        return;
    }
    env_.err << "drivewright: warning: the drive reports firmware " << version
             << " after the upgrade, not the file's " << versions_.file << "\n";
}

// The file's version field where it is printable, "?" otherwise.
std::string Session::fileVersion() {
    std::ifstream file(state_.upgradeFilePath, std::ios::binary);
    file.seekg(kVersionOffset);
    char bytes[kVersionLength] = {};
    if (!file.read(bytes, kVersionLength)) return "?";
    for (char c : bytes) {
        if (c < 0x20 || c >= 0x7F) return "?";
    }
    return std::string(bytes, kVersionLength);
}

// Without --yes the user says yes at the controlling terminal, whatever the standard streams
// are redirected to; nothing when the upgrade goes on, else the exit code.
std::optional<int> Session::askTheQuestion(const DeviceEntry& device, const char* version) {
    if (options_.yes) return std::nullopt;
    if (const int error = env_.terminal.openControlling(); error != 0) {
        tellWhyNotAsked(error);
        return kExitUsage;
    }
    env_.terminal.show(theQuestion(device, version));
    const std::optional<bool> yes = readTheAnswer();
    env_.terminal.closeControlling();
    if (!yes) {
        env_.err << "Interrupted before the upgrade began: nothing was committed.\n";
        return kExitInterrupted;
    }
    if (!*yes) {
        env_.err << "Not upgraded.\n";
        return kExitNothingDone;
    }
    return std::nullopt;
}

// The drive's label without the blanks that pad it.
std::string Session::labelOf(const DeviceEntry& device) {
    const std::optional<std::string> label = listedLabelOf(device);
    return label ? withoutPadding(*label) : "";
}

// The label the list gave the drive of the same name (the last such), if the list has it.
std::optional<std::string> Session::listedLabelOf(const DeviceEntry& device) {
    const std::string name = system_.nameOf(device);
    std::optional<std::string> label;
    for (size_t i = 0; i < state_.deviceList.size(); ++i) {
        if (system_.nameOf(state_.deviceList.at(i)) == name) label = labels_[i];
    }
    return label;
}

// The drive by its node and its label, and the file, with whether its version is newer.
std::string Session::theQuestion(const DeviceEntry& device, const char* version) {
    const char* order = versionOrderWord(versions_.order);
    return "Upgrade " + system_.nameOf(device) + " (" + labelOf(device) + ", firmware " + version +
           ") with " + options_.file + " (version " + fileVersion() +
           (*order != '\0' ? std::string(", ") + order : std::string()) + ")? [y/N] ";
}

void Session::tellWhyNotAsked(int error) {
    env_.err << "drivewright: not upgrading without a yes: ";
    if (error != ENXIO) env_.err << "cannot open /dev/tty (" << std::strerror(error) << "); ";
    env_.err << "run it in a terminal, or add --yes\n";
}

// Whether the answer was yes; nothing when an interrupt ended the wait. An answer that did not
// end its line (the end of the input) has the line ended, so that what follows starts anew.
std::optional<bool> Session::readTheAnswer() {
    const std::optional<std::string> answer =
        interrupted() ? std::nullopt : env_.terminal.readLine();
    if (!answer || interrupted()) env_.terminal.show("\n");
    if (interrupted()) return std::nullopt;
    return answer && (*answer == "y" || *answer == "Y" || *answer == "yes" || *answer == "YES" ||
                      *answer == "Yes");
}

// The download itself. An interrupt keeps every later command from being sent until the
// committing one is on its way; from then on the upgrade is finished, wait included.
Session::Download Session::runTheDownload(CliDialog& dialog) {
    dialog.setStatusText("Upgrade in progress");
    dialog.refresh();
    Download download;
    transport_.commandGate = [&](const ScsiCommand& command) {
        if (committing_) {
            tellFinishing();
            return true;
        }
        if (interrupted()) {
            download.stopped = true;
            return false;
        }
        committing_ = IsCommittingCommand(command);
        if (committing_ && progress_) progress_->committing();
        if (carriesFirmware(command)) keepAwake();
        return true;
    };
    progress_ = makeProgress();
    SettleReportingClock settleClock(env_.clock, *progress_);
    NoticingClock clock(settleClock, [this] { tellFinishing(); });
    download.succeeded = RunUpgrade(state_, dialog, clock);
    tellFinishing();
    progress_->finish();
    progress_.reset();
    transport_.commandGate = nullptr;
    return download;
}

// The progress of the download as the procedure runs it: once, or for a drive that asks for a
// second pass after the first (it then runs the file's version), twice.
std::unique_ptr<Progress> Session::makeProgress() {
    ProgressPlan plan;
    const int procedure = state_.procedureIndex;
    plan.chunksPerPass = procedure >= 0 && procedure < 5 ? kChunksOfProcedure[procedure] : 1;
    plan.bytesPerPass = state_.validatedFile.length;
    const std::string version = fileVersion();
    if (procedure == 2 && version.size() == kVersionLength &&
        AsksForASecondPass(state_.currentDevice.product, version.c_str())) {
        plan.passes = 2;
    }
    const ProgressDisplay display = options_.quiet                    ? ProgressDisplay::None
                                    : env_.terminal.errorIsTerminal() ? ProgressDisplay::Redrawn
                                                                      : ProgressDisplay::Lines;
    const int width = progressWidth(env_.terminal.errorColumns(), env_.terminal.columnsVariable());
    chunksTotal_ = plan.chunksPerPass * plan.passes;
    std::ostream& err = progressErr_ != nullptr ? *progressErr_ : env_.err;
    return std::make_unique<Progress>(err, display, width, env_.clock, plan);
}

// The status line as the dialog has it, and on stderr what it cannot say.
void Session::tellTheOutcome(const Download& download, CliDialog& dialog) {
    if (download.stopped) {
        env_.out << "Interrupted before the committing command: nothing was committed, the "
                    "drive keeps its firmware.\n";
    } else {
        dialog.setStatusText(UpgradeOutcomeText(download.succeeded, state_, env_.strings));
        dialog.show();
    }
    if (download.succeeded) return;
    system_.tellWhyTheDownloadStopped(state_.currentDevice,
                                      state_.download.stop == DownloadStop::NotCompleted,
                                      state_.download.result, env_.err);
    if (!download.stopped && !driveMayHaveChanged_) {
        env_.err << "drivewright: the upgrade stopped before any command that changes the drive: "
                    "it keeps its firmware\n";
    }
}

// The drive as --json tells it: its nodes and names, its identification and where it sits.
DriveFacts Session::driveFacts(const DeviceEntry& entry, const std::string& label) {
    DriveFacts d;
    d.device = system_.nameOf(entry);
    system_.describe(entry, d);
    d.vendor = withoutPadding(entry.vendor);
    d.product = withoutPadding(entry.product);
    d.inquiryRevision = withoutPadding(entry.revision);
    char version[kFirmwareVersionSize];
    GetFirmwareVersion(transport_, entry, version);
    d.firmware = version;
    d.label = withoutPadding(label);
    d.bus = busKindName(entry.busKind);
    DeviceEntry identified = entry;
    ModelFamily row;
    if (IdentifyModel(transport_, identified, row)) d.modelRow = row.productId;
    d.takesUpgradeFiles = ModelIdentOffset(transport_, identified) != 0;
    if (d.takesUpgradeFiles) d.upgradeFileSizes = imageSizesFor(row);
    return d;
}

void Session::reportTheDrive(const DeviceEntry& entry) {
    if (const std::optional<std::string> label = listedLabelOf(entry)) {
        report_->drive = driveFacts(entry, *label);
    }
}

// The file as --json tells it; its size, digest and procedure where it can be read.
void Session::reportTheFile(const CliDialog& dialog, bool valid) {
    FileFacts file;
    file.path = options_.file;
    // The size as the validation measures it, and the digest of that many bytes read in
    // pieces: a file of any size (or a device node) is never read whole into memory.
    std::ifstream in(options_.file, std::ios::binary | std::ios::ate);
    const std::streamoff size = in ? static_cast<std::streamoff>(in.tellg()) : -1;
    if (size >= 0 && in.seekg(0)) {
        file.size = static_cast<uint64_t>(size);
        file.sha256 = system_.sha256Of(options_.file);
        static constexpr const char* kProcedureNames[] = {"128K", "256K", "512K", "960K", "1004K"};
        const int32_t procedure = procedureIndexForSize(*file.size);
        if (procedure >= 0) file.procedure = kProcedureNames[procedure];
    }
    if (file.size) {
        const std::string version = fileVersion();
        if (version != "?") file.version = version;
    }
    report_->file = file;
    report_->outcome = valid ? "valid" : "invalid";
    if (!dialog.status().empty()) report_->text = dialog.status();
}

// How the download ended, in the terms of the drive and of the kernel.
void Session::reportTheDownload(const Download& download, uint32_t milliseconds) {
    UpgradeFacts& u = *report_->upgrade;
    u.committed = committed_;
    u.chunksSent = chunksSent_;
    u.chunksTotal = chunksTotal_;
    u.milliseconds = milliseconds;
    report_->outcome = download.stopped     ? "interrupted"
                       : download.succeeded ? "succeeded"
                                            : "failed";
    if (download.stopped) {
        report_->text =
            "Interrupted before the committing command: nothing was committed, the "
            "drive keeps its firmware.";
        u.stop.emplace().reason = "interrupted";
        u.stop->chunk = state_.download.chunk;
        return;
    }
    if (download.succeeded) return;
    static constexpr const char* kStopReasons[] = {
        "none",          "drive_refused",   "not_sent",
        "not_completed", "file_unopenable", "file_unreadable",
        "file_shorter",  "file_changed",    "no_procedure",
        "drive_in_use",  "drive_took_part"};
    const DownloadRecord& record = state_.download;
    StopFacts stop;
    stop.reason = kStopReasons[static_cast<size_t>(record.stop)];
    stop.chunk = record.chunk;
    stop.committing = record.committing;
    if (record.stop == DownloadStop::DriveRefused) {
        if (failedStatus_) stop.scsiStatus = *failedStatus_;
        readSense(state_.currentDevice.sense, stop);
    }
    u.stop = stop;
}

int Session::run() {
    start();
    if (ended_) return *ended_;
    switch (options_.command) {
        case Command::List: return list();
        case Command::Check: return check(false);
        case Command::Upgrade: return check(true);
        default: return kExitUsage;
    }
}

// The command with everything it says on standard error, and on standard output its JSON
// document only.
int RunCommandForJson(const Options& options, Environment& environment) {
    JsonReport report(options.command);
    if (options.command == Command::Upgrade && !options.yes) {
        const std::string message = "with --json the upgrade asks no question: add --yes";
        environment.err << "drivewright: " << message << "\n";
        environment.out << usageErrorDocument(message) << std::flush;
        return kExitUsage;
    }
    LineRecorder outLines(environment.err);
    LineRecorder errLines(environment.err);
    std::ostream out(&outLines);
    std::ostream err(&errLines);
    Environment toStandardError{
        environment.system, environment.clock, environment.strings, environment.terminal, out, err,
        environment.signals};
    Session session(options, toStandardError);
    session.reportTo(report, environment.err);
    const int exitCode = session.run();
    out.flush();
    err.flush();
    if (exitCode != kExitOk && !errLines.lines().empty()) {
        const std::string& last = errLines.lines().back();
        const std::string prefix = "drivewright: ";
        report.reason = last.rfind(prefix, 0) == 0 ? last.substr(prefix.size()) : last;
    }
    std::vector<std::string> said = outLines.lines();
    said.insert(said.end(), errLines.lines().begin(), errLines.lines().end());
    environment.out << report.document(exitCode, said) << std::flush;
    return exitCode;
}

}  // namespace

std::string versionText() { return std::string("drivewright ") + DRIVEWRIGHT_VERSION; }

int RunCommand(const Options& options, Environment& environment) {
    if (options.command == Command::Help) {
        environment.out << helpText(environment.system.helpWords());
        return kExitOk;
    }
    if (options.command == Command::Version) {
        environment.out << versionText() << "\n";
        return kExitOk;
    }
    if (options.json) return RunCommandForJson(options, environment);
    Session session(options, environment);
    return session.run();
}

}  // namespace dw::cli
