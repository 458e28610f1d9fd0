// A simulated Linux PC for the Linux back end: a file tree laid out as the kernel lays out
// /sys and /dev for CD/DVD drives on SATA, PATA, USB, FireWire and SCSI hosts, with the same
// simulated KORVANE drives behind SG_IO on their device nodes. Faults are set per path: a file
// that cannot be read, a node that may not be opened, a drive that is mounted or held.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/linux_api.h"
#include "sim/korvane_drive.h"

namespace sim {

// How a drive is attached, and so where the kernel puts its SCSI device in /sys/devices.
enum class LinuxAttachment { Sata, Pata, Usb, FireWire, Scsi };

// Where a drive sits: its SCSI address and the numbers of its sg and sr nodes (-1: none).
struct LinuxPlacement {
    LinuxAttachment attachment = LinuxAttachment::Sata;
    int host = 0;
    int channel = 0;
    int target = 0;
    int lun = 0;
    int sg = 0;
    int sr = 0;
    int type = 5;  // the peripheral type in sysfs: 5 for CD/DVD
};

// How the answer to a command that the kernel issued and the drive carried out is lost: the host
// adapter's status (DID_*), the driver's (DRIVER_*), or an errno with which SG_IO fails after
// the command went out.
struct LostAnswer {
    uint16_t hostStatus = 0;
    uint16_t driverStatus = 0;
    int error = 0;
};

// A signal that comes while the program waits for a command's answer: one whose handler runs
// (a handler installed without SA_RESTART: the waiting call fails with EINTR), or a stop and
// continue (no handler runs: the kernel restarts the call).
enum class Interruption { Handled, Stop };

class LinuxMachine : public dw::LinuxApi {
public:
    // The tree. Paths are absolute; parents are made as needed.
    void addDirectory(const std::string& path);
    void addFile(const std::string& path, const std::string& text);
    void addLink(const std::string& path, const std::string& target);
    // Opening, reading or listing exactly this path fails with `error`.
    void failPath(const std::string& path, int error);
    // A power supply under /sys/class/power_supply, as the kernel's power supply class lays it
    // out: a link to the supply's device folder, which holds `type` and the other attributes,
    // each a value and a line feed (online for mains; status and scope for batteries).
    void addPowerSupply(const std::string& name, const std::string& type,
                        const std::vector<std::pair<std::string, std::string>>& attributes);

    // Lays out /sys and /dev for the drive as the kernel would and puts the drive behind its
    // nodes. Returns the SCSI device's folder under /sys/devices.
    std::string placeDrive(KorvaneDrive& drive, const LinuxPlacement& where);
    // udev's persistent names of the drive's sr node, in /dev/disk/by-id and /dev/disk/by-path.
    void addUdevLinks(const KorvaneDrive& drive, const LinuxPlacement& where);
    // The text of /proc/self/mounts lists the drive's sr node on `mountPoint`.
    void mount(int sr, const std::string& mountPoint);
    // The drive's disc is mounted in another mount namespace: its sr node is claimed, but the
    // program's /proc/self/mounts does not list it.
    void mountElsewhere(int sr);
    // Exclusive opens of the node fail with EBUSY (another program holds the drive).
    void holdElsewhere(const std::string& node);
    // Commands with this opcode fail with `error` where the kernel's command filter applies
    // (through an sr node, or a node opened read-only); the drive never sees them.
    void refuseCommand(uint8_t opcode, int error) { refused_[opcode] = error; }
    // The program runs without CAP_SYS_RAWIO: /proc/self/status says so, and where the command
    // filter applies the kernel passes only the commands it lets every user send.
    void dropRawio() { rawio_ = false; }
    // The node's device number, as fstat gives it (sg nodes are 21:N, sr nodes 11:N).
    void setDeviceNumber(const std::string& node, dw::DeviceNumber number);
    // Just before the first exclusive open of one of its nodes, `drive` is unplugged and
    // `replacement` takes its place and its numbers (sg and sr numbers are reused lowest-first).
    void replaceBeforeHold(const KorvaneDrive& drive, KorvaneDrive& replacement) {
        replacements_.emplace_back(&drive, &replacement);
    }
    // The nth (from 1; 0: every) command with this opcode to the drive is interrupted as `how`
    // says while the program waits for its answer. An SG_IO ioctl on an sg node gives up its
    // request and fails with EINTR (Handled), or is restarted and issues the command again
    // (Stop); the block layer's wait, behind an sr node, is not interrupted. A wait for an answer
    // of the asynchronous interface fails with EINTR (Handled) with the request still pending,
    // or is restarted (Stop).
    void interruptWait(const KorvaneDrive& drive, uint8_t opcode, int nth, Interruption how) {
        interruptions_.push_back({&drive, {opcode, nth, how}});
    }
    // The nth (from 1; 0: every) command with this opcode to the drive is carried out by it, and
    // then its answer is lost as `how` says: the bus timed out or was reset, the drive dropped
    // off it. The drive keeps what the command did (a committing chunk stays committed).
    void loseAnswer(const KorvaneDrive& drive, uint8_t opcode, int nth, LostAnswer how) {
        lost_.push_back({&drive, {opcode, nth, how}});
    }
    // Whether logind runs on the system bus; without it a sleep inhibitor cannot be had.
    bool logindRuns = true;
    // The descriptor the next successful open gives (0 once a program has closed its standard
    // input); later opens count up from it.
    int nextDescriptor = 100;

