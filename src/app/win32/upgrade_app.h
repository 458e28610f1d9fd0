// The application object: it exists before anything else runs, runs the main dialog modally and
// ends the program when the dialog closes.
#pragma once

#include <windows.h>

#include <memory>

#include "app/main_dialog.h"
#include "firmware/upgrade_state.h"
#include "app/win32/win32_dialog_view.h"
#include "platform/win32/win32_windows_api.h"

namespace dw {

class UpgradeApp {
public:
    static UpgradeApp& instance();

    // Runs the main dialog; false, so that the program ends with it.
    bool InitInstance(HINSTANCE instance);

    WindowsApi& api() { return api_; }
    MainDialog* mainDialog() { return dialog_.get(); }
    Win32DialogView& view() { return *view_; }

private:
    Win32WindowsApi api_;
    UpgradeState state_;
    std::unique_ptr<Win32DialogView> view_;
    std::unique_ptr<MainDialog> dialog_;
};

}  // namespace dw
