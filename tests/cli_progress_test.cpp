// The download's progress as the command line draws it: a line that fits the terminal, redrawn
// from its start with the rest of the line cleared, the share done, the pass of a two-pass
// download, the point from which it can no longer be interrupted, and the settle wait told as
// it is.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/progress.h"
#include "scsi/scsi_command.h"

namespace {

struct StepClock : dw::Clock {
    uint32_t now = 0;
    uint32_t tickCount() override { return now += 100; }
    void sleep(uint32_t milliseconds) override { now += milliseconds; }
};

// A WRITE BUFFER chunk of 8192 bytes, mode 4 or (committing) 5.
dw::ScsiCommand chunk(bool commits) {
    dw::ScsiCommand c;
    c.cdb = {0x3B, uint8_t(commits ? 5 : 4), 0, 0, 0, 0, 0, 0x20, 0x00, 0};
    return c;
}

// The redrawn lines, as a terminal shows them one after the other.
std::vector<std::string> frames(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t at = 0; (at = text.find('\r', at)) != std::string::npos; ++at) {
        const size_t end = text.find("\033[K", at);
        lines.push_back(text.substr(at + 1, end - at - 1));
    }
    return lines;
}

}  // namespace

TEST(CliProgress, theLineFitsTheWidthLeavingOutTheLeastNeededFirst) {
    const struct {
        dw::cli::ProgressLine line;
        int width;
        const char* text;
    } cases[] = {
        {{1, 1, 53, 126, 434176, 1028096, 3.2},
         80,
         "Downloading [######         ] 42% 53/126 chunks, 434176/1028096 bytes, 3.2 s"},
        {{1, 1, 53, 126, 434176, 1028096, 3.2}, 40, "Downloading 42% 53/126 chunks, 3.2 s"},
        {{1, 1, 126, 126, 1028096, 1028096, 12.5},
         200,
         "Downloading [##############################] 100% 126/126 chunks, 1028096/1028096 "
         "bytes, 12.5 s"},
        {{1, 2, 16, 64, 131072, 524288, 1.0},
         80,
         "Downloading pass 1 of 2 [#######                     ] 25% 16/64 chunks, 1.0 s"},
        {{2, 2, 64, 64, 524288, 524288, 9.0}, 40, "Downloading pass 2 of 2 100%, 9.0 s"},
        {{2, 2, 64, 64, 524288, 524288, 9.0}, 20, "Downloading pass 2"},
    };
    for (const auto& c : cases) {
        const std::string text = dw::cli::progressLineText(c.line, c.width);
        EXPECT_EQ(text, c.text) << c.width;
        EXPECT_LT(text.size(), static_cast<size_t>(c.width)) << text;
    }
}

TEST(CliProgress, theWidthIsTheTerminalsElseColumnsElse80) {
    EXPECT_EQ(dw::cli::progressWidth(132, "40"), 132);
    EXPECT_EQ(dw::cli::progressWidth(0, "40"), 40);
    for (const char* columns : {"", "0", "wide", "-5", "40x", "99999"}) {
        EXPECT_EQ(dw::cli::progressWidth(0, columns), 80) << columns;
    }
}

// Two passes of 4 chunks at 40 columns: each frame clears what the one before left, the pass
// is shown, the commit is told once, and a second pass's settle wait is told too.
TEST(CliProgress, redrawsEachPassAndTellsTheCommitAndEachSettleWait) {
    std::ostringstream err;
    StepClock clock;
    dw::cli::Progress progress(err, dw::cli::ProgressDisplay::Redrawn, 40, clock, {4, 32768, 2});
    dw::cli::SettleReportingClock settle(clock, progress);
    for (int pass = 0; pass < 2; ++pass) {
        for (int k = 0; k < 3; ++k) progress.commandSent(chunk(false), true);
        progress.committing();
        progress.commandSent(chunk(true), true);
        settle.sleep(1500);
        settle.sleep(500);  // the rest of the same wait
    }
    const auto lines = frames(err.str());
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[0], "Downloading pass 1 of 2 25% 1/4 chunks");
    EXPECT_EQ(lines[3], "Downloading pass 1 of 2 100% 4/4 chunks");
    EXPECT_EQ(lines[4], "Downloading pass 2 of 2 25% 1/4 chunks");
    const std::string text = err.str();
    EXPECT_EQ(text.find("Committing the firmware: the upgrade can no longer be interrupted\n"),
              text.rfind("Committing the firmware"));
    const std::string settled = "\nSettling: giving the drive 1.5 s to take the firmware\n";
    EXPECT_NE(text.find(settled), text.rfind(settled)) << text;  // once for each pass
    EXPECT_EQ(text.find("Settling: giving the drive 0.5 s"), std::string::npos);
}

// The wait after a committing chunk the drive refused, or that an interrupt kept back, does not
// claim the drive is taking the firmware.
TEST(CliProgress, theSettleWaitAfterAFailedOrUnsentCommitSaysSo) {
    for (const int how : {0, 1}) {
        std::ostringstream err;
        StepClock clock;
        dw::cli::Progress progress(err, dw::cli::ProgressDisplay::Lines, 80, clock, {2, 16384, 1});
        progress.commandSent(chunk(false), true);
        if (how == 0) progress.commandSent(chunk(true), false);
        progress.settling(2000);
        EXPECT_EQ(err.str().substr(err.str().find("Settling")),
                  how == 0 ? "Settling: waiting 2.0 s for the drive after the failed committing "
                             "chunk\n"
                           : "Settling: waiting 2.0 s for the drive; the committing chunk was not "
                             "sent\n");
    }
}
