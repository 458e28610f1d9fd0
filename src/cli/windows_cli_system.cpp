// The command line's system on Windows.
#include "cli/windows_cli_system.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "app/aspi_warning_dialog.h"
#include "cli/command_line.h"
#include "cli/json_report.h"
#include "discovery/aspi_start.h"
#include "discovery/scans.h"

namespace dw::cli {

namespace {

// GetSystemPowerStatus's BatteryFlag: charging, no system battery, unknown.
constexpr uint8_t kBatteryCharging = 8;
constexpr uint8_t kNoSystemBattery = 128;
constexpr uint8_t kUnknown = 255;

std::string upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// E:, e:, E:\ and \\.\E: as E:; other names in capitals.
std::string normalName(const std::string& name) {
    std::string wanted = upper(name);
    if (wanted.rfind("\\\\.\\", 0) == 0) wanted.erase(0, 4);
    if (wanted.size() == 3 && wanted[2] == '\\') wanted.pop_back();
    return wanted;
}

}  // namespace

WindowsCliSystem::~WindowsCliSystem() {
    if (awake_ && stayAwake_) stayAwake_(false);
    if (log_ != nullptr) std::fclose(log_);
}

// As the dialog starts: the ASPI layer on Windows 95, 98 and Me, else the SCSI ports; its
// message boxes as lines on stderr, its question answered by --yes.
std::optional<int> WindowsCliSystem::findDrives(const std::string&, bool, std::ostream& err) {
    OsVersionInfo version;
    const bool haveVersion = api_.getVersionEx(Versions::kBasicRecordSize, version);
    if (haveVersion && version.platformId == Versions::kPlatformWindows) AspiStart(transport_);
    if (transport_.kind == TransportKind::None) PassThroughScan(transport_, &opens_);
    accessDenied_ = opens_.rightsMissing();
    const bool vistaOrLater =
        haveVersion && version.platformId == Versions::kPlatformNt && version.majorVersion >= 6;
    if (accessDenied_) {
        err << "drivewright: Access denied: run Drivewright as administrator (Windows refused "
               "the drives' ports to a program without administrator rights)\n";
        return std::nullopt;
    }
    if (transport_.kind == TransportKind::None && !vistaOrLater) {
        err << "drivewright: ASPI for Win32 is not initialized! Unable to load 'WNASPI32.DLL'\n";
        return std::nullopt;
    }
    const bool oldLayer = OldAspiLayerInstalled(api_);
    if (oldLayer) {
        err << "drivewright: warning: Wnaspi32.dll V1.0.0.0 detected. This version may result in "
               "unpredictable behaviour of certain components. It is recommended to update this "
               "ASPI layer.\n";
    }
    if (haveVersion && version.minorVersion == 10 && oldLayer && transport_.hasUsbOr1394Adapter()) {
        err << "drivewright: WARNING: USB devices detected with older Aspi layer!";
        if (!yes_) {
            err << " Not going on without --yes.\n";
            return kExitUsage;
        }
        err << " Going on, as --yes asks.\n";
    }
    return std::nullopt;
}

// A drive is named by a letter only where the letter is its own (the scan files a drive it found
// at no letter under the first letter not taken, C: for one whose letter another program holds:
// a letter that names no drive of Windows').
std::string WindowsCliSystem::nameOf(const DeviceEntry& entry) {
    const int letter = entry.driveLetter;
    if (transport_.kind == TransportKind::PassThrough && letter > 1 &&
        transport_.isOwnLetter(entry)) {
        return std::string(1, static_cast<char>('A' + letter)) + ":";
    }
    return std::to_string(entry.hostAdapter) + ":" + std::to_string(entry.targetId);
}

// E:, e:, E:\ and \\.\E: name the drive at E:; host:target as list shows it.
bool WindowsCliSystem::names(const std::string& name, const DeviceEntry& entry) {
    const std::string wanted = normalName(name);
    return wanted == nameOf(entry);
}

// A CD-ROM drive letter that gave the scan no SCSI address: its drive is held by another program
// (the class driver's exclusive access refuses every other handle's requests), or is not one
// the system reaches through SCSI.
bool WindowsCliSystem::tellWhyNoDriveAnswers(const std::string& name, std::ostream& err) {
    const std::string wanted = normalName(name);
    if (wanted.size() != 2 || wanted[1] != ':' || wanted[0] < 'C' || wanted[0] > 'Z') return false;
    if (api_.getDriveType(wanted + "\\") != DriveTypes::kCdrom) return false;
    err << "drivewright: " << wanted
        << " is a CD or DVD drive that does not give its address: another program may hold it "
           "(close it and try again), or Windows does not reach it through SCSI\n";
    return true;
}

void WindowsCliSystem::describe(const DeviceEntry& entry, DriveFacts& d) {
    d.host = entry.hostAdapter;
    d.channel = entry.pathId;
    d.target = entry.targetId;
    d.lun = entry.lun;
}

// The drive letter's handle is kept for the upgrade; the download takes the class driver's
// exclusive access on it, and a drive another program holds stops it there, before anything
// that changes the drive.
bool WindowsCliSystem::hold(const DeviceEntry& entry, std::ostream&) {
    transport_.openDriveHandle(entry);
    return true;
}

// The drive answers the identification it gave at the start.
bool WindowsCliSystem::heldIsTheScannedOne(DeviceEntry& entry) {
    InquiryStrings now;
    if ((transport_.currentInquiry(entry, now) & 0xFF) != 1) return false;
    return std::memcmp(now.vendor, entry.vendor, sizeof now.vendor) == 0 &&
           std::memcmp(now.product, entry.product, sizeof now.product) == 0;
}

void WindowsCliSystem::release(const DeviceEntry& entry) {
    transport_.unlockDrive(entry);
    transport_.closeDriveHandle(entry);
}

// On battery: the mains power offline and a system battery that is not charging.
std::optional<std::string> WindowsCliSystem::dischargingBattery() {
    const PowerStatus::Reading power = api_.systemPowerStatus();
    if (!power.known || power.acLineStatus != 0) return std::nullopt;
    if (power.batteryFlag == kNoSystemBattery || power.batteryFlag == kUnknown ||
        (power.batteryFlag & kBatteryCharging) != 0) {
        return std::nullopt;
    }
    std::string battery = "the system battery";
    if (power.batteryLifePercent <= 100) {
        battery += ", " + std::to_string(power.batteryLifePercent) + "%";
    }
    return battery;
}

std::string WindowsCliSystem::keepAwake() {
    if (!stayAwake_) return "this Windows has no SetThreadExecutionState";
    awake_ = stayAwake_(true);
    return awake_ ? "" : "SetThreadExecutionState refused";
}

void WindowsCliSystem::letSleep() {
    if (awake_ && stayAwake_) stayAwake_(false);
    awake_ = false;
}

int WindowsCliSystem::openLog(const std::string& path) {
    errno = 0;
    log_ = std::fopen(path.c_str(), "ab");
    return log_ != nullptr ? 0 : (errno != 0 ? errno : EIO);
}

// The line written whole and flushed, so that a record is either there or not.
int WindowsCliSystem::appendToLog(const std::string& line) {
    if (log_ == nullptr) return EBADF;
    errno = 0;
    if (std::fwrite(line.data(), 1, line.size(), log_) != line.size() || std::fflush(log_) != 0) {
        return errno != 0 ? errno : EIO;
    }
    return 0;
}

int64_t WindowsCliSystem::secondsSinceEpoch() { return static_cast<int64_t>(std::time(nullptr)); }

std::string WindowsCliSystem::errorText(int error) { return std::strerror(error); }

}  // namespace dw::cli
