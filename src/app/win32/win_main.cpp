// Program entry.
#include <windows.h>

#include <commctrl.h>

#include "app/program_start.h"
#include "app/win32/upgrade_app.h"
#include "resources/resource.h"

namespace dw {

UpgradeApp& UpgradeApp::instance() {
    static UpgradeApp app;
    return app;
}

bool UpgradeApp::InitInstance(HINSTANCE instance) {
    view_ = std::make_unique<Win32DialogView>(instance);
    dialog_ = std::make_unique<MainDialog>(api_, *view_, state_);
    DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, mainDialogProc, 0);
    dialog_.reset();
    return false;
}

}  // namespace dw

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // The application object exists before the program's own code runs.
    dw::UpgradeApp& app = dw::UpgradeApp::instance();
    // The library search is narrowed first: Windows loads libraries for every window.
    dw::StartProgram(app.api(), [&] {
        // Loads the Common Controls the manifest names before the first dialog, so that
        // Windows XP draws the dialog in the visual styles; older Windows register their own
        // controls.
        InitCommonControls();
        app.InitInstance(instance);
    });
    return 0;
}
