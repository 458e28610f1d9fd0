// The old-layer warning closes itself ten seconds after it is shown, or earlier on Enter/Escape.
#include "app/aspi_warning_dialog.h"
#include "app/dialog_view.h"
#include "test_support.h"

namespace {

struct RecordingWarningView : dw::WarningView {
    std::string calls;
    void setExclamationIcon() override { calls += "icon"; }
    void centre() override { calls += " centre"; }
    unsigned startTimer(unsigned ms) override { return calls += " " + std::to_string(ms), 41; }
    void stopTimer(unsigned id) override { calls += " stop " + std::to_string(id); }
    void end(int result) override { calls += " end " + std::to_string(result); }
};

}  // namespace

TEST(AspiWarningDialog, closesItselfTenSecondsAfterItIsShownOrOnEnterOrEscape) {
    RecordingWarningView view;
    dw::AspiWarningDialog dialog(view);
    EXPECT_TRUE(dialog.OnInitDialog());
    dialog.OnShowWindow(false);  // being hidden starts nothing
    dialog.OnShowWindow(true);
    for (int command : {1234, dw::kIdOk, dw::kIdExit}) dialog.OnCommand(command);  // not 1234
    dialog.OnTimer(7);  // the timer it started is stopped, whatever the message says
    EXPECT_EQ(view.calls, "icon centre 10000 end 1 end 2 stop 41 end 1");
    EXPECT_EQ(dw::aspiWarningTimerId, 41u);
}
