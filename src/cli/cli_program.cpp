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
#include "cli/kernel_rights.h"
#include "cli/power_supply.h"
#include "cli/progress.h"
#include "cli/reasons.h"
#include "cli/version_order.h"
#include "cli/sha256.h"
#include "cli/upgrade_record.h"
#include "discovery/sysfs_scan.h"
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
// Who holds the sleep inhibitor, and why, as logind lists them.
constexpr const char* kInhibitorWho = "drivewright";
constexpr const char* kInhibitorWhy = "firmware upgrade in progress";
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

std::string hexBytes(const uint8_t* bytes, size_t count) {
    std::string text;
    char b[4];
    for (size_t i = 0; i < count; ++i) {
        std::snprintf(b, sizeof b, i ? " %02X" : "%02X", bytes[i]);
        text += b;
    }
    return text;
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

// Closes what an upgrade holds of the drive, on every way out of it.
struct HeldDrive {
    ScsiTransport& transport;
    const DeviceEntry& device;
    ~HeldDrive() { transport.closeDriveHandle(device); }
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
        : options_(options), env_(env), transport_(env.linuxApi) {
        state_.transport = &transport_;
    }

    ~Session() { closeTheLogFile(); }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    int run();
    // --json: the facts go into `report`, and the progress to `progressErr` (standard error),
    // past the lines the report keeps.
    void reportTo(JsonReport& report, std::ostream& progressErr) {
        report_ = &report;
        progressErr_ = &progressErr;
    }

private:
    void start();
    int list();
    int check(bool forUpgrade);
    int tellTheRefusal(const FileRefusal& refusal);
    bool nodeCouldNotBeOpened() const;
    int upgrade();
    struct Download {
        bool succeeded = false;
        bool stopped = false;  // an interrupt stopped it before the committing command
    };
    bool confirmTheDrive(DeviceEntry& device);
    bool checkThePower();
    void compareTheVersions(const char* version);
    std::optional<int> refuseTheSameOrOlder();
    int tellTheDryRun(const DeviceEntry& device);
    void tellWhetherTheFilesVersionRuns(const char* version);
    std::string labelOf(const DeviceEntry& device);
    std::string fileVersion();
    std::optional<int> askTheQuestion(const DeviceEntry& device, const char* version);
    std::string theQuestion(const DeviceEntry& device, const char* version);
    void tellWhyNotAsked(int error);
    std::optional<bool> readTheAnswer();
    Download runTheDownload(CliDialog& dialog);
    std::unique_ptr<Progress> makeProgress();
    void tellTheOutcome(const Download& download, CliDialog& dialog);
    void tellWhyTheSystemRefused();
    void tellWhatDidNotComplete();
    // The index of the drive the options name, or nothing with `exitCode` set and the reason told.
    std::optional<size_t> chooseDrive(int& exitCode);
    std::string nodeOf(const DeviceEntry& entry);
    std::string blockOf(const DeviceEntry& entry);
    void tellAccessProblem(const std::string& node, int error);
    bool kernelWillPassTheUpgrade(const DeviceEntry& device);
    bool holdTheDrive(const DeviceEntry& device);
    void tellWhoHoldsTheBlockNode(const std::string& block);
    void tellLeftOut(const ScanProblem& problem);
    std::optional<std::string> scannedNodeNamed(const std::string& name);
    void traceCommand(const SgIoTrace& trace);
    bool interrupted() { return env_.signals.interruption() != nullptr; }
    // Once the committing command is on its way, an interrupt no longer stops the upgrade: the
    // user is told so, once.
    void tellFinishing();
    void inhibitSleep();
    void allowSleep();
    // --json: what the document tells.
    DriveFacts driveFacts(const DeviceEntry& entry, const std::string& label);
    void reportTheDrive(const DeviceEntry& entry);
    void reportTheFile(const CliDialog& dialog, bool valid);
    void reportTheDownload(const Download& download, uint32_t milliseconds);
    // The record of an upgrade that sent the drive a command that changes it.
    bool openTheLogFile();
    void closeTheLogFile();
    std::string fileDigest();
    void recordTheUpgrade(const Download& download, const std::string& message,
                          const std::string& versionAfter);

    const Options& options_;
    Environment& env_;
    ScsiTransport transport_;
    UpgradeState state_;
    VersionReport versions_;
    std::vector<std::string> labels_;
    std::vector<ScanProblem> problems_;
    std::unique_ptr<Progress> progress_;
    // The first command the kernel refused to pass on (EPERM, EACCES), to say why afterwards.
    std::optional<std::pair<uint8_t, int>> refused_;
    // Whether the program has CAP_SYS_RAWIO, where an upgrade through a block node asked.
    std::optional<bool> rawio_;
    // The last command that did not complete, to say what its error number is.
    std::optional<std::pair<uint8_t, SgIoOutcome>> incomplete_;
    bool committing_ = false;
    // A command that may have changed the drive went out: a failure from then on is exit 1.
    bool driveMayHaveChanged_ = false;
    bool toldFinishing_ = false;
    bool inhibitorAsked_ = false;
    int sleepInhibitor_ = -1;
    JsonReport* report_ = nullptr;
    std::ostream* progressErr_ = nullptr;
    uint32_t chunksSent_ = 0;   // commands that carry firmware, answered GOOD
    uint32_t chunksTotal_ = 0;  // of the download's plan, every pass
    bool committed_ = false;    // the committing command was answered GOOD
    uint8_t failedStatus_ = 0;  // the SCSI status of the last command a drive refused
    int logFile_ = -1;          // --log's file, open from before the upgrade's first check
    std::string digest_;        // the SHA-256 of the file checked, for the record
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

// From the first command that carries firmware to the end of the upgrade the system must not
// sleep: a drive cut off in the middle of a download may not start again.
void Session::inhibitSleep() {
    if (inhibitorAsked_) return;
    inhibitorAsked_ = true;
    const LinuxApi::InhibitResult inhibitor =
        env_.linuxApi.inhibitSleep(kInhibitorWho, kInhibitorWhy);
    sleepInhibitor_ = inhibitor.fd;
    if (!options_.trace) return;
    if (progress_) progress_->finish();
    if (inhibitor.fd >= 0) {
        env_.err << "trace: sleep inhibitor taken\n";
    } else {
        env_.err << "trace: no sleep inhibitor (" << inhibitor.error << ")\n";
    }
}

void Session::allowSleep() {
    if (sleepInhibitor_ < 0) return;
    env_.linuxApi.allowSleep(sleepInhibitor_);
    sleepInhibitor_ = -1;
    if (options_.trace) env_.err << "trace: sleep inhibitor released\n";
}

void Session::tellAccessProblem(const std::string& node, int error) {
    if (error == EACCES || error == EPERM || error == EROFS) {
        env_.err << "drivewright: cannot open " << node << " for reading and writing ("
                 << std::strerror(error) << "): run as root, or get read and write access to "
                 << node << " (for example as a member of the group that owns it)\n";
    } else if (error == EBUSY) {
        env_.err << "drivewright: " << node
                 << " is in use by another program: close it (or unmount the disc) and try "
                    "again\n";
    } else {
        env_.err << "drivewright: cannot open " << node << ": " << std::strerror(error) << "\n";
    }
}

// Decided before the question: an upgrade through a block node needs CAP_SYS_RAWIO.
bool Session::kernelWillPassTheUpgrade(const DeviceEntry& device) {
    const SgIoDevice* node = transport_.sgIoDeviceOf(device);
    if (node == nullptr || node->throughGenericNode()) return true;
    const LinuxApi::TextResult status = env_.linuxApi.readTextFile("/proc/self/status");
    rawio_ = status.ok ? hasEffectiveCapability(status.text, kCapSysRawio) : std::nullopt;
    if (kernelPassesUpgradeCommands(false, rawio_)) return true;
    env_.err << "drivewright: through " << node->node
             << " the kernel passes the upgrade's commands (WRITE BUFFER and the maker's vendor "
                "commands) only to a program with CAP_SYS_RAWIO: run it as root, or load the sg "
                "module and use /dev/sgN with write access\n";
    return false;
}

// Taken before the question, so that a refusal never comes after a yes.
bool Session::holdTheDrive(const DeviceEntry& device) {
    const ScsiTransport::DeviceHold hold = transport_.holdDeviceExclusively(device);
    if (hold.error == 0) return true;
    if (hold.error == EBUSY && hold.path == blockOf(device)) {
        tellWhoHoldsTheBlockNode(hold.path);
    } else {
        tellAccessProblem(hold.path, hold.error);
    }
    return false;
}

// A block node's claim is refused while a file system holds it, here or in another mount
// namespace (whose mounts this one's table does not list), or while another program holds it.
void Session::tellWhoHoldsTheBlockNode(const std::string& block) {
    const LinuxApi::TextResult mounts = env_.linuxApi.readTextFile("/proc/self/mounts");
    const auto points = mounts.ok ? mountPointsOf(mounts.text, block) : std::vector<std::string>();
    if (!points.empty()) {
        env_.err << "drivewright: the disc in " << block << " is mounted on " << points[0]
                 << ": unmount it first (umount " << points[0] << ")\n";
        return;
    }
    env_.err << "drivewright: " << block
             << " is held by another program, or its disc is mounted in another mount "
                "namespace: close that program (or unmount the disc there) and try again\n";
}

void Session::tellLeftOut(const ScanProblem& p) {
    env_.err << "drivewright: " << p.path << " (SCSI address " << p.address.host << ":"
             << p.address.channel << ":" << p.address.target << ":" << p.address.lun
             << ") is left out: this program reaches drives on hosts up to " << kMaxScsiHost
             << " and channels up to " << kMaxScsiChannel << "\n";
}

void Session::traceCommand(const SgIoTrace& t) {
    if (progress_) {
        progress_->commandSent(*t.command, t.result == 1);
    }
    if (!refused_ && (t.outcome.error == EPERM || t.outcome.error == EACCES)) {
        refused_ = std::make_pair(t.command->cdb[0], t.outcome.error);
    }
    if (didNotComplete(t.result)) incomplete_ = std::make_pair(t.command->cdb[0], t.outcome);
    if (MayHaveChangedTheDrive(*t.command, t.result)) driveMayHaveChanged_ = true;
    if (t.result == 1 && carriesFirmware(*t.command)) ++chunksSent_;
    if (t.result == 1 && IsCommittingCommand(*t.command)) committed_ = true;
    if (t.result != 1 && t.outcome.reachedDrive()) failedStatus_ = t.outcome.status;
    if (!options_.trace) return;
    const char* direction = t.direction == DataDirection::Out  ? "out"
                            : t.direction == DataDirection::In ? "in"
                                                               : "none";
    char tail[160];
    std::snprintf(tail, sizeof tail,
                  " %s=%u -> result=%d errno=%d status=%02X host=%04X driver=%04X", direction,
                  static_cast<unsigned>(t.command->dataLength), static_cast<int>(t.result),
                  t.outcome.error, t.outcome.status, t.outcome.hostStatus, t.outcome.driverStatus);
    if (progress_) progress_->finish();
    env_.err << "trace: " << t.device->node
             << " cdb=" << hexBytes(t.command->cdb.data(), t.cdbLength) << tail;
    // The sense data as far as the kernel wrote it.
    if (t.result != 1 && t.outcome.reachedDrive() && t.outcome.senseWritten > 0) {
        env_.err << " sense=" << hexBytes(t.sense, t.outcome.senseWritten);
    }
    env_.err << " resid=" << t.outcome.residual
             << " sb_len_wr=" << static_cast<unsigned>(t.outcome.senseWritten) << "\n";
}

void Session::start() {
    transport_.sgIoTrace = [this](const SgIoTrace& t) { traceCommand(t); };
    // With --device nothing is sent to the other drives, one of which may be writing a disc.
    problems_ = SysfsScan(transport_, env_.linuxApi, options_.device);
    for (const ScanProblem& p : problems_) {
        if (p.beyondRange) {
            tellLeftOut(p);
        } else if (p.deviceNode) {
            tellAccessProblem(p.path, p.error);
        } else if (options_.trace) {
            env_.err << "trace: cannot read " << p.path << ": " << std::strerror(p.error) << "\n";
        }
    }
    if (transport_.kind == TransportKind::None) return;
    ProbeInterfaces(transport_);
    FillDeviceList(transport_, state_.deviceList,
                   [this](const std::string& label) { labels_.push_back(label); });
}

// The node the scan found for a name of the drive's sg or sr node (the node itself, a chain of
// links, a udev name such as /dev/disk/by-id/... or /dev/cdrom): the one of the same kind and
// device number, as sysfs gave it. Only a node whose number sysfs did not give is told by its
// name.
std::optional<std::string> Session::scannedNodeNamed(const std::string& name) {
    const LinuxApi::NodeResult named = env_.linuxApi.statNode(name);
    for (const SgIoDevice& d : transport_.sgIoDevices) {
        if (nodeNamed(d, named, name) != NamedNode::None) return d.node;
    }
    return std::nullopt;
}

std::string Session::nodeOf(const DeviceEntry& entry) {
    const SgIoDevice* node = transport_.sgIoDeviceOf(entry);
    return node != nullptr ? node->node : std::string();
}

std::string Session::blockOf(const DeviceEntry& entry) {
    const SgIoDevice* node = transport_.sgIoDeviceOf(entry);
    return node != nullptr && !node->blockName.empty() ? "/dev/" + node->blockName : "";
}

// The drives found; a drive that is busy or that this user may not open was named on stderr
// with what is needed, and is never "no KORVANE drive found".
int Session::list() {
    for (size_t i = 0; i < state_.deviceList.size(); ++i) {
        const DeviceEntry& entry = state_.deviceList.at(i);
        char version[kFirmwareVersionSize];
        GetFirmwareVersion(transport_, entry, version);
        if (report_) report_->drives.push_back(driveFacts(entry, labels_[i]));
        env_.out << nodeOf(entry) << "  \"" << labels_[i] << "\"  " << busKindName(entry.busKind)
                 << "  " << version << "\n";
    }
    if (nodeCouldNotBeOpened()) return kExitNoAccess;
    if (!state_.deviceList.empty()) return kExitOk;
    env_.out << "no KORVANE drive found\n";
    return kExitNoDrive;
}

bool Session::nodeCouldNotBeOpened() const {
    return std::any_of(problems_.begin(), problems_.end(),
                       [](const ScanProblem& p) { return p.deviceNode; });
}

std::optional<size_t> Session::chooseDrive(int& exitCode) {
    const DeviceList& drives = state_.deviceList;
    if (options_.device.empty()) {
        if (drives.size() == 1) return 0;
        if (drives.empty() && nodeCouldNotBeOpened()) {
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
    const std::optional<std::string> wanted = scannedNodeNamed(options_.device);
    for (size_t i = 0; wanted && i < drives.size(); ++i) {
        if (nodeOf(drives.at(i)) == *wanted) return i;
    }
    // The scan was limited to the drive named: a node of it that could not be opened was told.
    exitCode = kExitNoAccess;
    if (wanted && nodeCouldNotBeOpened()) return std::nullopt;
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
    // The drive is the upgrade's from here to its end, every command through the node held: no
    // mount, no other holder, and no other drive under the same name.
    if (!kernelWillPassTheUpgrade(device) || !holdTheDrive(device)) return kExitNoAccess;
    const HeldDrive heldDrive{transport_, device};
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
        transport_.closeDriveHandle(device);  // before a stop held back takes effect
        return kExitInterrupted;
    }
    digest_ = fileDigest();
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
    transport_.closeDriveHandle(device);
    allowSleep();
    if (download.stopped) return kExitInterrupted;
    if (download.succeeded) return kExitOk;
    return exitCodeOfFailedUpgrade(state_.download, driveMayHaveChanged_);
}

// --log's file, opened before the upgrade's checks so that one that cannot be written stops it
// before anything is sent; open until the program ends.
bool Session::openTheLogFile() {
    if (options_.logFile.empty()) return true;
    const LinuxApi::OpenResult opened = env_.linuxApi.openLogFile(options_.logFile);
    if (opened.fd < 0) {
        env_.err << "drivewright: cannot append the upgrade's record to " << options_.logFile
                 << " (" << std::strerror(opened.error) << "); nothing was sent\n";
        return false;
    }
    logFile_ = opened.fd;
    return true;
}

void Session::closeTheLogFile() {
    if (logFile_ >= 0) env_.linuxApi.closeLogFile(logFile_);
    logFile_ = -1;
}

// The SHA-256 of the file as the validation measured it, read in pieces; empty where it cannot
// be read.
std::string Session::fileDigest() {
    std::ifstream in(options_.file, std::ios::binary | std::ios::ate);
    const std::streamoff size = in ? static_cast<std::streamoff>(in.tellg()) : -1;
    if (size < 0 || !in.seekg(0)) return "";
    return sha256Hex(in, static_cast<uint64_t>(size));
}

// One line in the system log, and with --log the same as a JSON line in its file: the drive,
// the file, how the upgrade ended and the version the drive reports now.
void Session::recordTheUpgrade(const Download& download, const std::string& message,
                               const std::string& versionAfter) {
    UpgradeRecord record;
    record.time = env_.linuxApi.secondsSinceEpoch();
    const DeviceEntry& device = state_.currentDevice;
    record.node = nodeOf(device);
    const SgIoDevice* node = transport_.sgIoDeviceOf(device);
    record.drive = node != nullptr ? stableNameOf(env_.linuxApi, *node) : "";
    if (record.drive.empty()) record.drive = record.node;
    record.product = withoutPadding(device.product);
    record.versionBefore = versions_.before;
    record.file = options_.file;
    record.sha256 = digest_;
    record.outcome = download.stopped ? "interrupted" : download.succeeded ? "succeeded" : "failed";
    record.message = download.stopped ? "Interrupted before the committing command" : message;
    record.versionAfter = versionAfter;
    env_.linuxApi.writeSystemLog(record.succeeded() ? LinuxApi::LogPriority::Notice
                                                    : LinuxApi::LogPriority::Error,
                                 systemLogLine(record));
    if (logFile_ < 0) return;
    if (const int error = env_.linuxApi.appendToLogFile(logFile_, logFileLine(record))) {
        env_.err << "drivewright: cannot append the upgrade's record to " << options_.logFile
                 << ": " << std::strerror(error) << "\n";
    }
}

// Once the node is held, before anything is sent: the drive behind it is the one the scan found
// and the file was checked for.
bool Session::confirmTheDrive(DeviceEntry& device) {
    if (transport_.heldDriveIsTheScannedOne(device)) return true;
    env_.err << "The drive changed since the file was checked; nothing was sent.\n";
    return false;
}

// A drive cut off from its power in the middle of a download may not start again: on battery
// the upgrade goes on only with --force.
bool Session::checkThePower() {
    const std::vector<PowerSupplyReading> supplies = readPowerSupplies(env_.linuxApi);
    if (!runsOnBattery(supplies)) return true;
    const std::string battery = dischargingBattery(supplies);
    if (options_.force) {
        env_.err << "drivewright: the machine runs on battery (" << battery
                 << " discharging); going on, as --force asks\n";
        return true;
    }
    env_.err << "drivewright: the machine runs on battery (" << battery
             << " discharging, no mains power online): a drive whose upgrade is cut off may not "
                "start again; connect the mains power, or add --force\n";
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
    const char* order = versionOrderWord(versions_.order);
    env_.out << "Would upgrade " << nodeOf(device) << " (" << labelOf(device) << ") from firmware "
             << versions_.before << " to " << versions_.file;
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
    const std::string node = nodeOf(device);
    std::string label;
    for (size_t i = 0; i < state_.deviceList.size(); ++i) {
        if (nodeOf(state_.deviceList.at(i)) == node) label = labels_[i];
    }
    label.erase(0, label.find_first_not_of(' '));
    label.erase(label.find_last_not_of(' ') + 1);
    return label;
}

// The drive by its node and its label, and the file, with whether its version is newer.
std::string Session::theQuestion(const DeviceEntry& device, const char* version) {
    const char* order = versionOrderWord(versions_.order);
    return "Upgrade " + nodeOf(device) + " (" + labelOf(device) + ", firmware " + version +
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
    transport_.sgIoGate = [&](const ScsiCommand& command) {
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
        if (carriesFirmware(command)) inhibitSleep();
        return true;
    };
    progress_ = makeProgress();
    SettleReportingClock settleClock(env_.clock, *progress_);
    NoticingClock clock(settleClock, [this] { tellFinishing(); });
    download.succeeded = RunUpgrade(state_, dialog, clock);
    tellFinishing();
    progress_->finish();
    progress_.reset();
    transport_.sgIoGate = nullptr;
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
    if (refused_) tellWhyTheSystemRefused();
    if (state_.download.stop == DownloadStop::NotCompleted && incomplete_) tellWhatDidNotComplete();
    if (!download.stopped && !driveMayHaveChanged_) {
        env_.err << "drivewright: the upgrade stopped before any command that changes the drive: "
                    "it keeps its firmware\n";
    }
}

// Through a block node the command filter passes vendor and download commands only with
// CAP_SYS_RAWIO; an sg node opened for writing has no filter: there, or with the right, a
// security policy refused it.
void Session::tellWhyTheSystemRefused() {
    char opcode[8];
    std::snprintf(opcode, sizeof opcode, "%02Xh", refused_->first);
    const SgIoDevice* through = transport_.sgIoDeviceOf(state_.currentDevice);
    const bool filtered = through != nullptr && !through->throughGenericNode() && rawio_ != true;
    env_.err << "drivewright: the system refused command " << opcode << " on "
             << nodeOf(state_.currentDevice) << " (" << std::strerror(refused_->second) << ")"
             << (filtered ? ": run it as root, or load the sg module and use /dev/sgN with "
                            "write access\n"
                          : ": the kernel itself passes it, so a security policy (SELinux, "
                            "AppArmor) refused it\n");
}

// The status line's error number of a command that did not complete is an errno, a host status
// or a driver status: say which.
void Session::tellWhatDidNotComplete() {
    const SgIoOutcome& o = incomplete_->second;
    const uint32_t code = incompleteCode(state_.download.result);
    char what[96];
    if (o.error != 0) {
        std::snprintf(what, sizeof what, "%s", std::strerror(static_cast<int>(code)));
    } else if (o.hostStatus != 0) {
        std::snprintf(what, sizeof what, "host status %02Xh", o.hostStatus);
    } else {
        std::snprintf(what, sizeof what, "driver status %02Xh", o.driverStatus);
    }
    char opcode[8];
    std::snprintf(opcode, sizeof opcode, "%02Xh", incomplete_->first);
    env_.err << "drivewright: command " << opcode << " on " << nodeOf(state_.currentDevice)
             << " did not complete (error " << code << ": " << what << ")\n";
}

// The drive as --json tells it: its nodes and names, its identification and where it sits.
DriveFacts Session::driveFacts(const DeviceEntry& entry, const std::string& label) {
    DriveFacts d;
    if (const SgIoDevice* node = transport_.sgIoDeviceOf(entry)) {
        if (node->throughGenericNode()) d.sg = node->node;
        if (!node->blockName.empty()) d.sr = "/dev/" + node->blockName;
        d.stableName = stableNameOf(env_.linuxApi, *node);
        d.host = node->host;
        d.channel = node->channel;
        d.target = node->target;
        d.lun = node->lun;
    }
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
    const std::string node = nodeOf(entry);
    for (size_t i = 0; i < state_.deviceList.size(); ++i) {
        if (nodeOf(state_.deviceList.at(i)) == node) {
            report_->drive = driveFacts(entry, labels_[i]);
        }
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
        file.sha256 = sha256Hex(in, *file.size);
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
        stop.scsiStatus = failedStatus_;
        readSense(state_.currentDevice.sense, stop);
    }
    u.stop = stop;
}

int Session::run() {
    start();
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
    Environment toStandardError{environment.linuxApi,
                                environment.clock,
                                environment.strings,
                                environment.terminal,
                                out,
                                err,
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
        environment.out << helpText();
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
