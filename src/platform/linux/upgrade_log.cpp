// The record of an upgrade: a line in the system log through syslog(3), and a line appended to
// the log file the user names.
#include <fcntl.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "platform/linux/linux_system.h"

namespace dw {

LinuxApi::OpenResult LinuxSystem::openLogFile(const std::string& path) {
    OpenResult result;
    result.fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (result.fd < 0) result.error = errno;
    return result;
}

// With O_APPEND the kernel moves to the end and writes under the file's lock, so one write()
// lands whole at the end; a write cut short by a full disc is reported as the error it is.
int LinuxSystem::appendToLogFile(int fd, const std::string& line) {
    ssize_t n;
    do {
        n = ::write(fd, line.data(), line.size());
    } while (n < 0 && errno == EINTR);
    if (n < 0) return errno;
    return static_cast<size_t>(n) == line.size() ? 0 : ENOSPC;
}

void LinuxSystem::closeLogFile(int fd) {
    if (fd >= 0) ::close(fd);
}

// LOG_USER: the program runs as a command, not as a daemon. The journal files it under its name
// (journalctl -t drivewright); rsyslog writes it to /var/log/syslog.
void LinuxSystem::writeSystemLog(LogPriority priority, const std::string& line) {
    openlog("drivewright", LOG_PID, LOG_USER);
    syslog((priority == LogPriority::Notice ? LOG_NOTICE : LOG_ERR), "%s", line.c_str());
    closelog();
}

int64_t LinuxSystem::secondsSinceEpoch() { return static_cast<int64_t>(std::time(nullptr)); }

}  // namespace dw
