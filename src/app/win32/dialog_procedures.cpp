// The dialog procedures: they route exactly the messages the dialogs handle and leave every
// other one to the default dialog handling.
#include <windows.h>

#include "app/main_dialog.h"
#include "app/win32/upgrade_app.h"
#include "app/win32/win32_dialog_view.h"
#include "resources/resource.h"

namespace dw {

namespace {

INT_PTR answer(HWND window, LRESULT result) {
    SetWindowLongPtrA(window, DWLP_MSGRESULT, result);
    return TRUE;
}

void paintMinimised(HWND window, HICON icon) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    SendMessageA(window, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    const int iconWidth = GetSystemMetrics(SM_CXICON);
    const int iconHeight = GetSystemMetrics(SM_CYICON);
    RECT client;
    GetClientRect(window, &client);
    const int x = (client.right - client.left - iconWidth + 1) / 2;
    const int y = (client.bottom - client.top - iconHeight + 1) / 2;
    DrawIcon(dc, x, y, icon);
    EndPaint(window, &paint);
}

// The OK command's default handling copies the controls' texts back into the dialog's texts.
std::string controlText(HWND window, int id) {
    char text[512] = {};
    GetDlgItemTextA(window, id, text, sizeof text);
    return text;
}

}  // namespace

INT_PTR CALLBACK mainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    UpgradeApp& app = UpgradeApp::instance();
    MainDialog* dialog = app.mainDialog();
    if (dialog == nullptr) return FALSE;

    switch (message) {
        case WM_INITDIALOG:
            app.view().attach(window);
            dialog->refresh();
            if (!dialog->OnInitDialog()) return FALSE;
            return TRUE;

        case WM_SYSCOMMAND:
            return dialog->OnSysCommand(static_cast<unsigned>(wParam)) ? TRUE : FALSE;

        case WM_PAINT:
            if (!IsIconic(window)) return FALSE;
            paintMinimised(window, app.view().mainIcon());
            return TRUE;

        case WM_QUERYDRAGICON:
            return answer(window, reinterpret_cast<LRESULT>(app.view().mainIcon()));

        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            const int code = HIWORD(wParam);
            if (id == IDC_DEVICE_COMBO && code == CBN_SELCHANGE) {
                dialog->OnSelectDevice();
                return TRUE;
            }
            if (id == IDC_LOAD_FILE && code == BN_CLICKED) {
                dialog->OnLoadFile();
                return TRUE;
            }
            if (id == IDC_UPGRADE && code == BN_CLICKED) {
                dialog->OnUpgrade();
                return TRUE;
            }
            if (id == IDOK) {
                dialog->hostAdapterText = controlText(window, IDC_HOST_ADAPTER);
                dialog->targetIdText = controlText(window, IDC_TARGET_ID);
                dialog->firmwareVersionText = controlText(window, IDC_FIRMWARE_VERSION);
                dialog->statusText = controlText(window, IDC_STATUS);
                EndDialog(window, IDOK);
                return TRUE;
            }
            if (id == IDCANCEL) {
                EndDialog(window, IDCANCEL);
                return TRUE;
            }
            return FALSE;
        }

        default: return FALSE;
    }
}

INT_PTR CALLBACK aspiWarningProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    Win32WarningView view(window);
    AspiWarningDialog dialog(view);
    switch (message) {
        case WM_INITDIALOG: return dialog.OnInitDialog() ? TRUE : FALSE;
        case WM_SHOWWINDOW:
            DefWindowProcA(window, message, wParam, 0);
            dialog.OnShowWindow(wParam != FALSE);
            return TRUE;
        case WM_TIMER: dialog.OnTimer(static_cast<unsigned>(wParam)); return TRUE;
        case WM_COMMAND: dialog.OnCommand(LOWORD(wParam)); return TRUE;
        default: return FALSE;
    }
}

INT_PTR CALLBACK aboutProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG: return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                EndDialog(window, LOWORD(wParam));
                return TRUE;
            }
            return FALSE;
        default: return FALSE;
    }
}

}  // namespace dw
