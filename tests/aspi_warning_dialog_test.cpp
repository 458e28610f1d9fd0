// The old-layer warning closes itself ten seconds after it is shown, or earlier on Enter/Escape.
#include "app/aspi_warning_dialog.h"
#include "app/dialog_view.h"
#include "test_support.h"

namespace {

struct RecordingWarningView : dw::WarningView {
    std::vector<std::string> calls;
    unsigned nextTimer = 41;
    void setExclamationIcon() override { calls.push_back("icon"); }
    void centre() override { calls.push_back("centre"); }
    unsigned startTimer(unsigned ms) override {
        calls.push_back("start " + std::to_string(ms));
        return nextTimer;
    }
    void stopTimer(unsigned id) override { calls.push_back("stop " + std::to_string(id)); }
    void end(int result) override { calls.push_back("end " + std::to_string(result)); }
};

}  // namespace

TEST(AspiWarningDialog, closesItselfTenSecondsAfterItIsShown) {
    RecordingWarningView view;
    dw::AspiWarningDialog dialog(view);
    EXPECT_TRUE(dialog.OnInitDialog());
    dialog.OnShowWindow(false);  // being hidden starts nothing
    dialog.OnShowWindow(true);
    dialog.OnTimer(41);
    EXPECT_EQ(view.calls,
              (std::vector<std::string>{"icon", "centre", "start 10000", "stop 41", "end 1"}));
    EXPECT_EQ(dw::aspiWarningTimerId, 41u);
}

TEST(AspiWarningDialog, enterOrEscapeEndItEarly) {
    for (int id : {dw::kIdOk, dw::kIdExit}) {
        RecordingWarningView view;
        dw::AspiWarningDialog dialog(view);
        dialog.OnShowWindow(true);
        dialog.OnCommand(id);
        ASSERT_FALSE(view.calls.empty());
        EXPECT_EQ(view.calls.back(), "end " + std::to_string(id));
    }
    RecordingWarningView view;
    dw::AspiWarningDialog dialog(view);
    dialog.OnCommand(1234);  // anything else does not end it
    EXPECT_TRUE(view.calls.empty());
}
