// The real Linux seam: the C library's open, ioctl, write, poll, read, fstat, close,
// opendir/readdir and readlink, logind's sleep inhibitor over sd-bus, and the monotonic clock.
// Compiled by the native build only; included by the command line.
#pragma once

#include "platform/linux_api.h"
#include "platform/windows_api.h"

namespace dw {

class LinuxSystem : public LinuxApi {
public:
    OpenResult openDevice(const std::string& path, OpenMode mode) override;
    int sgIo(int fd, SgIoRequest& request) override;
    int sgWrite(int fd, SgIoRequest& request) override;
    int waitReadable(int fd) override;
    int sgRead(int fd, SgIoRequest& request) override;
    DeviceNumberResult deviceNumberOf(int fd) override;
    int closeDevice(int fd) override;
    TextResult readTextFile(const std::string& path) override;
    ListResult listDirectory(const std::string& path) override;
    TextResult readLink(const std::string& path) override;
    NodeResult statNode(const std::string& path) override;
    InhibitResult inhibitSleep(const std::string& who, const std::string& why) override;
    void allowSleep(int fd) override;
    OpenResult openLogFile(const std::string& path) override;
    int appendToLogFile(int fd, const std::string& line) override;
    void closeLogFile(int fd) override;
    void writeSystemLog(LogPriority priority, const std::string& line) override;
    int64_t secondsSinceEpoch() override;
};

// Milliseconds of the monotonic clock, as the download procedures count their waits.
class MonotonicClock : public Clock {
public:
    uint32_t tickCount() override;
    void sleep(uint32_t milliseconds) override;
};

}  // namespace dw
