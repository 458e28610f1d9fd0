// The real Linux seam over the C library. Device nodes and sysfs files are reached only through
// open, read, write, poll, ioctl, fstat and close; directories through opendir and readdir; links
// through readlink; what a name stands for through open (O_PATH) and fstat.
#include "platform/linux/linux_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace dw {

LinuxApi::OpenResult LinuxSystem::openDevice(const std::string& path, OpenMode mode) {
    // O_NONBLOCK: an sg node held by another program refuses the open at once (EBUSY) instead
    // of waiting for it, and a CD's block node opens without a disc.
    int flags = (mode.readOnly ? O_RDONLY : O_RDWR) | O_NONBLOCK | O_CLOEXEC;
    if (mode.exclusive) flags |= O_EXCL;
    OpenResult result;
    result.fd = ::open(path.c_str(), flags);
    if (result.fd < 0) result.error = errno;
    return result;
}

namespace {

sg_io_hdr_t headerFor(const SgIoRequest& request) {
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
    header.pack_id = request.packId;
    return header;
}

// The device number of a device node, as fstat gives it.
DeviceNumber numberOf(const struct stat& status) {
    return {static_cast<uint32_t>(major(status.st_rdev)),
            static_cast<uint32_t>(minor(status.st_rdev))};
}

void takeAnswer(const sg_io_hdr_t& header, SgIoRequest& request) {
    request.status = header.status;
    request.hostStatus = header.host_status;
    request.driverStatus = header.driver_status;
    request.senseWritten = header.sb_len_wr;
    request.residual = header.resid;
    request.packId = header.pack_id;
}

}  // namespace

int LinuxSystem::sgIo(int fd, SgIoRequest& request) {
    sg_io_hdr_t header = headerFor(request);
    // An upgrade holds signals back from its confirmation to its end, so no signal ends this
    // wait then; list and check end at Ctrl+C at once, even while a command waits.
    if (::ioctl(fd, SG_IO, &header) < 0) return errno;
    takeAnswer(header, request);
    return 0;
}

int LinuxSystem::sgWrite(int fd, SgIoRequest& request) {
    const sg_io_hdr_t header = headerFor(request);
    const ssize_t n = ::write(fd, &header, sizeof header);
    if (n < 0) return errno;
    return n == static_cast<ssize_t>(sizeof header) ? 0 : EIO;
}

int LinuxSystem::waitReadable(int fd) {
    pollfd wanted = {fd, POLLIN, 0};
    if (::poll(&wanted, 1, -1) < 0) return errno;
    if ((wanted.revents & POLLIN) != 0) return 0;
    if ((wanted.revents & POLLNVAL) != 0) return EBADF;
    return (wanted.revents & POLLHUP) != 0 ? ENODEV : EIO;  // the sg device is detaching
}

int LinuxSystem::sgRead(int fd, SgIoRequest& request) {
    sg_io_hdr_t header;
    std::memset(&header, 0, sizeof header);
    header.interface_id = 'S';
    const ssize_t n = ::read(fd, &header, sizeof header);
    if (n < 0) return errno;
    if (n != static_cast<ssize_t>(sizeof header)) return EIO;
    takeAnswer(header, request);
    return 0;
}

LinuxApi::DeviceNumberResult LinuxSystem::deviceNumberOf(int fd) {
    DeviceNumberResult result;
    struct stat status {};
    result.ok = ::fstat(fd, &status) == 0;
    result.error = result.ok ? 0 : errno;
    result.number = numberOf(status);
    return result;
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

LinuxApi::NodeResult LinuxSystem::statNode(const std::string& path) {
    NodeResult result;
    // O_PATH reaches the inode without calling the device's open: no driver sees it.
    const int fd = ::open(path.c_str(), O_PATH | O_CLOEXEC);
    if (fd < 0) {
        result.error = errno;
        return result;
    }
    struct stat status {};
    result.ok = ::fstat(fd, &status) == 0;
    result.error = result.ok ? 0 : errno;
    ::close(fd);
    if (!result.ok) return result;
    if (S_ISCHR(status.st_mode)) result.kind = NodeResult::Kind::Character;
    if (S_ISBLK(status.st_mode)) result.kind = NodeResult::Kind::Block;
    result.number = numberOf(status);
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
