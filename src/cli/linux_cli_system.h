// The command line on Linux: drives found in sysfs and reached through their sg (or sr) nodes,
// held with O_EXCL, CAP_SYS_RAWIO for a block node, power from /sys/class/power_supply, logind's
// sleep inhibitor, libcrypto's SHA-256, syslog(3) and --log's file.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/cli_system.h"
#include "discovery/sysfs_scan.h"
#include "platform/linux_api.h"

namespace dw::cli {

class LinuxCliSystem : public CliSystem {
public:
    explicit LinuxCliSystem(LinuxApi& linuxApi) : linuxApi_(linuxApi), transport_(linuxApi) {}
    ~LinuxCliSystem() override;
    LinuxCliSystem(const LinuxCliSystem&) = delete;
    LinuxCliSystem& operator=(const LinuxCliSystem&) = delete;

    ScsiTransport& transport() override { return transport_; }
    bool tracesCommands() const override { return true; }
    HelpWords helpWords() const override { return linuxHelpWords(); }
    std::optional<int> findDrives(const std::string& named, bool trace, std::ostream& err) override;
    bool aDriveCouldNotBeOpened() const override;
    std::string nameOf(const DeviceEntry& entry) override;
    bool names(const std::string& name, const DeviceEntry& entry) override;
    void describe(const DeviceEntry& entry, DriveFacts& facts) override;
    bool tellWhyNoDriveAnswers(const std::string&, std::ostream&) override { return false; }
    bool mayUpgrade(const DeviceEntry& entry, std::ostream& err) override;
    bool hold(const DeviceEntry& entry, std::ostream& err) override;
    bool heldIsTheScannedOne(DeviceEntry& entry) override;
    void release(const DeviceEntry& entry) override;
    std::optional<std::string> dischargingBattery() override;
    std::string keepAwake() override;
    void letSleep() override;
    std::string sha256Of(const std::string& path) override;
    int openLog(const std::string& path) override;
    int appendToLog(const std::string& line) override;
    void writeSystemLog(bool succeeded, const std::string& line) override;
    int64_t secondsSinceEpoch() override { return linuxApi_.secondsSinceEpoch(); }
    std::string recordedName(const DeviceEntry& entry) override;
    std::string errorText(int error) override;
    void tellWhyTheDownloadStopped(const DeviceEntry& entry, bool commandDidNotComplete,
                                   int32_t result, std::ostream& err) override;

private:
    std::string blockOf(const DeviceEntry& entry);
    void releaseTheInhibitor();
    void tellAccessProblem(const std::string& node, int error, std::ostream& err);
    void tellWhoHoldsTheBlockNode(const std::string& block, std::ostream& err);
    void traceCommand(const SgIoTrace& trace, std::ostream& err);

    LinuxApi& linuxApi_;
    ScsiTransport transport_;
    bool trace_ = false;
    std::vector<ScanProblem> problems_;
    // Whether the program has CAP_SYS_RAWIO, where an upgrade through a block node asked.
    std::optional<bool> rawio_;
    // The first command the kernel refused to pass on (EPERM, EACCES), to say why afterwards.
    std::optional<std::pair<uint8_t, int>> refused_;
    // The last command that did not complete, to say what its error number is.
    std::optional<std::pair<uint8_t, SgIoOutcome>> incomplete_;
    int sleepInhibitor_ = -1;
    int logFile_ = -1;
};

}  // namespace dw::cli