    // The seam.
    OpenResult openDevice(const std::string& path, dw::OpenMode mode) override;
    int sgIo(int fd, dw::SgIoRequest& request) override;
    int sgWrite(int fd, dw::SgIoRequest& request) override;
    int waitReadable(int fd) override;
    int sgRead(int fd, dw::SgIoRequest& request) override;
    DeviceNumberResult deviceNumberOf(int fd) override;
    int closeDevice(int fd) override;
    TextResult readTextFile(const std::string& path) override;
    ListResult listDirectory(const std::string& path) override;
    TextResult readLink(const std::string& path) override;
    NodeResult statNode(const std::string& path) override;

    // Whether the path is in the simulated tree (links not followed at its end).
    bool holds(const std::string& path);
    InhibitResult inhibitSleep(const std::string& who, const std::string& why) override;
    void allowSleep(int fd) override;
    OpenResult openLogFile(const std::string& path) override;
    int appendToLogFile(int fd, const std::string& line) override;
    void closeLogFile(int fd) override;
    void writeSystemLog(LogPriority priority, const std::string& line) override;
    int64_t secondsSinceEpoch() override { return epochSeconds; }

    // The time of day the PC gives.
    int64_t epochSeconds = 1796601600;  // 2026-12-07 00:00 UTC
    // Log files and what was appended to each, by path; a path with an errno refuses its open.
    std::map<std::string, std::string> logFiles;
    std::map<std::string, int> logFileRefusals;
    // The lines written to the system log, each after its priority ("notice: ", "err: ").
    std::vector<std::string> systemLog;

