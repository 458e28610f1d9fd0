#include "app/main_dialog.h"

#include <cstdio>
#include <cstring>

#include <algorithm>
#include <vector>

#include "app/aspi_warning_dialog.h"
#include "app/library_search.h"
#include "discovery/scans.h"
#include "firmware/download_procedures.h"
#include "firmware/upgrade_file_validation.h"
#include "firmware/upgrade_outcome.h"
#include "identify/drive_list.h"
#include "identify/identify_model.h"
#include "resources/resource.h"
#include "discovery/aspi_start.h"
#include "resources/string_texts.h"

namespace dw {

MainDialog::MainDialog(WindowsApi& api, DialogView& view, UpgradeState& state)
    : api_(api), view_(view), state_(state), transport_(std::make_unique<ScsiTransport>(api)) {
    state_.transport = transport_.get();
}

MainDialog::~MainDialog() {
    if (state_.transport == transport_.get()) state_.transport = nullptr;
    transport_.reset();
}

void MainDialog::refresh() {
    view_.setControlText(kIdHostAdapterText, hostAdapterText);
    view_.setControlText(kIdTargetIdText, targetIdText);
    view_.setControlText(kIdFirmwareVersionText, firmwareVersionText);
    view_.setControlText(kIdStatusText, statusText);
}

bool MainDialog::OnInitDialog() {
    // The base initialisation has refreshed the (empty) texts.
    const std::string about = api_.loadString(IDS_ABOUTBOX);
    if (!about.empty()) view_.appendSystemMenuItem(kIdmAboutBox, about);
    view_.setWindowIcons();

    OsVersionInfo version;
    const bool haveVersion = api_.getVersionEx(Versions::kBasicRecordSize, version);
    ScsiTransport& transport = *state_.transport;
    if (haveVersion && version.platformId == Versions::kPlatformWindows) AspiStart(transport);
    DeviceOpens opens;
    if (transport.kind == TransportKind::None) PassThroughScan(transport, &opens);
    // Drives that are there but that the system would not open (no administrator rights) are
    // not a missing transport: the dialog opens and says why its list stays empty.
    const bool accessDenied = opens.rightsMissing();
    // From Vista on the program never looks for an ASPI layer, so the box's words would be
    // untrue there: the dialog opens and says that it found no drive.
    const bool vistaOrLater =
        haveVersion && version.platformId == Versions::kPlatformNt && version.majorVersion >= 6;
    if (transport.kind == TransportKind::None && !accessDenied && !vistaOrLater) {
        view_.messageBox("ASPI for Win32 is not initialized!\n\rUnable to load 'WNASPI32.DLL'",
                         view_.applicationTitle(), mb::kIconStop | mb::kOk);
        view_.requestClose();
        return true;
    }

    oldAspiLayer_ = checkOldAspiLayer();
    if (oldAspiLayer_) view_.showAspiWarning();

    if (haveVersion && version.minorVersion == 10 && oldAspiLayer_ &&
        transport.hasUsbOr1394Adapter()) {
        const int answer = view_.messageBox(
            "WARNING: USB devices detected with older Aspi layer!\n\tDo you wish to continue?",
            "Drivewright", mb::kIconExclamation | mb::kOkCancel);
        if (answer != mb::kAnswerOk) {
            view_.destroyWindow();
            return false;
        }
    }

    probeInterfaces();
    fillDeviceList();

    if (state_.deviceList.empty()) {
        view_.enableControl(kIdDeviceCombo, false);
        if (accessDenied) {
            statusText = "Access denied: run Drivewright as administrator";
            refresh();
        } else if (transport.kind == TransportKind::None) {
            statusText = "No CD or DVD drive found";
            refresh();
        }
        return true;
    }
    view_.selectComboItem(0);
    state_.currentDevice = state_.deviceList.at(0);
    ShowDevice(state_.currentDevice);
    return true;
}

bool MainDialog::checkOldAspiLayer() { return OldAspiLayerInstalled(api_); }

void MainDialog::probeInterfaces() { ProbeInterfaces(*state_.transport); }

void MainDialog::fillDeviceList() {
    FillDeviceList(*state_.transport, state_.deviceList,
                   [this](const std::string& label) { view_.addComboItem(label); });
}

bool MainDialog::OnSysCommand(unsigned commandId) {
    if ((commandId & 0xFFF0) != kIdmAboutBox) return false;
    view_.showAbout();
    return true;
}

void MainDialog::OnSelectDevice() {
    const int index = view_.comboSelection();
    if (index < 0 || static_cast<size_t>(index) >= state_.deviceList.size()) return;
    state_.currentDevice = state_.deviceList.at(static_cast<size_t>(index));
    ShowDevice(state_.currentDevice);
}

void MainDialog::ShowDevice(DeviceEntry entry) {
    ScsiTransport& transport = *state_.transport;
    SelectDevice(state_, entry);

    char number[16];
    std::snprintf(number, sizeof number, "%d", entry.hostAdapter);
    hostAdapterText = number;
    std::snprintf(number, sizeof number, "%d", entry.targetId);
    targetIdText = number;

    char version[kFirmwareVersionSize];
    GetFirmwareVersion(entry, version);
    firmwareVersionText = version;

    view_.enableControl(kIdUpgrade, false);
    if (ModelIdentOffset(transport, entry) == 0) {
        view_.enableControl(kIdLoadFile, false);
        statusText = "No upgradable device selected";
    } else {
        view_.enableControl(kIdLoadFile, true);
        statusText = "Select an upgrade file";
    }
    refresh();
}

void MainDialog::GetFirmwareVersion(DeviceEntry entry, char* text) {
    dw::GetFirmwareVersion(*state_.transport, entry, text);
}

}  // namespace dw

