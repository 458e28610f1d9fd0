// The seam between the program and Linux: the few system calls the Linux back end makes, with
// the kernel's meaning and errno values but C++ types. The real implementation lives in
// platform/linux; sim/ has a simulated PC with a sysfs tree and drives behind SG_IO.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dw {

// How a device node is opened. The real implementation maps these to the C library's flags.
struct OpenMode {
    bool exclusive = false;  // O_EXCL: refused (EBUSY) while another holds or mounts the device
    bool readOnly = false;   // O_RDONLY instead of O_RDWR
};

// A device number as stat gives it (st_rdev) and as sysfs writes it in a `dev` file ("21:1").
struct DeviceNumber {
    uint32_t major = 0;
    uint32_t minor = 0;
    bool operator==(const DeviceNumber&) const = default;
};

// One SG_IO request (struct sg_io_hdr, the fields the program uses), in and out.
struct SgIoRequest {
    enum class Direction : uint8_t { None, ToDevice, FromDevice };

    // In.
    const uint8_t* cdb = nullptr;
    uint8_t cdbLength = 0;
    Direction direction = Direction::None;
    uint8_t* data = nullptr;
    uint32_t dataLength = 0;
    uint8_t* sense = nullptr;
    uint8_t senseCapacity = 0;
    uint32_t timeoutMs = 0;
    int32_t packId = 0;  // the sg driver's pack_id: read() gives it back with the answer

    // Out, as the kernel fills them.
    uint8_t status = 0;         // SCSI status byte
    uint16_t hostStatus = 0;    // DID_*: 0 when the host adapter delivered the command
    uint16_t driverStatus = 0;  // DRIVER_*: 0, or DRIVER_SENSE with CHECK CONDITION
    uint8_t senseWritten = 0;   // sense bytes the kernel wrote
    int32_t residual = 0;       // bytes of the data transfer that did not happen
};

// Host and driver status values the program names (Linux SCSI midlayer).
namespace sgstatus {
inline constexpr uint16_t kDidOk = 0x00;
inline constexpr uint16_t kDidNoConnect = 0x01;
inline constexpr uint16_t kDidTimeOut = 0x03;
inline constexpr uint16_t kDriverSense = 0x08;
inline constexpr uint16_t kDriverTimeout = 0x06;
}  // namespace sgstatus

class LinuxApi {
public:
    virtual ~LinuxApi() = default;

    struct OpenResult {
        int fd = -1;    // -1 on failure
        int error = 0;  // errno of a failed open
    };
    // Opens a device node for reading and writing, without blocking on it.
    virtual OpenResult openDevice(const std::string& path, OpenMode mode) = 0;
    // The SG_IO ioctl; the errno of a failed call, 0 when the kernel took the request.
    virtual int sgIo(int fd, SgIoRequest& request) = 0;
    // The sg driver's asynchronous interface. write() of the sg_io_hdr: the driver issues the
    // command and returns; the errno of a failed call (nothing was issued then), or 0.
    virtual int sgWrite(int fd, SgIoRequest& request) = 0;
    // poll() for POLLIN, without a time limit: 0 once an answer can be read, else the errno
    // (EINTR when a signal handler ran; ENODEV when the device went away).
    virtual int waitReadable(int fd) = 0;
    // read() of an answer: fills the request's out fields and its packId. The program's nodes
    // are non-blocking: EAGAIN while no answer is ready.
    virtual int sgRead(int fd, SgIoRequest& request) = 0;
    // fstat() of an open node: its device number (st_rdev).
    struct DeviceNumberResult {
        bool ok = false;
        DeviceNumber number;
        int error = 0;
    };
    virtual DeviceNumberResult deviceNumberOf(int fd) = 0;
    virtual int closeDevice(int fd) = 0;

    // A small text file (sysfs attributes, /proc/self/mounts, /proc/self/status): its bytes, or
    // nothing with errno.
    struct TextResult {
        bool ok = false;
        std::string text;
        int error = 0;
    };
    virtual TextResult readTextFile(const std::string& path) = 0;

    // The names in a directory, "." and ".." left out, in the order the system gives them.
    struct ListResult {
        bool ok = false;
        std::vector<std::string> names;
        int error = 0;
    };
    virtual ListResult listDirectory(const std::string& path) = 0;

    // The target of a symbolic link as it is written (often relative).
    virtual TextResult readLink(const std::string& path) = 0;

    // What a path names, links followed: a character or block device node and its number, or
    // something else. Taken without opening the device itself (O_PATH and fstat).
    struct NodeResult {
        enum class Kind : uint8_t { Other, Character, Block };
        bool ok = false;
        Kind kind = Kind::Other;
        DeviceNumber number;
        int error = 0;  // errno when not ok
    };
    virtual NodeResult statNode(const std::string& path) = 0;
    // A sleep inhibitor of logind (Inhibit with what "sleep" and mode "block"): while its
    // descriptor is open the system does not suspend or hibernate. -1 with the reason in
    // `error` where there is no system bus, no logind, or logind refused.
    struct InhibitResult {
        int fd = -1;
        std::string error;
    };
    virtual InhibitResult inhibitSleep(const std::string& who, const std::string& why) = 0;
    // Closes the inhibitor's descriptor: the system may sleep again.
    virtual void allowSleep(int fd) = 0;

    // The record of an upgrade. A log file opened for appending (created with mode 0644 where
    // there is none).
    virtual OpenResult openLogFile(const std::string& path) = 0;
    // `line` appended with one write(), so that the lines of programs appending at once never
    // mix; 0, or the errno.
    virtual int appendToLogFile(int fd, const std::string& line) = 0;
    virtual void closeLogFile(int fd) = 0;
    // One line in the system log (syslog(3), under the program's name), where the journal or
    // /var/log/syslog has it.
    enum class LogPriority : uint8_t { Notice, Error };
    virtual void writeSystemLog(LogPriority priority, const std::string& line) = 0;
    // The time of day: seconds since 1970-01-01 00:00 UTC.
    virtual int64_t secondsSinceEpoch() = 0;
};

}  // namespace dw
