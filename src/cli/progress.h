// The upgrade's progress on stderr: chunks and bytes sent, the time since the download began,
// and the drive's settle wait shown as such. On a terminal one line is redrawn; elsewhere a line
// is written at each quarter, so that a log stays short.
#pragma once

#include <cstdint>
#include <ostream>

#include "platform/windows_api.h"
#include "scsi/scsi_command.h"

namespace dw::cli {

class Progress {
public:
    Progress(std::ostream& err, bool terminal, Clock& clock, uint32_t totalChunks,
             uint64_t totalBytes);

    // A command was sent: the download's chunks are counted, the rest is not shown.
    void commandSent(const ScsiCommand& command, bool good);
    // The drive is given `milliseconds` to take what it was sent.
    void settling(uint32_t milliseconds);
    // Ends the display's line.
    void finish();

    uint32_t chunks() const { return chunks_; }
    uint64_t bytes() const { return bytes_; }

private:
    void draw();

    std::ostream& err_;
    bool terminal_;
    Clock& clock_;
    uint32_t start_;
    uint32_t totalChunks_;
    uint64_t totalBytes_;
    uint32_t chunks_ = 0;
    uint64_t bytes_ = 0;
    int quartersShown_ = 0;
    bool lineOpen_ = false;
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
    bool told_ = false;
};

// The number of bytes a download command carries by its CDB: WRITE BUFFER's parameter list
// length, the vendor write's length; 0 for any other command.
uint32_t downloadLengthOf(const ScsiCommand& command);

}  // namespace dw::cli
