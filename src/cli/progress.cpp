// The download's progress on stderr.
#include "cli/progress.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "firmware/upgrade_outcome.h"

namespace dw::cli {

namespace {

constexpr int kDefaultWidth = 80;
constexpr int kWidestBar = 30;
constexpr int kNarrowestBar = 10;

std::string ofTotal(uint64_t done, uint64_t total) {
    return std::to_string(done) + "/" + std::to_string(total);
}

}  // namespace

uint32_t downloadLengthOf(const ScsiCommand& command) {
    const auto& c = command.cdb;
    if (c[0] == 0x3B) return uint32_t(c[6]) << 16 | uint32_t(c[7]) << 8 | c[8];
    if (c[0] == 0xE2) {
        return uint32_t(c[6]) << 24 | uint32_t(c[7]) << 16 | uint32_t(c[8]) << 8 | c[9];
    }
    return 0;
}

int progressWidth(int terminalColumns, const std::string& columnsVariable) {
    if (terminalColumns > 0) return terminalColumns;
    const bool digits = !columnsVariable.empty() && columnsVariable.size() <= 4 &&
                        columnsVariable.find_first_not_of("0123456789") == std::string::npos;
    const int columns = digits ? std::atoi(columnsVariable.c_str()) : 0;
    return columns > 0 ? columns : kDefaultWidth;
}

std::string progressLineText(const ProgressLine& line, int width) {
    const uint32_t total = std::max<uint32_t>(line.totalChunks, 1);
    const uint32_t shown = std::min(line.chunks, total);
    std::string head = "Downloading";
    if (line.passes > 1) {
        head += " pass " + std::to_string(line.pass) + " of " + std::to_string(line.passes);
    }
    const std::string percent = " " + std::to_string(uint64_t(shown) * 100 / total) + "%";
    const std::string chunks = " " + ofTotal(line.chunks, total) + " chunks";
    const std::string bytes = ", " + ofTotal(line.bytes, line.totalBytes) + " bytes";
    char time[32];
    std::snprintf(time, sizeof time, ", %.1f s", line.seconds);

    // Left out in this order while the line does not fit. The line is laid out for its widest
    // numbers, so that the bar keeps its width as they grow.
    bool withBytes = true, withBar = true, withTime = true, withChunks = true;
    const auto room = static_cast<size_t>(std::max(width - 1, 1));
    const std::string widestChunks = " " + ofTotal(std::max(line.chunks, total), total) + " chunks";
    const std::string widestBytes =
        ", " + ofTotal(std::max(line.bytes, line.totalBytes), line.totalBytes) + " bytes";
    auto length = [&] {
        return head.size() + std::strlen(" 100%") + (withChunks ? widestChunks.size() : 0) +
               (withBytes ? widestBytes.size() : 0) + (withTime ? std::strlen(time) : 0) +
               (withBar ? 3 + kNarrowestBar : 0);
    };
    for (bool* part : {&withBytes, &withBar, &withTime, &withChunks}) {
        if (length() > room) *part = false;
    }
    // A part left out before a longer one was may fit again.
    for (bool* part : {&withTime, &withBar, &withBytes}) {
        if (*part) continue;
        *part = true;
        if (length() > room) *part = false;
    }
    std::string text = head;
    if (withBar) {
        const size_t bar = std::min<size_t>(kWidestBar, room - length() + kNarrowestBar);
        const size_t filled = uint64_t(shown) * bar / total;
        text += " [" + std::string(filled, '#') + std::string(bar - filled, ' ') + "]";
    }
    text += percent;
    if (withChunks) text += chunks;
    if (withBytes) text += bytes;
    if (withTime) text += time;
    text.resize(std::min(text.size(), room));
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

Progress::Progress(std::ostream& err, ProgressDisplay display, int width, Clock& clock,
                   const ProgressPlan& plan)
    : err_(err),
      display_(display),
      width_(width),
      clock_(clock),
      start_(clock.tickCount()),
      plan_(plan) {
    plan_.chunksPerPass = std::max<uint32_t>(plan_.chunksPerPass, 1);
    plan_.passes = std::max<uint32_t>(plan_.passes, 1);
}

void Progress::commandSent(const ScsiCommand& command, bool good) {
    settleTold_ = false;  // a wait told is over once a command goes out
    const bool commits = IsCommittingCommand(command);
    commitSent_ = commits;
    commitGood_ = commits && good;
    const uint32_t length = downloadLengthOf(command);
    if (length == 0 || !good) return;
    if (passCommitted_) {  // the first chunk after a committed pass begins the next one
        ++pass_;
        chunks_ = 0;
        bytes_ = 0;
        quartersShown_ = 0;
        passCommitted_ = false;
    }
    ++chunks_;
    bytes_ += length;
    passCommitted_ = commits;
    draw();
}

void Progress::draw() {
    if (display_ == ProgressDisplay::Redrawn) drawLine();
    if (display_ == ProgressDisplay::Lines) writeQuarterLine();
}

// From the start of the line, its text, and the rest of the line cleared (what a longer line
// drawn before left there).
void Progress::drawLine() {
    ProgressLine line;
    line.pass = pass_;
    line.passes = std::max(plan_.passes, pass_);
    line.chunks = chunks_;
    line.totalChunks = plan_.chunksPerPass;
    line.bytes = bytes_;
    line.totalBytes = plan_.bytesPerPass;
    line.seconds = (clock_.tickCount() - start_) / 1000.0;
    err_ << "\r" << progressLineText(line, width_) << "\033[K" << std::flush;
    lineOpen_ = true;
}

void Progress::writeQuarterLine() {
    const uint32_t shown = std::min(chunks_, plan_.chunksPerPass);
    const int quarter = static_cast<int>(uint64_t(shown) * 4 / plan_.chunksPerPass);
    if (quarter <= quartersShown_) return;
    quartersShown_ = quarter;
    std::string head = "Downloading";
    if (std::max(plan_.passes, pass_) > 1) {
        head += " pass " + std::to_string(pass_) + " of " +
                std::to_string(std::max(plan_.passes, pass_));
    }
    char line[160];
    std::snprintf(line, sizeof line, "%s: %u/%u chunks, %llu/%llu bytes, %.1f s\n", head.c_str(),
                  static_cast<unsigned>(chunks_), static_cast<unsigned>(plan_.chunksPerPass),
                  static_cast<unsigned long long>(bytes_),
                  static_cast<unsigned long long>(plan_.bytesPerPass),
                  (clock_.tickCount() - start_) / 1000.0);
    err_ << line << std::flush;
}

void Progress::committing() {
    if (toldCommitting_ || display_ == ProgressDisplay::None) return;
    toldCommitting_ = true;
    finish();
    err_ << "Committing the firmware: the upgrade can no longer be interrupted\n" << std::flush;
}

// After the committing chunk: what the drive is waited for depends on how that chunk ended.
void Progress::settling(uint32_t milliseconds) {
    if (settleTold_) return;  // the wait sleeps once, perhaps again for what is left
    settleTold_ = true;
    if (display_ == ProgressDisplay::None) return;
    finish();
    char seconds[24];
    std::snprintf(seconds, sizeof seconds, "%.1f s", milliseconds / 1000.0);
    const std::string line =
        commitGood_ ? std::string("Settling: giving the drive ") + seconds + " to take the firmware"
        : commitSent_ ? std::string("Settling: waiting ") + seconds +
                            " for the drive after the failed committing chunk"
                      : std::string("Settling: waiting ") + seconds +
                            " for the drive; the committing chunk was not sent";
    err_ << line << "\n" << std::flush;
}

void Progress::finish() {
    if (lineOpen_) err_ << "\n" << std::flush;
    lineOpen_ = false;
}

void SettleReportingClock::sleep(uint32_t milliseconds) {
    progress_.settling(milliseconds);
    clock_.sleep(milliseconds);
}

}  // namespace dw::cli
