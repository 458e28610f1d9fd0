// The real Linux seam over the C library. Device nodes and sysfs files are reached only through
// open, read, ioctl and close; directories through opendir and readdir; links through readlink.
#include "platform/linux/linux_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace dw {

LinuxApi::OpenResult LinuxSystem::openDevice(const std::string& path, OpenMode mode) {
    int flags = O_RDWR | O_NONBLOCK | O_CLOEXEC;
    if (mode.exclusive) flags |= O_EXCL;
    OpenResult result;
    result.fd = ::open(path.c_str(), flags);
    if (result.fd < 0) result.error = errno;
    return result;
}

int LinuxSystem::sgIo(int fd, SgIoRequest& request) {
    sg_io_hdr_t header;
    std::memset(&header, 0, sizeof header);
    header.interface_id = 'S';
    switch (request.direction) {
        case SgIoRequest::Direction::None: header.dxfer_direction = SG_DXFER_NONE; break;
        case SgIoRequest::Direction::ToDevice: header.dxfer_direction = SG_DXFER_TO_DEV; break;
        case SgIoRequest::Direction::FromDevice: header.dxfer_direction = SG_DXFER_FROM_DEV; break;
    }
    header.cmd_len = request.cdbLength;
    header.mx_sb_len = request.senseCapacity;
    header.dxfer_len = request.dataLength;
    header.dxferp = request.data;
    header.cmdp = const_cast<unsigned char*>(request.cdb);
    header.sbp = request.sense;
    header.timeout = request.timeoutMs;
    // An upgrade holds signals back from its confirmation to its end, so no signal ends this
    // wait then; list and check end at Ctrl+C at once, even while a command waits.
    if (::ioctl(fd, SG_IO, &header) < 0) return errno;
    request.status = header.status;
    request.hostStatus = header.host_status;
    request.driverStatus = header.driver_status;
    request.senseWritten = header.sb_len_wr;
    request.residual = header.resid;
    return 0;
}

int LinuxSystem::closeDevice(int fd) { return ::close(fd) < 0 ? errno : 0; }

LinuxApi::TextResult LinuxSystem::readTextFile(const std::string& path) {
    TextResult result;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        result.error = errno;
        return result;
    }
    // sysfs attributes are at most a page; /proc/self/mounts may be longer, so read to the end,
    // bounded so that a file that never ends cannot hold the program.
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            result.error = errno;
            ::close(fd);
            return result;
        }
        if (n == 0) break;
        result.text.append(buffer, static_cast<size_t>(n));
        if (result.text.size() > (1u << 20)) break;
    }
    ::close(fd);
    result.ok = true;
    return result;
}

LinuxApi::ListResult LinuxSystem::listDirectory(const std::string& path) {
    ListResult result;
    DIR* dir = ::opendir(path.c_str());
    if (dir == nullptr) {
        result.error = errno;
        return result;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") result.names.push_back(name);
    }
    ::closedir(dir);
    result.ok = true;
    return result;
}

LinuxApi::TextResult LinuxSystem::readLink(const std::string& path) {
    TextResult result;
    char buffer[4096];
    const ssize_t n = ::readlink(path.c_str(), buffer, sizeof buffer);
    if (n < 0) {
        result.error = errno;
        return result;
    }
    result.text.assign(buffer, static_cast<size_t>(n));
    result.ok = true;
    return result;
}

uint32_t MonotonicClock::tickCount() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000u +
                                 static_cast<uint64_t>(now.tv_nsec) / 1000000u);
}

void MonotonicClock::sleep(uint32_t milliseconds) {
    timespec wait{static_cast<time_t>(milliseconds / 1000),
                  static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&wait, &wait) < 0 && errno == EINTR) {
    }
}

}  // namespace dw
