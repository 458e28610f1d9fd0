// The command line on Windows: drives found as the dialog finds them at its start (the ASPI
// layer on Windows 95, 98 and Me, else the SCSI ports and the drive letters), named by drive
// letter or by host:target, held on the drive letter's handle with the class driver's exclusive
// access, and the power as GetSystemPowerStatus reports it. The dialog's message boxes of the
// start become lines on stderr.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <utility>

#include "cli/cli_system.h"
#include "discovery/device_opens.h"
#include "platform/windows_api.h"

namespace dw::cli {

class WindowsCliSystem : public CliSystem {
public:
    // The SHA-256 of a file in lower-case hex, empty where Windows cannot give it.
    using Digest = std::function<std::string(const std::string& path)>;
    // Keeps the system from sleeping (true) until it is let sleep (false): whether Windows
    // took the request.
    using StayAwake = std::function<bool(bool awake)>;
    // `yes`: the question of the start (USB drives behind an old ASPI layer) is answered yes.
    WindowsCliSystem(WindowsApi& api, bool yes, Digest digest = {}, StayAwake stayAwake = {})
        : api_(api),
          transport_(api),
          yes_(yes),
          digest_(std::move(digest)),
          stayAwake_(std::move(stayAwake)) {}
    ~WindowsCliSystem() override;
    WindowsCliSystem(const WindowsCliSystem&) = delete;
    WindowsCliSystem& operator=(const WindowsCliSystem&) = delete;

    ScsiTransport& transport() override { return transport_; }
    bool tracesCommands() const override { return false; }
    HelpWords helpWords() const override { return windowsHelpWords(); }
    std::optional<int> findDrives(const std::string& named, bool trace, std::ostream& err) override;
    bool aDriveCouldNotBeOpened() const override { return accessDenied_; }
    std::string nameOf(const DeviceEntry& entry) override;
    bool names(const std::string& name, const DeviceEntry& entry) override;
    void describe(const DeviceEntry& entry, DriveFacts& facts) override;
    bool tellWhyNoDriveAnswers(const std::string& name, std::ostream& err) override;
    bool mayUpgrade(const DeviceEntry&, std::ostream&) override { return true; }
    bool hold(const DeviceEntry& entry, std::ostream& err) override;
    bool heldIsTheScannedOne(DeviceEntry& entry) override;
    void release(const DeviceEntry& entry) override;
    std::optional<std::string> dischargingBattery() override;
    std::string keepAwake() override;
    void letSleep() override;
    std::string sha256Of(const std::string& path) override { return digest_ ? digest_(path) : ""; }
    int openLog(const std::string& path) override;
    int appendToLog(const std::string& line) override;
    void writeSystemLog(bool, const std::string&) override {}
    int64_t secondsSinceEpoch() override;
    std::string recordedName(const DeviceEntry& entry) override { return nameOf(entry); }
    std::string errorText(int error) override;
    void tellWhyTheDownloadStopped(const DeviceEntry&, bool, int32_t, std::ostream&) override {}

private:
    WindowsApi& api_;
    ScsiTransport transport_;
    bool yes_;
    Digest digest_;
    StayAwake stayAwake_;
    bool awake_ = false;
    DeviceOpens opens_;

    bool accessDenied_ = false;
    std::FILE* log_ = nullptr;
};

}  // namespace dw::cli
