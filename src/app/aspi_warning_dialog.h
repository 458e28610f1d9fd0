// The warning shown at start-up when the installed ASPI layer is the old version 1, 0, 0, 0. It
// closes itself after ten seconds; Enter or Escape close it earlier.
#pragma once

#include "platform/windows_api.h"

namespace dw {

class WarningView {
public:
    virtual ~WarningView() = default;
    virtual void setExclamationIcon() = 0;
    virtual void centre() = 0;
    virtual unsigned startTimer(unsigned milliseconds) = 0;  // the timer's identifier
    virtual void stopTimer(unsigned timerId) = 0;
    virtual void end(int result) = 0;
};

class AspiWarningDialog {
public:
    static constexpr unsigned kCloseAfterMs = 10000;

    explicit AspiWarningDialog(WarningView& view) : view_(view) {}

    bool OnInitDialog();
    void OnShowWindow(bool shown);
    void OnTimer(unsigned timerId);
    void OnCommand(int id);  // OK (Enter) or cancel (Escape)

private:
    WarningView& view_;
};

// Whether the ASPI layer installed (wnaspi32.dll) is the old version 1, 0, 0, 0, as its version
// block's FileVersion says.
bool OldAspiLayerInstalled(WindowsApi& api);

// The identifier of the warning's timer, kept program-wide: written when the timer starts, read
// when it fires.
extern unsigned aspiWarningTimerId;

}  // namespace dw
