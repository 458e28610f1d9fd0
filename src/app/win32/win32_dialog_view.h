// DialogView and WarningView over real dialog windows.
#pragma once

#include <windows.h>

#include "app/aspi_warning_dialog.h"
#include "app/dialog_view.h"

namespace dw {

class Win32DialogView : public DialogView {
public:
    explicit Win32DialogView(HINSTANCE instance) : instance_(instance) {}
    void attach(HWND window) { window_ = window; }
    HWND window() const { return window_; }
    HICON mainIcon();

    void enableControl(int id, bool enabled) override;
    void setControlText(int id, const std::string& text) override;
    void addComboItem(const std::string& text) override;
    void selectComboItem(int index) override;
    int comboSelection() override;
    void appendSystemMenuItem(unsigned commandId, const std::string& text) override;
    void setWindowIcons() override;
    int messageBox(const std::string& text, const std::string& caption, unsigned style) override;
    std::optional<std::string> askFileToOpen(const OpenFileRequest& request) override;
    void showAspiWarning() override;
    void showAbout() override;
    void requestClose() override;
    void destroyWindow() override;
    std::string applicationTitle() override;

private:
    HINSTANCE instance_;
    HWND window_ = nullptr;
    HICON icon_ = nullptr;
};

class Win32WarningView : public WarningView {
public:
    explicit Win32WarningView(HWND window) : window_(window) {}
    void setExclamationIcon() override;
    void centre() override;
    unsigned startTimer(unsigned milliseconds) override;
    void stopTimer(unsigned timerId) override;
    void end(int result) override;

private:
    HWND window_;
};

// Dialog procedures of the three dialogs.
INT_PTR CALLBACK mainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK aspiWarningProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK aboutProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace dw
