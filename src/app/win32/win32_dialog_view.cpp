#include "app/win32/win32_dialog_view.h"

#include <commdlg.h>

#include <vector>

#include "resources/resource.h"

namespace dw {

HICON Win32DialogView::mainIcon() {
    if (icon_ == nullptr) icon_ = LoadIconA(instance_, MAKEINTRESOURCEA(IDI_MAIN));
    return icon_;
}

void Win32DialogView::enableControl(int id, bool enabled) {
    EnableWindow(GetDlgItem(window_, id), enabled ? TRUE : FALSE);
}

void Win32DialogView::setControlText(int id, const std::string& text) {
    SetDlgItemTextA(window_, id, text.c_str());
}

void Win32DialogView::addComboItem(const std::string& text) {
    SendDlgItemMessageA(window_, IDC_DEVICE_COMBO, CB_ADDSTRING, 0,
                        reinterpret_cast<LPARAM>(text.c_str()));
}

void Win32DialogView::selectComboItem(int index) {
    SendDlgItemMessageA(window_, IDC_DEVICE_COMBO, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

int Win32DialogView::comboSelection() {
    const LRESULT index = SendDlgItemMessageA(window_, IDC_DEVICE_COMBO, CB_GETCURSEL, 0, 0);
    return index == CB_ERR ? -1 : static_cast<int>(index);
}

void Win32DialogView::appendSystemMenuItem(unsigned commandId, const std::string& text) {
    HMENU menu = GetSystemMenu(window_, FALSE);
    if (menu == nullptr) return;
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(menu, MF_STRING, commandId, text.c_str());
}

void Win32DialogView::setWindowIcons() {
    HICON big = mainIcon();
    HICON small = static_cast<HICON>(LoadImageA(instance_, MAKEINTRESOURCEA(IDI_MAIN), IMAGE_ICON,
                                                GetSystemMetrics(SM_CXSMICON),
                                                GetSystemMetrics(SM_CYSMICON), 0));
    SendMessageA(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    SendMessageA(window_, WM_SETICON, ICON_SMALL,
                 reinterpret_cast<LPARAM>(small != nullptr ? small : big));
}

int Win32DialogView::messageBox(const std::string& text, const std::string& caption,
                                unsigned style) {
    return MessageBoxA(window_, text.c_str(), caption.c_str(), style);
}

std::optional<std::string> Win32DialogView::askFileToOpen(const OpenFileRequest& request) {
    // Room for paths longer than the program accepts, so that such a choice is seen and refused
    // rather than cut by the dialog.
    std::vector<char> path(1024, '\0');
    OPENFILENAMEA ofn = {};
    // The Windows 95 / NT 4.0 size of the structure, which every later Windows accepts too.
    ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    ofn.hwndOwner = window_;
    ofn.lpstrFilter = request.filter.c_str();
    ofn.lpstrFile = path.data();
    ofn.nMaxFile = static_cast<DWORD>(path.size());
    ofn.lpstrDefExt = request.defaultExtension.empty() ? nullptr : request.defaultExtension.c_str();
    ofn.Flags = request.flags;
    if (!GetOpenFileNameA(&ofn)) return std::nullopt;
    return std::string(path.data());
}

void Win32DialogView::showAspiWarning() {
    DialogBoxParamA(instance_, MAKEINTRESOURCEA(IDD_ASPI_WARNING), nullptr, aspiWarningProc, 0);
}

void Win32DialogView::showAbout() {
    DialogBoxParamA(instance_, MAKEINTRESOURCEA(IDD_ABOUTBOX), window_, aboutProc, 0);
}

void Win32DialogView::requestClose() { SendMessageA(window_, WM_CLOSE, 0, 0); }

void Win32DialogView::destroyWindow() {
    // A modal dialog is ended rather than destroyed under its own message loop; the loop then
    // destroys the window.
    EndDialog(window_, IDCANCEL);
}

std::string Win32DialogView::applicationTitle() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string name(path);
    const size_t slash = name.find_last_of("\\/");
    if (slash != std::string::npos) name = name.substr(slash + 1);
    const size_t dot = name.find_last_of('.');
    if (dot != std::string::npos) name.resize(dot);
    return name;
}

void Win32WarningView::setExclamationIcon() {
    SendDlgItemMessageA(window_, IDC_WARNING_ICON, STM_SETICON,
                        reinterpret_cast<WPARAM>(LoadIconA(nullptr, IDI_EXCLAMATION)), 0);
}

void Win32WarningView::centre() {
    RECT area;
    HWND owner = GetWindow(window_, GW_OWNER);
    if (owner != nullptr && IsWindowVisible(owner)) {
        GetWindowRect(owner, &area);
    } else {
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    }
    RECT own;
    GetWindowRect(window_, &own);
    const int width = own.right - own.left;
    const int height = own.bottom - own.top;
    const int x = area.left + (area.right - area.left - width) / 2;
    const int y = area.top + (area.bottom - area.top - height) / 2;
    SetWindowPos(window_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

unsigned Win32WarningView::startTimer(unsigned milliseconds) {
    return static_cast<unsigned>(SetTimer(window_, 1, milliseconds, nullptr));
}

void Win32WarningView::stopTimer(unsigned timerId) { KillTimer(window_, timerId); }

void Win32WarningView::end(int result) { EndDialog(window_, result); }

}  // namespace dw
