// What validation and download need of the dialog that runs them: its status line, a refresh
// of its controls, and a warning box.
#pragma once

#include <string>

namespace dw {

class UpgradeDialog {
public:
    virtual ~UpgradeDialog() = default;
    virtual void setStatusText(const std::string& text) = 0;
    // Copies the dialog's texts into its controls.
    virtual void refresh() = 0;
    // A warning message box captioned "Drivewright" with an exclamation icon and OK.
    virtual void showWarning(const std::string& text) = 0;
};

}  // namespace dw
