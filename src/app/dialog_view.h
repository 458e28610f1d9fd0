// What the dialogs' logic asks of their windows. The Win32 shell implements it over HWNDs; the
// unit tests record it.
#pragma once

#include <optional>
#include <string>

#include "resources/resource.h"

namespace dw {

// Control ids of the main dialog.
inline constexpr int kIdOk = 1;
inline constexpr int kIdExit = 2;
inline constexpr int kIdLoadFile = IDC_LOAD_FILE;
inline constexpr int kIdUpgrade = IDC_UPGRADE;
inline constexpr int kIdDeviceCombo = IDC_DEVICE_COMBO;
inline constexpr int kIdHostAdapterText = IDC_HOST_ADAPTER;
inline constexpr int kIdTargetIdText = IDC_TARGET_ID;
inline constexpr int kIdFirmwareVersionText = IDC_FIRMWARE_VERSION;
inline constexpr int kIdStatusText = IDC_STATUS;
inline constexpr int kIdWarningIcon = IDC_WARNING_ICON;

// System menu command of the about box.
inline constexpr unsigned kIdmAboutBox = IDM_ABOUTBOX;

// Message box styles and answers, with the values Windows gives them.
namespace mb {
inline constexpr unsigned kOk = 0x00;
inline constexpr unsigned kOkCancel = 0x01;
inline constexpr unsigned kIconStop = 0x10;
inline constexpr unsigned kIconExclamation = 0x30;
inline constexpr int kAnswerOk = 1;
inline constexpr int kAnswerCancel = 2;
}  // namespace mb

// The open-file dialog as the program asks for it.
struct OpenFileRequest {
    std::string filter;            // pairs of description and pattern, each ended by a NUL
    std::string defaultExtension;  // without the point
    unsigned flags = 0;            // OFN_ flags
};

class DialogView {
public:
    virtual ~DialogView() = default;

    virtual void enableControl(int id, bool enabled) = 0;
    virtual void setControlText(int id, const std::string& text) = 0;
    virtual void addComboItem(const std::string& text) = 0;
    virtual void selectComboItem(int index) = 0;
    virtual int comboSelection() = 0;  // -1 when nothing is selected

    // Appends a separator and the item to the system menu, when the window has one.
    virtual void appendSystemMenuItem(unsigned commandId, const std::string& text) = 0;
    virtual void setWindowIcons() = 0;

    virtual int messageBox(const std::string& text, const std::string& caption, unsigned style) = 0;
    virtual std::optional<std::string> askFileToOpen(const OpenFileRequest& request) = 0;

    // Shows the ASPI layer warning modally (it closes itself after 10 seconds).
    virtual void showAspiWarning() = 0;
    virtual void showAbout() = 0;

    virtual void requestClose() = 0;  // a close request: the dialog ends as with Exit
    virtual void destroyWindow() = 0;

    // The application's title: the executable's file name without its extension.
    virtual std::string applicationTitle() = 0;
};

}  // namespace dw