    // What the program did.
    int openDeviceCount() const { return static_cast<int>(open_.size()); }
    // The node an open descriptor stands for, links followed ("" for none).
    std::string devicePath(int fd) const {
        auto it = open_.find(fd);
        return it == open_.end() ? std::string() : it->second.path;
    }
    struct OpenRecord {
        std::string path;
        bool exclusive = false;
        int error = 0;
        bool readOnly = false;
    };
    const std::vector<OpenRecord>& opens() const { return opens_; }
    struct SgIoRecord {
        std::string path;      // the node the descriptor was opened on
        bool written = false;  // by write() of the asynchronous interface, not the SG_IO ioctl
        uint8_t cdbLength = 0;
        dw::SgIoRequest::Direction direction = dw::SgIoRequest::Direction::None;
        uint32_t dataLength = 0;
        uint32_t timeoutMs = 0;
        uint8_t senseCapacity = 0;
    };
    const std::vector<SgIoRecord>& sgIoCalls() const { return sgIoCalls_; }
    // Each sleep inhibitor taken and each released, with how many commands the drives had
    // received by then.
    struct InhibitorRecord {
        bool taken = false;  // false: released
        std::string who;
        std::string why;
        size_t commandsBefore = 0;
    };
    const std::vector<InhibitorRecord>& inhibitors() const { return inhibitors_; }
    // Told of every command a drive received: its placement, the command, and the status byte
    // of the log lines (01 when it ended GOOD, 04 otherwise, as the ASPI layer's log has it).
    std::function<void(const LinuxPlacement&, const KorvaneDrive&, const ReceivedCommand&, uint8_t)>
        commandSeen;

private:
    enum class Kind { Directory, File, Link, Device };
    struct Node {
        Kind kind = Kind::Directory;
        std::string text;  // file content or link target
        int failure = 0;
        KorvaneDrive* drive = nullptr;
        LinuxPlacement placement;
        bool heldElsewhere = false;
        bool block = false;  // a device node: sr (block) or sg (character)
        dw::DeviceNumber number;
    };
    // An answer of the asynchronous interface that the program has not read yet.
    struct Pending {
        dw::SgIoRequest answer;
        int error = 0;             // the errno read() gives (a lost answer)
        bool interrupted = false;  // the next wait for it ends with EINTR
    };
    struct OpenNode {
        std::string path;
        bool exclusive = false;
        bool readOnly = false;
        std::deque<Pending> pending;
        // The sg driver's data buffer of the descriptor (its reserve buffer), kept from command
        // to command.
        std::vector<uint8_t> reserve;
    };

    Node* resolve(const std::string& path, bool followLast, int& error, std::string* canonical);
    static void handBackSense(const DriveAnswer& answer, bool generic, dw::SgIoRequest& request);
    void makeParents(const std::string& path);
    std::string mountsText() const;
    size_t commandsReceived() const;
    std::string statusText() const;
    bool isBlockNode(const std::string& path) const {
        auto it = nodes_.find(path);
        return it != nodes_.end() && it->second.block;
    }
    int openRefusal(const Node& node, const std::string& canonical, dw::OpenMode mode) const;
    void replaceIfDue(Node& node);
    // Why the kernel refuses the request before issuing it (0: it does not).
    int checkRequest(const OpenNode& open, const dw::SgIoRequest& request) const;
    // Issues the command to the drive behind `node`, opened as `open`: the drive carries it out
    // and the request's out fields say how it ended; the errno of an answer lost that way, or 0.
    int issue(Node& node, OpenNode& open, dw::SgIoRequest& request);
    const Interruption* interruptionFor(const KorvaneDrive& drive, uint8_t opcode) const;

    std::map<std::string, Node> nodes_;
    std::map<int, OpenNode> open_;
    std::vector<OpenRecord> opens_;
    std::vector<SgIoRecord> sgIoCalls_;
    std::vector<std::pair<int, std::string>> mounts_;
    std::vector<int> mountedElsewhere_;
    std::map<uint8_t, int> refused_;
    std::vector<InhibitorRecord> inhibitors_;
    std::map<int, InhibitorRecord> inhibitorsHeld_;  // by descriptor
    std::map<int, std::string> logFilesOpen_;        // their paths, by descriptor
    bool rawio_ = true;
    std::vector<std::pair<const KorvaneDrive*, KorvaneDrive*>> replacements_;
    template <class T>
    using DriveRules = std::vector<std::pair<const KorvaneDrive*, NthCommandRule<T>>>;
    DriveRules<Interruption> interruptions_;
    DriveRules<LostAnswer> lost_;
    std::map<std::pair<const KorvaneDrive*, uint8_t>, int> issued_;  // by drive and opcode
};

}  // namespace sim
