#include "app/aspi_warning_dialog.h"

#include "app/dialog_view.h"

namespace dw {

unsigned aspiWarningTimerId = 0;

bool AspiWarningDialog::OnInitDialog() {
    view_.setExclamationIcon();
    return true;
}

void AspiWarningDialog::OnShowWindow(bool shown) {
    if (!shown) return;
    view_.centre();
    aspiWarningTimerId = view_.startTimer(kCloseAfterMs);
}

void AspiWarningDialog::OnTimer(unsigned) {
    view_.stopTimer(aspiWarningTimerId);
    view_.end(kIdOk);
}

void AspiWarningDialog::OnCommand(int id) {
    if (id == kIdOk || id == kIdExit) view_.end(id);
}

}  // namespace dw
