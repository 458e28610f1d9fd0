// The main dialog's logic: start-up, device selection, Load File and Upgrade. It reaches its
// window only through DialogView, and Windows only through the seam.
#pragma once

#include <memory>
#include <string>

#include "app/dialog_view.h"
#include "firmware/device_selection.h"
#include "firmware/upgrade_dialog.h"
#include "firmware/upgrade_state.h"
#include "platform/windows_api.h"
#include "scsi/scsi_transport.h"

namespace dw {

class MainDialog : public UpgradeDialog {
public:
    // Creates the one transport of the run and stores it in the state.
    MainDialog(WindowsApi& api, DialogView& view, UpgradeState& state);
    // Destroys the transport (which releases the ASPI library).
    ~MainDialog() override;
    MainDialog(const MainDialog&) = delete;
    MainDialog& operator=(const MainDialog&) = delete;

    // The dialog's initialisation, when the window exists and before it is shown. False only
    // when the user declined to go on after the USB warning (the window is destroyed then).
    bool OnInitDialog();

    void OnSelectDevice();
    void OnLoadFile();
    void OnUpgrade();
    // A system menu command; true when it was the about box's.
    bool OnSysCommand(unsigned commandId);

    void ShowDevice(DeviceEntry entry);
    void GetFirmwareVersion(DeviceEntry entry, char* text);

    // Checks the file at upgradeFilePath against the current device.
    bool ValidateUpgradeFile();

    // Copies the four texts into their controls.
    void refresh() override;
    void setStatusText(const std::string& text) override { statusText = text; }
    void showWarning(const std::string& text) override;

    // The upgrade: the dispatcher and the five download procedures.
    bool RunUpgrade();
    bool Download128K();
    bool Download256K();
    bool Download512K();
    bool Download960K();
    bool Download1004K();

    std::string hostAdapterText;
    std::string targetIdText;
    std::string firmwareVersionText;
    std::string statusText;

    // True when start-up found the old ASPI layer 1, 0, 0, 0.
    bool oldAspiLayer() const { return oldAspiLayer_; }

private:
    void startTransport();
    bool checkOldAspiLayer();
    void probeInterfaces();
    void fillDeviceList();

    WindowsApi& api_;
    DialogView& view_;
    UpgradeState& state_;
    std::unique_ptr<ScsiTransport> transport_;
    bool oldAspiLayer_ = false;
};

}  // namespace dw
