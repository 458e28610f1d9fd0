// The simulated Linux PC behind a real program: preloaded (LD_PRELOAD) into drivewright, it
// answers the C library's open (O_PATH too), read, write, poll, fstat, close, ioctl (SG_IO),
// opendir/readdir/closedir and readlink for /sys, /dev/sg*, /dev/sr*, the links it holds in /dev,
// /proc/self/mounts and /proc/self/status from the PC that the file named by
// DRIVEWRIGHT_LINUX_SIM describes, decides whether /dev/tty opens, and passes every other call
// on (a read of a file a bad-read line names fails). Beside that file it appends every command
// the drives receive to drives.log, in the line format of the simulated wnaspi32.dll, and writes
// each image a drive commits to drive-<host>-<target>.bin, and its revision, which the drive
// keeps into the next run, to drive-<host>-<target>.revision. What the program writes to the
// system log goes to syslog.log there.
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <scsi/sg.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <syslog.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>

#include "sim/linux_config.h"

namespace {

template <typename F>
F next(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

struct OpenFile {
    bool device = false;
    std::string path;               // a device node's, as opened
    bool pathOnly = false;          // opened with O_PATH: fstat answers, read and ioctl do not
    dw::LinuxApi::NodeResult node;  // what fstat tells of it
    // The sg driver's wait for a command gives way to a signal (the call then fails with EINTR
    // while the drive carries on with the command); the block layer's, behind /dev/srN, does not.
    bool interruptibleWait = false;
    bool nonBlocking = false;
    int simFd = -1;
    std::string text;
    size_t offset = 0;
    // The request written to an sg node and not read yet, and when the drive is done with it.
    bool written = false;
    sg_io_hdr_t header = {};
    long long readyAtMs = 0;
};

struct FakeDir {
    uint32_t magic = 0x44575344;  // "DWSD"
    std::vector<dirent> entries;
    size_t next = 0;
};

struct Simulation {
    sim::SimulatedLinux pc;
    std::string folder;
    std::map<int, OpenFile> files;  // by the real descriptor reserved for each
    std::map<DIR*, std::unique_ptr<FakeDir>> dirs;
    std::vector<sim::LinuxConfig::BadRead> badReads;
    int latencyMs = 0;  // how long the drive takes over the command just executed
};

Simulation* gSim = nullptr;
bool gLoading = false;
// Set by SIGCONT: the program was stopped and continued while it waited.
volatile sig_atomic_t gContinued = 0;

void onContinue(int) { gContinued = 1; }

long long nowMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

int gCommands = 0;  // commands the drives received so far

void logLine(const std::string& line, const char* name = "drives.log") {
    FILE* log = std::fopen((gSim->folder + name).c_str(), "ab");
    if (log == nullptr) return;
    std::fprintf(log, "%s\n", line.c_str());
    std::fclose(log);
}

// Where a drive's committed revision is kept from one run to the next.
std::string revisionFile(int host, int target) {
    return gSim->folder + "drive-" + std::to_string(host) + "-" + std::to_string(target) +
           ".revision";
}

// A drive that committed firmware in an earlier run of the scenario starts with its revision.
void keepCommittedRevisions(sim::LinuxConfig& config) {
    for (sim::LinuxDriveConfig& d : config.drives) {
        std::ifstream kept(revisionFile(d.placement.host, d.placement.target));
        std::string revision;
        if (std::getline(kept, revision) && !revision.empty()) d.drive.revision = revision;
    }
}

void onCommand(const sim::LinuxPlacement& where, const sim::KorvaneDrive& drive,
               const sim::ReceivedCommand& command, uint8_t status) {
    ++gCommands;
    logLine(sim::commandLogLine(where.host, where.target, command, status));
    static std::map<const sim::KorvaneDrive*, int> commits;
    const bool committed = drive.commits != commits[&drive];
    if (committed) {
        commits[&drive] = drive.commits;
        const std::string name = gSim->folder + "drive-" + std::to_string(where.host) + "-" +
                                 std::to_string(where.target) + ".bin";
        std::ofstream out(name, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(drive.committedImage.data()),
                  static_cast<std::streamsize>(drive.committedImage.size()));
        // The drive keeps the firmware it committed into the next run of the program.
        std::ofstream(revisionFile(where.host, where.target), std::ios::trunc) << drive.revision();
        logLine("commit " + std::to_string(where.host) + " " + std::to_string(where.target) +
                " bytes=" + std::to_string(drive.committedImage.size()) +
                " revision=" + drive.revision());
    }
    static std::map<std::pair<const sim::KorvaneDrive*, uint8_t>, int> counts;
    const int nth = ++counts[{&drive, command.opcode()}];
    for (const auto& placed : gSim->pc.placed) {
        if (placed.placement.host != where.host || placed.placement.channel != where.channel ||
            placed.placement.target != where.target || placed.placement.lun != where.lun) {
            continue;
        }
        gSim->latencyMs =
            committed && placed.commitLatencyMs >= 0 ? placed.commitLatencyMs : placed.latencyMs;
        for (const auto& slow : placed.slow) {
            if (slow.matches(command.opcode(), nth)) gSim->latencyMs = slow.what;
        }
    }
}

// The PC, built on first use. A missing or unreadable configuration gives a PC without drives,
// and the log says why.
Simulation& simulation() {
    if (gSim != nullptr) return *gSim;
    gLoading = true;
    gSim = new Simulation;
    const char* path = std::getenv("DRIVEWRIGHT_LINUX_SIM");
    std::string file = path != nullptr ? path : "";
    gSim->folder = file.substr(0, file.find_last_of('/') + 1);
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    std::string error;
    auto config = in ? sim::parseLinuxConfig(text.str(), error) : std::nullopt;
    if (!config) {
        logLine("config: " + (in ? error : std::string("no configuration")));
    } else {
        keepCommittedRevisions(*config);
        sim::buildLinux(*config, gSim->pc);
        gSim->badReads = config->badReads;
        logLine("config: " + std::to_string(config->drives.size()) + " drives");
    }
    gSim->pc.machine.commandSeen = onCommand;
    // A stop and continue shows as SIGCONT; restarted calls are told from interrupted ones so.
    struct sigaction action = {};
    action.sa_handler = onContinue;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(SIGCONT, &action, nullptr);
    gLoading = false;
    return *gSim;
}

bool simulated(const char* path) {
    if (path == nullptr || gLoading) return false;
    const std::string p = path;
    return p == "/sys" || p.rfind("/sys/", 0) == 0 || p.rfind("/dev/sg", 0) == 0 ||
           p.rfind("/dev/sr", 0) == 0 || p == "/proc/self/mounts" || p == "/proc/self/status" ||
           p == "/dev/disk" || p.rfind("/dev/disk/", 0) == 0 ||             // never the host's own
           (p.rfind("/dev/", 0) == 0 && simulation().pc.machine.holds(p));  // udev's links
}

using OpenFn = int (*)(const char*, int, ...);
using ReadFn = ssize_t (*)(int, void*, size_t);
using WriteFn = ssize_t (*)(int, const void*, size_t);
using PollFn = int (*)(pollfd*, nfds_t, int);
using CloseFn = int (*)(int);
using IoctlFn = int (*)(int, unsigned long, ...);
using OpendirFn = DIR* (*)(const char*);
using ReaddirFn = dirent* (*)(DIR*);
using ClosedirFn = int (*)(DIR*);
using ReadlinkFn = ssize_t (*)(const char*, char*, size_t);

// A real descriptor that stands for the simulated one, so that numbers never collide.
int reserveDescriptor() {
    static OpenFn realOpen = next<OpenFn>("open");
    return realOpen("/dev/null", O_RDONLY | O_CLOEXEC);
}

int simulatedOpen(const char* path, int flags) {
    Simulation& s = simulation();
    OpenFile file;
    file.node = s.pc.machine.statNode(path);
    const auto text =
        (flags & O_PATH) != 0 ? dw::LinuxApi::TextResult{} : s.pc.machine.readTextFile(path);
    if ((flags & O_PATH) != 0) {
        // The name alone: no driver's open is called, no exclusive claim is tested.
        if (!file.node.ok) {
            errno = file.node.error;
            return -1;
        }
        file.pathOnly = true;
    } else if (text.ok) {
        file.text = text.text;
    } else if (text.error == EINVAL) {  // a device node
        dw::OpenMode mode;
        mode.exclusive = (flags & O_EXCL) != 0;
        mode.readOnly = (flags & O_ACCMODE) == O_RDONLY;
        const auto opened = s.pc.machine.openDevice(path, mode);
        logLine(std::string("open ") + path + (mode.exclusive ? " exclusive" : "") +
                    (mode.readOnly ? " read-only" : "") + " after " + std::to_string(gCommands) +
                    " commands" +
                    (opened.fd < 0 ? " -> error " + std::to_string(opened.error) : ""),
                "opens.log");
        if (opened.fd < 0) {
            errno = opened.error;
            return -1;
        }
        file.device = true;
        file.path = path;
        file.simFd = opened.fd;
        file.interruptibleWait = s.pc.machine.devicePath(opened.fd).rfind("/dev/sg", 0) == 0;
        file.nonBlocking = (flags & O_NONBLOCK) != 0;
    } else {
        errno = text.error;
        return -1;
    }
    const int fd = reserveDescriptor();
    if (fd < 0) {
        if (file.device) s.pc.machine.closeDevice(file.simFd);
        return -1;
    }
    s.files[fd] = file;
    return fd;
}

OpenFile* openFile(int fd) {
    if (gSim == nullptr) return nullptr;
    auto it = gSim->files.find(fd);
    return it == gSim->files.end() ? nullptr : &it->second;
}

// How a wait for the drive ended.
enum class WaitEnd { Done, Interrupted, Stopped };

// Waits until `readyAtMs`, as the kernel would. An interruptible wait (the sg driver's) ends
// early when a signal the program handles comes; behind /dev/srN the block layer waits whatever
// comes. A stop and continue restarts the wait where no handler of the program ran: Stopped
// tells that it happened.
WaitEnd waitUntil(long long readyAtMs, bool interruptible) {
    sigset_t all, before;
    sigfillset(&all);
    if (!interruptible) sigprocmask(SIG_BLOCK, &all, &before);
    gContinued = 0;
    bool stopped = false;
    WaitEnd end = WaitEnd::Done;
    for (long long left; (left = readyAtMs - nowMs()) > 0;) {
        if (usleep(static_cast<useconds_t>(left) * 1000) == 0 || errno != EINTR) continue;
        if (gContinued) {
            gContinued = 0;
            stopped = true;
        } else if (interruptible) {
            end = WaitEnd::Interrupted;
            break;
        }
    }
    if (!interruptible) sigprocmask(SIG_SETMASK, &before, nullptr);
    return end == WaitEnd::Done && stopped ? WaitEnd::Stopped : end;
}

int simulatedSgIo(OpenFile& file, sg_io_hdr_t* header) {
    if (header == nullptr || header->interface_id != 'S') {
        errno = EINVAL;
        return -1;
    }
    dw::SgIoRequest request;
    request.cdb = header->cmdp;
    request.cdbLength = header->cmd_len;
    switch (header->dxfer_direction) {
        case SG_DXFER_TO_DEV: request.direction = dw::SgIoRequest::Direction::ToDevice; break;
        case SG_DXFER_FROM_DEV: request.direction = dw::SgIoRequest::Direction::FromDevice; break;
        default: request.direction = dw::SgIoRequest::Direction::None; break;
    }
    request.data = static_cast<uint8_t*>(header->dxferp);
    request.dataLength = header->dxfer_len;
    request.sense = header->sbp;
    request.senseCapacity = header->mx_sb_len;
    request.timeoutMs = header->timeout;
    for (;;) {
        gSim->latencyMs = 0;
        const int error = gSim->pc.machine.sgIo(file.simFd, request);
        if (error != 0) {
            errno = error;
            return -1;
        }
        const WaitEnd end = waitUntil(nowMs() + gSim->latencyMs, file.interruptibleWait);
        if (end == WaitEnd::Interrupted) {  // sg.c orphans the request: its answer is lost
            errno = EINTR;
            return -1;
        }
        // After a stop the kernel restarts the ioctl, and sg.c issues the command once more.
        if (end != WaitEnd::Stopped || !file.interruptibleWait) break;
    }
    header->status = request.status;
    header->masked_status = request.status >> 1;
    header->host_status = request.hostStatus;
    header->driver_status = request.driverStatus;
    header->sb_len_wr = request.senseWritten;
    header->resid = request.residual;
    header->info = request.status != 0 || request.hostStatus != 0 ? SG_INFO_CHECK : 0;
    return 0;
}

dw::SgIoRequest requestOf(const sg_io_hdr_t& header) {
    dw::SgIoRequest request;
    request.cdb = header.cmdp;
    request.cdbLength = header.cmd_len;
    switch (header.dxfer_direction) {
        case SG_DXFER_TO_DEV: request.direction = dw::SgIoRequest::Direction::ToDevice; break;
        case SG_DXFER_FROM_DEV: request.direction = dw::SgIoRequest::Direction::FromDevice; break;
        default: request.direction = dw::SgIoRequest::Direction::None; break;
    }
    request.data = static_cast<uint8_t*>(header.dxferp);
    request.dataLength = header.dxfer_len;
    request.sense = header.sbp;
    request.senseCapacity = header.mx_sb_len;
    request.timeoutMs = header.timeout;
    request.packId = header.pack_id;
    return request;
}

// write() of an sg_io_hdr to an sg node: the command is issued now, its answer read later.
ssize_t simulatedWrite(OpenFile& file, const void* buffer, size_t count) {
    if (!file.device || count < sizeof(sg_io_hdr_t)) {
        errno = file.device ? EINVAL : EBADF;
        return -1;
    }
    sg_io_hdr_t header;
    std::memcpy(&header, buffer, sizeof header);
    if (header.interface_id != 'S') {
        errno = ENOSYS;
        return -1;
    }
    dw::SgIoRequest request = requestOf(header);
    gSim->latencyMs = 0;
    const int error = gSim->pc.machine.sgWrite(file.simFd, request);
    if (error != 0) {
        errno = error;
        return -1;
    }
    file.written = true;
    file.header = header;
    file.readyAtMs = nowMs() + gSim->latencyMs;
    return static_cast<ssize_t>(count);
}

// poll() on one sg node: ready once the drive is done with the request written. A signal the
// program handles ends the wait with EINTR; after a stop the kernel restarts it.
int simulatedPoll(OpenFile& file, pollfd& wanted, int timeoutMs) {
    wanted.revents = 0;
    const int error = gSim->pc.machine.waitReadable(file.simFd);
    if (error != 0) {
        errno = error;
        return -1;
    }
    const long long until =
        timeoutMs < 0 ? file.readyAtMs : std::min(file.readyAtMs, nowMs() + timeoutMs);
    if (waitUntil(until, true) == WaitEnd::Interrupted) {
        errno = EINTR;
        return -1;
    }
    if (nowMs() < file.readyAtMs) return 0;
    wanted.revents = static_cast<short>(wanted.events & (POLLIN | POLLRDNORM));
    return wanted.revents != 0 ? 1 : 0;
}

// read() of the answer of the request written, with the header as it was written.
ssize_t simulatedAnswer(OpenFile& file, void* buffer, size_t count) {
    if (count < sizeof(sg_io_hdr_t)) {
        errno = EINVAL;
        return -1;
    }
    if (file.written && nowMs() < file.readyAtMs) {
        if (file.nonBlocking) {
            errno = EAGAIN;
            return -1;
        }
        waitUntil(file.readyAtMs, true);
    }
    dw::SgIoRequest request;
    const int error = gSim->pc.machine.sgRead(file.simFd, request);
    if (error != 0) {
        errno = error;
        return -1;
    }
    sg_io_hdr_t header = file.header;
    file.written = false;
    header.status = request.status;
    header.masked_status = request.status >> 1;
    header.host_status = request.hostStatus;
    header.driver_status = request.driverStatus;
    header.sb_len_wr = request.senseWritten;
    header.resid = request.residual;
    header.pack_id = request.packId;
    header.info = request.status != 0 || request.hostStatus != 0 ? SG_INFO_CHECK : 0;
    std::memcpy(buffer, &header, sizeof header);
    return static_cast<ssize_t>(sizeof header);
}

}  // namespace

extern "C" {

// /dev/tty, the process's controlling terminal: the PC gives the program one only where the
// scenario runs it in its pseudo-terminal (DRIVEWRIGHT_LINUX_SIM_TERMINAL set), and then the real
// open answers (with that terminal, or with ENXIO where the program was put in a session of its
// own). Elsewhere the open fails with ENXIO, as the kernel's does for a process that has no
// controlling terminal (tty_open_current_tty in drivers/tty/tty_io.c), so that the terminal the
// tests are run from never gets the program's question.
static bool controllingTerminalRefused(const char* path) {
    if (path == nullptr || std::strcmp(path, "/dev/tty") != 0) return false;
    if (std::getenv("DRIVEWRIGHT_LINUX_SIM_TERMINAL") != nullptr) return false;
    errno = ENXIO;
    return true;
}

// open and open64, and the fortified forms the compiler calls where it knows the flags take no
// mode: a simulated path is answered here, the rest goes to the C library's function of the name.
static int openOrForward(bool large, const char* path, int flags, mode_t mode) {
    if (simulated(path)) return simulatedOpen(path, flags);
    if (controllingTerminalRefused(path)) return -1;
    static OpenFn real = next<OpenFn>("open");
    static OpenFn real64 = next<OpenFn>("open64");
    return (large ? real64 : real)(path, flags, mode);
}

static mode_t modeOf(int flags, va_list args) {
    return (flags & (O_CREAT | O_TMPFILE)) ? va_arg(args, mode_t) : 0;
}

int open(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeOf(flags, args);
    va_end(args);
    return openOrForward(false, path, flags, mode);
}

int open64(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeOf(flags, args);
    va_end(args);
    return openOrForward(true, path, flags, mode);
}

int __open_2(const char* path, int flags) { return openOrForward(false, path, flags, 0); }

int __open64_2(const char* path, int flags) { return openOrForward(true, path, flags, 0); }

// A read of a file that a bad-read line names: the bytes before its offset, then the error.
bool readOfBadFile(int fd, void* buffer, size_t count, ssize_t& result) {
    static ReadlinkFn realReadlink = next<ReadlinkFn>("readlink");
    static ReadFn realRead = next<ReadFn>("read");
    char name[4096];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = realReadlink(link.c_str(), name, sizeof name);
    if (n <= 0) return false;
    const std::string path(name, static_cast<size_t>(n));
    for (const auto& bad : gSim->badReads) {
        if (bad.path != path) continue;
        const off_t at = lseek(fd, 0, SEEK_CUR);
        if (at >= 0 && static_cast<uint64_t>(at) >= bad.from) {
            // The end of the file still reads as the end; a byte beyond the offset fails.
            const ssize_t n = realRead(fd, buffer, count);
            if (n > 0) lseek(fd, at, SEEK_SET), errno = bad.error;
            result = n > 0 ? -1 : n;
        } else {
            const uint64_t left = at < 0 ? count : bad.from - static_cast<uint64_t>(at);
            result = realRead(fd, buffer, std::min<uint64_t>(count, left));
        }
        return true;
    }
    return false;
}

ssize_t read(int fd, void* buffer, size_t count) {
    if (gSim != nullptr && !gSim->badReads.empty() && openFile(fd) == nullptr) {
        ssize_t result = 0;
        if (readOfBadFile(fd, buffer, count, result)) return result;
    }
    if (OpenFile* file = openFile(fd)) {
        if (file->pathOnly) {
            errno = EBADF;
            return -1;
        }
        if (file->device) return simulatedAnswer(*file, buffer, count);
        const size_t n = std::min(count, file->text.size() - file->offset);
        std::memcpy(buffer, file->text.data() + file->offset, n);
        file->offset += n;
        return static_cast<ssize_t>(n);
    }
    static ReadFn real = next<ReadFn>("read");
    return real(fd, buffer, count);
}

ssize_t write(int fd, const void* buffer, size_t count) {
    if (OpenFile* file = openFile(fd)) return simulatedWrite(*file, buffer, count);
    static WriteFn real = next<WriteFn>("write");
    return real(fd, buffer, count);
}

// The C library declares poll's array write-only, yet poll reads the descriptors in it.
#if defined(__GNUC__) && !defined(__clang__)  // clang has no such warning, and says so
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
int poll(pollfd* fds, nfds_t count, int timeoutMs) {
    if (count == 1 && fds != nullptr) {
        if (OpenFile* file = openFile(fds[0].fd); file != nullptr && file->device) {
            return simulatedPoll(*file, fds[0], timeoutMs);
        }
    }
    static PollFn real = next<PollFn>("poll");
    return real(fds, count, timeoutMs);
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

int close(int fd) {
    if (OpenFile* file = openFile(fd)) {
        if (file->device) {
            gSim->pc.machine.closeDevice(file->simFd);
            logLine("close " + file->path + " after " + std::to_string(gCommands) + " commands",
                    "opens.log");
        }
        gSim->files.erase(fd);
    }
    static CloseFn real = next<CloseFn>("close");
    return real(fd);
}

int ioctl(int fd, unsigned long request, ...) {
    va_list args;
    va_start(args, request);
    void* argument = va_arg(args, void*);
    va_end(args);
    if (OpenFile* file = openFile(fd)) {
        if (file->pathOnly) {
            errno = EBADF;
            return -1;
        }
        if (!file->device || request != SG_IO) {
            errno = ENOTTY;
            return -1;
        }
        return simulatedSgIo(*file, static_cast<sg_io_hdr_t*>(argument));
    }
    static IoctlFn real = next<IoctlFn>("ioctl");
    return real(fd, request, argument);
}

// fstat of a simulated descriptor: the node's kind and device number.
static bool simulatedFstat(int fd, struct stat* status) {
    const OpenFile* file = openFile(fd);
    if (file == nullptr) return false;
    std::memset(status, 0, sizeof *status);
    using Kind = dw::LinuxApi::NodeResult::Kind;
    const Kind kind = file->node.kind;
    status->st_mode = kind == Kind::Block       ? S_IFBLK | 0660
                      : kind == Kind::Character ? S_IFCHR | 0660
                                                : S_IFREG | 0444;
    status->st_rdev = makedev(file->node.number.major, file->node.number.minor);
    status->st_size = static_cast<off_t>(file->text.size());
    status->st_nlink = 1;
    return true;
}

int fstat(int fd, struct stat* status) {
    if (simulatedFstat(fd, status)) return 0;
    using FstatFn = int (*)(int, struct stat*);
    static FstatFn real = next<FstatFn>("fstat");
    return real(fd, status);
}

int fstat64(int fd, struct stat64* status) {
    static_assert(sizeof(struct stat) == sizeof(struct stat64), "a 64-bit build");
    if (simulatedFstat(fd, reinterpret_cast<struct stat*>(status))) return 0;
    using Fstat64Fn = int (*)(int, struct stat64*);
    static Fstat64Fn real = next<Fstat64Fn>("fstat64");
    return real(fd, status);
}

DIR* opendir(const char* path) {
    if (simulated(path)) {
        Simulation& s = simulation();
        const auto listed = s.pc.machine.listDirectory(path);
        if (!listed.ok) {
            errno = listed.error;
            return nullptr;
        }
        auto dir = std::make_unique<FakeDir>();
        std::vector<std::string> names = {".", ".."};
        names.insert(names.end(), listed.names.begin(), listed.names.end());
        for (const std::string& name : names) {
            dirent entry = {};
            std::snprintf(entry.d_name, sizeof entry.d_name, "%s", name.c_str());
            entry.d_ino = 1;
            entry.d_type = DT_UNKNOWN;
            entry.d_reclen = sizeof entry;
            dir->entries.push_back(entry);
        }
        DIR* handle = reinterpret_cast<DIR*>(dir.get());
        s.dirs[handle] = std::move(dir);
        return handle;
    }
    static OpendirFn real = next<OpendirFn>("opendir");
    return real(path);
}

static dirent* simulatedReaddir(DIR* handle, bool& mine) {
    mine = false;
    if (gSim == nullptr) return nullptr;
    auto it = gSim->dirs.find(handle);
    if (it == gSim->dirs.end()) return nullptr;
    mine = true;
    FakeDir& dir = *it->second;
    return dir.next < dir.entries.size() ? &dir.entries[dir.next++] : nullptr;
}

dirent* readdir(DIR* handle) {
    bool mine = false;
    dirent* entry = simulatedReaddir(handle, mine);
    if (mine) return entry;
    static ReaddirFn real = next<ReaddirFn>("readdir");
    return real(handle);
}

dirent64* readdir64(DIR* handle) {
    bool mine = false;
    dirent* entry = simulatedReaddir(handle, mine);
    if (mine) return reinterpret_cast<dirent64*>(entry);
    using Readdir64Fn = dirent64* (*)(DIR*);
    static Readdir64Fn real = next<Readdir64Fn>("readdir64");
    return real(handle);
}

int closedir(DIR* handle) {
    if (gSim != nullptr && gSim->dirs.erase(handle) != 0) return 0;
    static ClosedirFn real = next<ClosedirFn>("closedir");
    return real(handle);
}

ssize_t readlink(const char* path, char* buffer, size_t size) {
    if (simulated(path)) {
        const auto link = simulation().pc.machine.readLink(path);
        if (!link.ok) {
            errno = link.error;
            return -1;
        }
        const size_t n = std::min(size, link.text.size());
        std::memcpy(buffer, link.text.data(), n);
        return static_cast<ssize_t>(n);
    }
    static ReadlinkFn real = next<ReadlinkFn>("readlink");
    return real(path, buffer, size);
}

// The system log. The C library's syslog() sends each message to /dev/log, whose reader (the
// journal, rsyslog) is the machine's own: here every message is written instead to syslog.log
// beside the configuration, as "IDENT FACILITY.LEVEL: MESSAGE", from what openlog() was given.
// The fortified forms (__syslog_chk, __vsyslog_chk) are what a build with _FORTIFY_SOURCE calls.
static std::string gLogIdent = "?";
static int gLogFacility = LOG_USER;

void openlog(const char* ident, int, int facility) {
    gLogIdent = ident != nullptr ? ident : "?";
    gLogFacility = facility;
}

void closelog() {}

static void simulatedVsyslog(int priority, const char* format, va_list args) {
    static const char* const kLevels[] = {"emerg",   "alert",  "crit", "err",
                                          "warning", "notice", "info", "debug"};
    const int facility = (priority & LOG_FACMASK) != 0 ? priority & LOG_FACMASK : gLogFacility;
    const char* facilityName = facility == LOG_USER     ? "user"
                               : facility == LOG_DAEMON ? "daemon"
                                                        : "other";
    char message[4096];
    std::vsnprintf(message, sizeof message, format, args);
    simulation();
    logLine(gLogIdent + " " + facilityName + "." + kLevels[LOG_PRI(priority)] + ": " + message,
            "syslog.log");
}

void vsyslog(int priority, const char* format, va_list args) {
    simulatedVsyslog(priority, format, args);
}

void __vsyslog_chk(int priority, int, const char* format, va_list args) {
    simulatedVsyslog(priority, format, args);
}

void syslog(int priority, const char* format, ...) {
    va_list args;
    va_start(args, format);
    simulatedVsyslog(priority, format, args);
    va_end(args);
}

void __syslog_chk(int priority, int, const char* format, ...) {
    va_list args;
    va_start(args, format);
    simulatedVsyslog(priority, format, args);
    va_end(args);
}

}  // extern "C"