namespace dw {

namespace {

constexpr unsigned kOfnOverwritePrompt = 0x00000002;
constexpr unsigned kOfnHideReadOnly = 0x00000004;
constexpr uint32_t kUpgradePauseMs = 1100;

}  // namespace

void MainDialog::showWarning(const std::string& text) {
    view_.messageBox(text, "Drivewright", mb::kIconExclamation | mb::kOk);
}

bool MainDialog::ValidateUpgradeFile() { return dw::ValidateUpgradeFile(state_, *this); }

void MainDialog::OnLoadFile() {
    state_.upgradeFilePath[0] = '\0';
    state_.validatedFile = {};

    OpenFileRequest request;
    // "Upgrade Files (*.bin)|*.bin|All Files (*.*)|*.*||" with the separators as NULs.
    request.filter = std::string("Upgrade Files (*.bin)\0*.bin\0All Files (*.*)\0*.*\0\0", 50);
    request.defaultExtension = "BIN";
    request.flags = kOfnHideReadOnly | kOfnOverwritePrompt;
    const std::optional<std::string> chosen = view_.askFileToOpen(request);
    if (!chosen) return;

    // A path that does not fit would have to be cut, and a cut path names another file.
    if (chosen->size() >= kUpgradeFilePathSize) {
        statusText = "No valid upgrade file selected";
        refresh();
        view_.enableControl(kIdUpgrade, false);
        return;
    }
    std::memcpy(state_.upgradeFilePath, chosen->c_str(), chosen->size() + 1);
    if (chosen->size() >= 2) view_.enableControl(kIdUpgrade, ValidateUpgradeFile());
}

bool MainDialog::RunUpgrade() { return dw::RunUpgrade(state_, *this, api_); }
bool MainDialog::Download128K() { return dw::Download128K(state_, *this, api_); }
bool MainDialog::Download256K() { return dw::Download256K(state_, *this, api_); }
bool MainDialog::Download512K() { return dw::Download512K(state_, *this, api_); }
bool MainDialog::Download960K() { return dw::Download960K(state_, *this, api_); }
bool MainDialog::Download1004K() { return dw::Download1004K(state_, *this, api_); }

void MainDialog::OnUpgrade() {
    ScsiTransport& transport = *state_.transport;
    transport.openDriveHandle(state_.currentDevice);
    statusText = "Upgrade in progress";
    refresh();
    view_.enableControl(kIdUpgrade, false);
    view_.enableControl(kIdLoadFile, false);

    const bool succeeded = RunUpgrade();
    statusText = UpgradeOutcomeText(succeeded, state_, api_);

    // Give the drive a moment; no window message is handled meanwhile.
    waitSince(api_, api_.tickCount(), kUpgradePauseMs);

    view_.enableControl(kIdUpgrade, true);
    view_.enableControl(kIdLoadFile, true);
    char version[kFirmwareVersionSize];
    GetFirmwareVersion(state_.currentDevice, version);
    firmwareVersionText = version;
    refresh();
    transport.unlockDrive(state_.currentDevice);
    transport.closeDriveHandle(state_.currentDevice);
}

}  // namespace dw
