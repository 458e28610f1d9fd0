// The old-layer warning closes itself ten seconds after it is shown, or earlier on Enter/Escape.
#include "app/aspi_warning_dialog.h"
#include "app/dialog_view.h"
#include "test_support.h"

namespace {

struct RecordingWarningView : dw::WarningView {
    std::string calls;
    void setExclamationIcon() override { calls += "icon "; }
    void centre() override { calls += "centre "; }
    unsigned startTimer(unsigned ms) override {
        return calls += "start " + std::to_string(ms) + " ", 41;
    }
    void stopTimer(unsigned id) override { calls += "stop " + std::to_string(id) + " "; }
    void end(int result) override { calls += "end " + std::to_string(result) + " "; }
};

}  // namespace

TEST(AspiWarningDialog, closesItselfTenSecondsAfterItIsShownOrOnEnterOrEscape) {
    struct Case {
        int command;  // 0: none, the timer fires
        const char* calls;
    } cases[] = {{0, "icon centre start 10000 stop 41 end 1 "},
                 {dw::kIdOk, "icon centre start 10000 end 1 "},
                 {dw::kIdExit, "icon centre start 10000 end 2 "}};
    for (const auto& c : cases) {
        RecordingWarningView view;
        dw::AspiWarningDialog dialog(view);
        EXPECT_TRUE(dialog.OnInitDialog());
        dialog.OnShowWindow(false);  // being hidden starts nothing
        dialog.OnShowWindow(true);
        dialog.OnCommand(1234);  // nor does any other command end it
        c.command ? dialog.OnCommand(c.command) : dialog.OnTimer(7);
        EXPECT_EQ(view.calls, c.calls) << c.command;
        EXPECT_EQ(dw::aspiWarningTimerId, 41u);
    }
}
