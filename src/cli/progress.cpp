// The download's progress on stderr.
#include "cli/progress.h"

#include <algorithm>
#include <cstdio>

namespace dw::cli {

uint32_t downloadLengthOf(const ScsiCommand& command) {
    const auto& c = command.cdb;
    if (c[0] == 0x3B) return uint32_t(c[6]) << 16 | uint32_t(c[7]) << 8 | c[8];
    if (c[0] == 0xE2) {
        return uint32_t(c[6]) << 24 | uint32_t(c[7]) << 16 | uint32_t(c[8]) << 8 | c[9];
    }
    return 0;
}

Progress::Progress(std::ostream& err, bool terminal, Clock& clock, uint32_t totalChunks,
                   uint64_t totalBytes)
    : err_(err),
      terminal_(terminal),
      clock_(clock),
      start_(clock.tickCount()),
      totalChunks_(std::max<uint32_t>(totalChunks, 1)),
      totalBytes_(totalBytes) {}

void Progress::commandSent(const ScsiCommand& command, bool good) {
    const uint32_t length = downloadLengthOf(command);
    if (length == 0 || !good) return;
    ++chunks_;
    bytes_ += length;
    draw();
}

void Progress::draw() {
    const double seconds = (clock_.tickCount() - start_) / 1000.0;
    const uint32_t shown = std::min(chunks_, totalChunks_);
    char line[160];
    if (terminal_) {
        constexpr int kWidth = 30;
        const int filled = static_cast<int>(uint64_t(shown) * kWidth / totalChunks_);
        std::snprintf(line, sizeof line,
                      "\rDownloading [%-30.*s] %u/%u chunks, %llu/%llu bytes, %.1f s", filled,
                      "##############################", static_cast<unsigned>(chunks_),
                      static_cast<unsigned>(totalChunks_), static_cast<unsigned long long>(bytes_),
                      static_cast<unsigned long long>(totalBytes_), seconds);
        err_ << line << std::flush;
        lineOpen_ = true;
        return;
    }
    const int quarter = static_cast<int>(uint64_t(shown) * 4 / totalChunks_);
    if (quarter <= quartersShown_) return;
    quartersShown_ = quarter;
    std::snprintf(line, sizeof line, "Downloading: %u/%u chunks, %llu/%llu bytes, %.1f s\n",
                  static_cast<unsigned>(chunks_), static_cast<unsigned>(totalChunks_),
                  static_cast<unsigned long long>(bytes_),
                  static_cast<unsigned long long>(totalBytes_), seconds);
    err_ << line << std::flush;
}

void Progress::settling(uint32_t milliseconds) {
    finish();
    char line[96];
    std::snprintf(line, sizeof line, "Settling: giving the drive %.1f s to take the firmware\n",
                  milliseconds / 1000.0);
    err_ << line << std::flush;
}

void Progress::finish() {
    if (lineOpen_) err_ << "\n" << std::flush;
    lineOpen_ = false;
}

void SettleReportingClock::sleep(uint32_t milliseconds) {
    // The settle wait sleeps once, perhaps again for what is left; it is told once.
    if (!told_) progress_.settling(milliseconds);
    told_ = true;
    clock_.sleep(milliseconds);
}

}  // namespace dw::cli
