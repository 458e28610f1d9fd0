// The command line's system on Linux.
#include "cli/linux_cli_system.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "cli/json_report.h"
#include "cli/kernel_rights.h"
#include "cli/power_supply.h"
#include "cli/reasons.h"
#include "cli/sha256.h"
#include "scsi/command_result.h"

namespace dw::cli {

namespace {

// Who holds the sleep inhibitor, and why, as logind lists them.
constexpr const char* kInhibitorWho = "drivewright";
constexpr const char* kInhibitorWhy = "firmware upgrade in progress";

void tellLeftOut(const ScanProblem& p, std::ostream& err) {
    err << "drivewright: " << p.path << " (SCSI address " << p.address.host << ":"
        << p.address.channel << ":" << p.address.target << ":" << p.address.lun
        << ") is left out: this program reaches drives on hosts up to " << kMaxScsiHost
        << " and channels up to " << kMaxScsiChannel << "\n";
}

}  // namespace

LinuxCliSystem::~LinuxCliSystem() {
    releaseTheInhibitor();
    if (logFile_ >= 0) linuxApi_.closeLogFile(logFile_);
}

std::optional<int> LinuxCliSystem::findDrives(const std::string& named, bool trace,
                                              std::ostream& err) {
    trace_ = trace;
    transport_.sgIoTrace = [this, &err](const SgIoTrace& t) { traceCommand(t, err); };
    // With a name nothing is sent to the other drives, one of which may be writing a disc.
    problems_ = SysfsScan(transport_, linuxApi_, named);
    for (const ScanProblem& p : problems_) {
        if (p.beyondRange) {
            tellLeftOut(p, err);
        } else if (p.deviceNode) {
            tellAccessProblem(p.path, p.error, err);
        } else if (trace) {
            err << "trace: cannot read " << p.path << ": " << std::strerror(p.error) << "\n";
        }
    }
    return std::nullopt;
}

bool LinuxCliSystem::aDriveCouldNotBeOpened() const {
    return std::any_of(problems_.begin(), problems_.end(),
                       [](const ScanProblem& p) { return p.deviceNode; });
}

std::string LinuxCliSystem::nameOf(const DeviceEntry& entry) {
    const SgIoDevice* node = transport_.sgIoDeviceOf(entry);
    return node != nullptr ? node->node : std::string();
}

std::string LinuxCliSystem::blockOf(const DeviceEntry& entry) {
    const SgIoDevice* node = transport_.sgIoDeviceOf(entry);
    return node != nullptr && !node->blockName.empty() ? "/dev/" + node->blockName : "";
}

// A name of the drive's sg or sr node (the node itself, a chain of links, a udev name such as
// /dev/disk/by-id/... or /dev/cdrom): of the same kind and device number as sysfs gave it.
bool LinuxCliSystem::names(const std::string& name, const DeviceEntry& entry) {
    const SgIoDevice* node = transport_.sgIoDeviceOf(entry);
    if (node == nullptr) return false;
    return nodeNamed(*node, linuxApi_.statNode(name), name) != NamedNode::None;
}

void LinuxCliSystem::describe(const DeviceEntry& entry, DriveFacts& d) {
    const SgIoDevice* node = transport_.sgIoDeviceOf(entry);
    if (node == nullptr) return;
    if (node->throughGenericNode()) d.sg = node->node;
    if (!node->blockName.empty()) d.sr = "/dev/" + node->blockName;
    d.stableName = stableNameOf(linuxApi_, *node);
    d.host = node->host;
    d.channel = node->channel;
    d.target = node->target;
    d.lun = node->lun;
}

void LinuxCliSystem::tellAccessProblem(const std::string& node, int error, std::ostream& err) {
    if (error == EACCES || error == EPERM || error == EROFS) {
        err << "drivewright: cannot open " << node << " for reading and writing ("
            << std::strerror(error) << "): run as root, or get read and write access to " << node
            << " (for example as a member of the group that owns it)\n";
    } else if (error == EBUSY) {
        err << "drivewright: " << node
            << " is in use by another program: close it (or unmount the disc) and try again\n";
    } else {
        err << "drivewright: cannot open " << node << ": " << std::strerror(error) << "\n";
    }
}

// Through an sg node opened for writing every command passes; through a block node the
// upgrade's commands need CAP_SYS_RAWIO.
bool LinuxCliSystem::mayUpgrade(const DeviceEntry& entry, std::ostream& err) {
    const SgIoDevice* node = transport_.sgIoDeviceOf(entry);
    if (node == nullptr || node->throughGenericNode()) return true;
    const LinuxApi::TextResult status = linuxApi_.readTextFile("/proc/self/status");
    rawio_ = status.ok ? hasEffectiveCapability(status.text, kCapSysRawio) : std::nullopt;
    if (kernelPassesUpgradeCommands(false, rawio_)) return true;
    err << "drivewright: through " << node->node
        << " the kernel passes the upgrade's commands (WRITE BUFFER and the maker's vendor "
           "commands) only to a program with CAP_SYS_RAWIO: run it as root, or load the sg "
           "module and use /dev/sgN with write access\n";
    return false;
}

bool LinuxCliSystem::hold(const DeviceEntry& entry, std::ostream& err) {
    const ScsiTransport::DeviceHold held = transport_.holdDeviceExclusively(entry);
    if (held.error == 0) return true;
    if (held.error == EBUSY && held.path == blockOf(entry)) {
        tellWhoHoldsTheBlockNode(held.path, err);
    } else {
        tellAccessProblem(held.path, held.error, err);
    }
    return false;
}

// A block node's claim is refused while a file system holds it, here or in another mount
// namespace (whose mounts this one's table does not list), or while another program holds it.
void LinuxCliSystem::tellWhoHoldsTheBlockNode(const std::string& block, std::ostream& err) {
    const LinuxApi::TextResult mounts = linuxApi_.readTextFile("/proc/self/mounts");
    const auto points = mounts.ok ? mountPointsOf(mounts.text, block) : std::vector<std::string>();
    if (!points.empty()) {
        err << "drivewright: the disc in " << block << " is mounted on " << points[0]
            << ": unmount it first (umount " << points[0] << ")\n";
        return;
    }
    err << "drivewright: " << block
        << " is held by another program, or its disc is mounted in another mount namespace: "
           "close that program (or unmount the disc there) and try again\n";
}

bool LinuxCliSystem::heldIsTheScannedOne(DeviceEntry& entry) {
    return transport_.heldDriveIsTheScannedOne(entry);
}

void LinuxCliSystem::release(const DeviceEntry& entry) { transport_.closeDriveHandle(entry); }

std::optional<std::string> LinuxCliSystem::dischargingBattery() {
    const std::vector<PowerSupplyReading> supplies = readPowerSupplies(linuxApi_);
    if (!runsOnBattery(supplies)) return std::nullopt;
    return cli::dischargingBattery(supplies);
}

std::string LinuxCliSystem::keepAwake() {
    if (sleepInhibitor_ >= 0) return "";
    const LinuxApi::InhibitResult inhibitor = linuxApi_.inhibitSleep(kInhibitorWho, kInhibitorWhy);
    sleepInhibitor_ = inhibitor.fd;
    return inhibitor.fd >= 0 ? "" : inhibitor.error;
}

void LinuxCliSystem::letSleep() { releaseTheInhibitor(); }

void LinuxCliSystem::releaseTheInhibitor() {
    if (sleepInhibitor_ < 0) return;
    linuxApi_.allowSleep(sleepInhibitor_);
    sleepInhibitor_ = -1;
}

std::string LinuxCliSystem::sha256Of(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    const std::streamoff size = in ? static_cast<std::streamoff>(in.tellg()) : -1;
    if (size < 0 || !in.seekg(0)) return "";
    return sha256Hex(in, static_cast<uint64_t>(size));
}

int LinuxCliSystem::openLog(const std::string& path) {
    const LinuxApi::OpenResult opened = linuxApi_.openLogFile(path);
    if (opened.fd < 0) return opened.error != 0 ? opened.error : EIO;
    logFile_ = opened.fd;
    return 0;
}

int LinuxCliSystem::appendToLog(const std::string& line) {
    return logFile_ < 0 ? EBADF : linuxApi_.appendToLogFile(logFile_, line);
}

void LinuxCliSystem::writeSystemLog(bool succeeded, const std::string& line) {
    linuxApi_.writeSystemLog(succeeded ? LinuxApi::LogPriority::Notice
                                       : LinuxApi::LogPriority::Error,
                             line);
}

std::string LinuxCliSystem::recordedName(const DeviceEntry& entry) {
    const SgIoDevice* node = transport_.sgIoDeviceOf(entry);
    const std::string stable = node != nullptr ? stableNameOf(linuxApi_, *node) : "";
    return stable.empty() ? nameOf(entry) : stable;
}

std::string LinuxCliSystem::errorText(int error) { return std::strerror(error); }

void LinuxCliSystem::traceCommand(const SgIoTrace& t, std::ostream& err) {
    if (!refused_ && (t.outcome.error == EPERM || t.outcome.error == EACCES)) {
        refused_ = std::make_pair(t.command->cdb[0], t.outcome.error);
    }
    if (didNotComplete(t.result)) incomplete_ = std::make_pair(t.command->cdb[0], t.outcome);
    if (!trace_) return;
    const char* direction = t.direction == DataDirection::Out  ? "out"
                            : t.direction == DataDirection::In ? "in"
                                                               : "none";
    char tail[160];
    std::snprintf(tail, sizeof tail,
                  " %s=%u -> result=%d errno=%d status=%02X host=%04X driver=%04X", direction,
                  static_cast<unsigned>(t.command->dataLength), static_cast<int>(t.result),
                  t.outcome.error, t.outcome.status, t.outcome.hostStatus, t.outcome.driverStatus);
    beforeTraceLine();
    err << "trace: " << t.device->node << " cdb=" << hexBytes(t.command->cdb.data(), t.cdbLength)
        << tail;
    // The sense data as far as the kernel wrote it.
    if (t.result != 1 && t.outcome.reachedDrive() && t.outcome.senseWritten > 0) {
        err << " sense=" << hexBytes(t.sense, t.outcome.senseWritten);
    }
    err << " resid=" << t.outcome.residual
        << " sb_len_wr=" << static_cast<unsigned>(t.outcome.senseWritten) << "\n";
}

// Through a block node the command filter passes vendor and download commands only with
// CAP_SYS_RAWIO; an sg node opened for writing has no filter: there, or with the right, a
// security policy refused it. The status line's error number of a command that did not complete
// is an errno, a host status or a driver status: say which.
void LinuxCliSystem::tellWhyTheDownloadStopped(const DeviceEntry& entry, bool commandDidNotComplete,
                                               int32_t result, std::ostream& err) {
    if (refused_) {
        char opcode[8];
        std::snprintf(opcode, sizeof opcode, "%02Xh", refused_->first);
        const SgIoDevice* through = transport_.sgIoDeviceOf(entry);
        const bool filtered =
            through != nullptr && !through->throughGenericNode() && rawio_ != true;
        err << "drivewright: the system refused command " << opcode << " on " << nameOf(entry)
            << " (" << std::strerror(refused_->second) << ")"
            << (filtered ? ": run it as root, or load the sg module and use /dev/sgN with write "
                           "access\n"
                         : ": the kernel itself passes it, so a security policy (SELinux, "
                           "AppArmor) refused it\n");
    }
    if (!commandDidNotComplete || !incomplete_) return;
    const SgIoOutcome& o = incomplete_->second;
    const uint32_t code = incompleteCode(result);
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
    err << "drivewright: command " << opcode << " on " << nameOf(entry)
        << " did not complete (error " << code << ": " << what << ")\n";
}

}  // namespace dw::cli
