// The upgrade's progress on stderr: the pass, the share done, chunks and bytes sent, the time
// since the download began, the point from which it can no longer be interrupted, and the
// drive's settle wait shown as such. On a terminal one line is redrawn within its width;
// elsewhere a line is written at each quarter of a pass, so that a log stays short.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "platform/windows_api.h"
#include "scsi/scsi_command.h"

namespace dw::cli {

enum class ProgressDisplay {
    Redrawn,  // a terminal: one line, redrawn
    Lines,    // a file or a pipe: a line at each quarter of a pass
    None,     // --quiet
};

// What the download will send: the chunks and bytes of one pass, and the passes expected.
struct ProgressPlan {
    uint32_t chunksPerPass = 1;
    uint64_t bytesPerPass = 0;
    uint32_t passes = 1;
};

// The state of the redrawn line: the pass, and the chunks and bytes sent in it.
struct ProgressLine {
    uint32_t pass = 1;
    uint32_t passes = 1;
    uint32_t chunks = 0;
    uint32_t totalChunks = 1;
    uint64_t bytes = 0;
    uint64_t totalBytes = 0;
    double seconds = 0;
};

// The redrawn line's text in fewer than `width` columns (the last one is left free, so that no
// terminal wraps): what does not fit is left out, the bytes first, then the bar, the time and the
// chunks; the pass and the percentage stay.
std::string progressLineText(const ProgressLine& line, int width);

// The width the line is fitted into: the terminal's (TIOCGWINSZ, 0 when it does not say), else
// the COLUMNS variable, else 80.
int progressWidth(int terminalColumns, const std::string& columnsVariable);

class Progress {
public:
    Progress(std::ostream& err, ProgressDisplay display, int width, Clock& clock,
             const ProgressPlan& plan);

    // A command was sent: the download's chunks are counted, the rest is not shown.
    void commandSent(const ScsiCommand& command, bool good);
    // The first committing command is on its way: from here on an interrupt no longer stops the
    // upgrade, and the user is told so.
    void committing();
    // The drive is given `milliseconds` to take what it was sent (told once for each wait).
    void settling(uint32_t milliseconds);
    // Ends the display's line.
    void finish();

private:
    void draw();
    void drawLine();
    void writeQuarterLine();

    std::ostream& err_;
    ProgressDisplay display_;
    int width_;
    Clock& clock_;
    uint32_t start_;
    ProgressPlan plan_;
    uint32_t pass_ = 1;
    uint32_t chunks_ = 0;  // of this pass
    uint64_t bytes_ = 0;   // of this pass
    bool passCommitted_ = false;
    int quartersShown_ = 0;
    bool lineOpen_ = false;
    bool toldCommitting_ = false;
    // The last committing command: whether one was sent since the last wait, and how it ended.
    bool commitSent_ = false;
    bool commitGood_ = false;
    bool settleTold_ = false;
};

// The clock the download procedures wait on, telling the progress of each wait.
class SettleReportingClock : public Clock {
public:
    SettleReportingClock(Clock& clock, Progress& progress) : clock_(clock), progress_(progress) {}
    uint32_t tickCount() override { return clock_.tickCount(); }
    void sleep(uint32_t milliseconds) override;

private:
    Clock& clock_;
    Progress& progress_;
};

// The number of bytes a download command carries by its CDB: WRITE BUFFER's parameter list
// length, the vendor write's length; 0 for any other command.
uint32_t downloadLengthOf(const ScsiCommand& command);

}  // namespace dw::cli
