// The simulated Linux PC: its file tree with links resolved as the kernel resolves them, its
// device nodes with their exclusive opens and claims, and the drives behind SG_IO and the sg
// driver's asynchronous interface.
#include "sim/linux_machine.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <set>
#include <cstdio>
#include <cstring>

namespace sim {

namespace {

std::vector<std::string> split(const std::string& path) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        const size_t end = std::min(path.find('/', start), path.size());
        if (end > start) parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

std::string parentOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos || slash == 0 ? std::string() : path.substr(0, slash);
}

// The relative link from the folder `from` to `to`, both absolute, as sysfs writes its links:
// up to a strict ancestor of the target, then down ("../../../0:0:0:0").
std::string relativeLink(const std::string& from, const std::string& to) {
    const auto a = split(from), b = split(to);
    size_t common = 0;
    while (common < a.size() && common + 1 < b.size() && a[common] == b[common]) ++common;
    std::string link;
    for (size_t i = common; i < a.size(); ++i) link += "../";
    for (size_t i = common; i < b.size(); ++i) link += b[i] + (i + 1 < b.size() ? "/" : "");
    return link;
}

std::string address(const LinuxPlacement& p) {
    return std::to_string(p.host) + ":" + std::to_string(p.channel) + ":" +
           std::to_string(p.target) + ":" + std::to_string(p.lun);
}

// The folder of the host adapter in /sys/devices for each kind of attachment.
std::string hostFolder(const LinuxPlacement& p) {
    const std::string host = "/host" + std::to_string(p.host);
    const std::string port = std::to_string(p.host + 1);
    switch (p.attachment) {
        case LinuxAttachment::Sata: return "/sys/devices/pci0000:00/0000:00:1f.2/ata" + port + host;
        case LinuxAttachment::Pata: return "/sys/devices/pci0000:00/0000:00:01.1/ata" + port + host;
        case LinuxAttachment::Usb:
            return "/sys/devices/pci0000:00/0000:00:14.0/usb2/2-" + port + "/2-" + port + ":1.0" +
                   host;
        case LinuxAttachment::FireWire:
            return "/sys/devices/pci0000:00/0000:00:1c.0/0000:05:00.0/fw" + port + "/fw" + port +
                   ".0" + host;
        case LinuxAttachment::Scsi:
            return "/sys/devices/pci0000:00/0000:00:1c.0/0000:03:00.0" + host;
    }
    return {};
}

// The majors of the sg and sr drivers (SCSI_GENERIC_MAJOR, SCSI_CDROM_MAJOR).
constexpr uint32_t kGenericMajor = 21;
constexpr uint32_t kCdromMajor = 11;
// What a data buffer the sg driver has just allocated holds for a privileged caller: it clears
// new pages only for others (sg_build_indirect).
constexpr uint8_t kStaleKernelByte = 0xA5;

// What the kernel lets a program without CAP_SYS_RAWIO send where its command filter applies
// (scsi_cmd_allowed in drivers/scsi/scsi_ioctl.c): read-safe commands, and with the node open
// for writing the writing ones. WRITE BUFFER, REZERO UNIT and vendor commands are in neither.
bool allowedWithoutRawio(uint8_t opcode, bool writable) {
    static constexpr uint8_t kReadSafe[] = {0x00, 0x03, 0x08, 0x28, 0xA8, 0x88, 0x3C, 0x37, 0x25,
                                            0x3E, 0x12, 0x1A, 0x5A, 0x4D, 0x1B, 0x2F, 0x8F, 0xA0,
                                            0x9E, 0x1C, 0xA3, 0x5C, 0xBC, 0x45, 0x47, 0x48, 0x4B,
                                            0xBE, 0xB9, 0x51, 0xAD, 0x44, 0x52, 0x42, 0x43, 0xA4,
                                            0xBA, 0x46, 0x23, 0x4A, 0xAC, 0x2B, 0x4E, 0x95};
    static constexpr uint8_t kWriting[] = {0x0A, 0x2A, 0x2E, 0xAA, 0xAE, 0x8A, 0x3F, 0xEA,
                                           0x41, 0x93, 0x7F, 0x19, 0x55, 0x15, 0x4C, 0xA1,
                                           0x5B, 0x35, 0x04, 0x58, 0x53, 0xBF, 0xA2, 0x54,
                                           0x5D, 0xBB, 0x1E, 0xA6, 0xB6, 0xA7, 0x94};
    auto in = [opcode](const auto& list) {
        return std::find(std::begin(list), std::end(list), opcode) != std::end(list);
    };
    return in(kReadSafe) || (writable && in(kWriting));
}

std::string padded(const std::string& text, size_t width) {
    std::string out = text.substr(0, width);
    out.resize(width, ' ');
    return out;
}

}  // namespace

void LinuxMachine::makeParents(const std::string& path) {
    for (std::string p = parentOf(path); !p.empty(); p = parentOf(p)) {
        if (nodes_.count(p) != 0) break;
        nodes_[p].kind = Kind::Directory;
    }
}

void LinuxMachine::addDirectory(const std::string& path) {
    makeParents(path);
    nodes_[path].kind = Kind::Directory;
}

void LinuxMachine::addFile(const std::string& path, const std::string& text) {
    makeParents(path);
    Node& node = nodes_[path];
    node.kind = Kind::File;
    node.text = text;
}

void LinuxMachine::addLink(const std::string& path, const std::string& target) {
    makeParents(path);
    Node& node = nodes_[path];
    node.kind = Kind::Link;
    node.text = target;
}

void LinuxMachine::failPath(const std::string& path, int error) {
    auto it = nodes_.find(path);
    if (it == nodes_.end()) {
        addFile(path, "");
        it = nodes_.find(path);
    }
    it->second.failure = error;
}

void LinuxMachine::addPowerSupply(
    const std::string& name, const std::string& type,
    const std::vector<std::pair<std::string, std::string>>& attributes) {
    // ACPI's supplies sit under the ACPI devices (ACPI0003 an AC adapter, PNP0C0A a battery).
    const std::string device = std::string("/sys/devices/LNXSYSTM:00/LNXSYBUS:00/") +
                               (type == "Mains" ? "ACPI0003:00" : "PNP0C0A:0" + name.substr(3)) +
                               "/power_supply/" + name;
    addFile(device + "/type", type + "\n");
    for (const auto& [attribute, value] : attributes)
        addFile(device + "/" + attribute, value + "\n");
    addLink("/sys/class/power_supply/" + name, relativeLink("/sys/class/power_supply", device));
}

std::string LinuxMachine::placeDrive(KorvaneDrive& drive, const LinuxPlacement& where) {
    const std::string host = hostFolder(where);
    const std::string device = host + "/target" + std::to_string(where.host) + ":" +
                               std::to_string(where.channel) + ":" + std::to_string(where.target) +
                               "/" + address(where);
    addFile(device + "/type", std::to_string(where.type) + "\n");
    addFile(device + "/vendor", padded(drive.vendor(), 8) + "\n");
    addFile(device + "/model", padded(drive.product(), 16) + "\n");
    addFile(device + "/rev", padded(drive.revision(), 4) + "\n");
    addFile(device + "/state", "running\n");
    addFile(host + "/scsi_host/host" + std::to_string(where.host) + "/proc_name",
            where.attachment == LinuxAttachment::Usb        ? "usb-storage\n"
            : where.attachment == LinuxAttachment::FireWire ? "firewire_sbp2\n"
            : where.attachment == LinuxAttachment::Scsi     ? "sym53c8xx\n"
                                                            : "ahci\n");
    addLink("/sys/class/scsi_host/host" + std::to_string(where.host),
            relativeLink("/sys/class/scsi_host",
                         host + "/scsi_host/host" + std::to_string(where.host)));

    if (where.attachment == LinuxAttachment::Sata || where.attachment == LinuxAttachment::Pata) {
        // libata: the port's link carries the negotiated Serial ATA speed; a parallel port has
        // none to tell.
        const std::string n = std::to_string(where.host + 1);
        const std::string ata = parentOf(host);
        const std::string link = ata + "/link" + n + "/ata_link/link" + n;
        addFile(link + "/sata_spd",
                where.attachment == LinuxAttachment::Sata ? "3.0 Gbps\n" : "<unknown>\n");
        addLink("/sys/class/ata_link/link" + n, relativeLink("/sys/class/ata_link", link));
        addLink("/sys/class/ata_port/ata" + n,
                relativeLink("/sys/class/ata_port", ata + "/ata_port/ata" + n));
        addDirectory(ata + "/ata_port/ata" + n);
    }

    Node node;
    node.kind = Kind::Device;
    node.drive = &drive;
    node.placement = where;
    if (where.sg >= 0) {
        const std::string sg = "sg" + std::to_string(where.sg);
        const std::string folder = device + "/scsi_generic/" + sg;
        addFile(folder + "/dev",
                std::to_string(kGenericMajor) + ":" + std::to_string(where.sg) + "\n");
        addLink(folder + "/device", relativeLink(folder, device));
        addLink(device + "/generic", "scsi_generic/" + sg);
        addLink("/sys/class/scsi_generic/" + sg, relativeLink("/sys/class/scsi_generic", folder));
        makeParents("/dev/" + sg);
        nodes_["/dev/" + sg] = node;
        nodes_["/dev/" + sg].number = {kGenericMajor, static_cast<uint32_t>(where.sg)};
    }
    if (where.sr >= 0) {
        const std::string sr = "sr" + std::to_string(where.sr);
        const std::string folder = device + "/block/" + sr;
        addFile(folder + "/dev",
                std::to_string(kCdromMajor) + ":" + std::to_string(where.sr) + "\n");
        addFile(folder + "/removable", "1\n");
        addLink(folder + "/device", relativeLink(folder, device));
        addLink("/sys/block/" + sr, relativeLink("/sys/block", folder));
        addLink("/sys/class/block/" + sr, relativeLink("/sys/class/block", folder));
        makeParents("/dev/" + sr);
        nodes_["/dev/" + sr] = node;
        nodes_["/dev/" + sr].block = true;
        nodes_["/dev/" + sr].number = {kCdromMajor, static_cast<uint32_t>(where.sr)};
        addUdevLinks(drive, where);
    }
    addDirectory("/sys/class/scsi_generic");
    addDirectory("/sys/block");
    return device;
}

// The persistent names udev's 60-persistent-storage.rules give a CD/DVD drive's block node
// (the sg node gets none): by-id from the identification (ata_id's model and serial, whitespace
// runs as one '_'; usb_id's vendor, model and serial, with the LUN), by-path from path_id's walk
// up to the PCI device. The serial numbers are made up from the address. A SCSI or FireWire drive
// gets none here.
void LinuxMachine::addUdevLinks(const KorvaneDrive& drive, const LinuxPlacement& where) {
    const auto underscored = [](const std::string& text) {
        std::string out;
        for (char c : text) {
            if (c != ' ') {
                out += c;
            } else if (!out.empty() && out.back() != '_') {
                out += '_';
            }
        }
        while (!out.empty() && out.back() == '_') out.pop_back();
        return out;
    };
    const std::string target = "../../sr" + std::to_string(where.sr);
    const std::string serial = "KV" + std::to_string(100000 + where.host * 100 + where.target);
    const std::string port = std::to_string(where.host + 1);
    const std::string lun = std::to_string(where.lun);
    const std::string model = underscored(drive.vendor() + " " + drive.product());
    switch (where.attachment) {
        case LinuxAttachment::Sata:
        case LinuxAttachment::Pata: {
            const char* pci =
                where.attachment == LinuxAttachment::Sata ? "0000:00:1f.2" : "0000:00:01.1";
            addLink("/dev/disk/by-id/ata-" + model + "_" + serial, target);
            // path_id names the port and the device on it (master 0, slave 1) since systemd
            // 246; the rules keep the older name of the port alone, which the master gets.
            const std::string byPath = std::string("/dev/disk/by-path/pci-") + pci + "-ata-" + port;
            addLink(byPath + "." + std::to_string(where.target), target);
            if (where.target == 0) addLink(byPath, target);
            break;
        }
        case LinuxAttachment::Usb:
            addLink("/dev/disk/by-id/usb-" + model + "_" + serial + "-0:" + lun, target);
            addLink("/dev/disk/by-path/pci-0000:00:14.0-usb-0:" + port + ":1.0-scsi-0:0:0:" + lun,
                    target);
            break;
        case LinuxAttachment::FireWire:
        case LinuxAttachment::Scsi: break;
    }
}

void LinuxMachine::mount(int sr, const std::string& mountPoint) {
    mounts_.emplace_back(sr, mountPoint);
}

void LinuxMachine::mountElsewhere(int sr) { mountedElsewhere_.push_back(sr); }

void LinuxMachine::holdElsewhere(const std::string& node) {
    auto it = nodes_.find(node);
    if (it != nodes_.end()) it->second.heldElsewhere = true;
}

void LinuxMachine::setDeviceNumber(const std::string& node, dw::DeviceNumber number) {
    auto it = nodes_.find(node);
    if (it != nodes_.end()) it->second.number = number;
}

std::string LinuxMachine::statusText() const {
    // Root has every capability (CAP_SYS_RAWIO is bit 17); a user none.
    const char* caps = rawio_ ? "000001ffffffffff" : "0000000000000000";
    return std::string("Name:\tdrivewright\nState:\tR (running)\nUid:\t0\t0\t0\t0\n") +
           "CapInh:\t0000000000000000\nCapPrm:\t" + caps + "\nCapEff:\t" + caps +
           "\nCapBnd:\t000001ffffffffff\nCapAmb:\t0000000000000000\n";
}

std::string LinuxMachine::mountsText() const {
    std::string text = "/dev/sda1 / ext4 rw,relatime 0 0\nproc /proc proc rw 0 0\n";
    for (const auto& [sr, point] : mounts_) {
        // The kernel writes blanks, tabs, line feeds and backslashes of a path as \ooo.
        std::string escaped;
        for (char c : point) {
            if (c == ' ' || c == '\t' || c == '\n' || c == '\\') {
                char octal[5];
                std::snprintf(octal, sizeof octal, "\\%03o", static_cast<unsigned char>(c));
                escaped += octal;
            } else {
                escaped += c;
            }
        }
        text += "/dev/sr" + std::to_string(sr) + " " + escaped + " iso9660 ro,nosuid 0 0\n";
    }
    return text;
}

LinuxMachine::Node* LinuxMachine::resolve(const std::string& path, bool followLast, int& error,
                                          std::string* canonical) {
    if (path.empty() || path[0] != '/') {
        error = ENOENT;
        return nullptr;
    }
    std::vector<std::string> rest = split(path);
    std::reverse(rest.begin(), rest.end());  // the next component at the back
    std::string current;
    Node* node = nullptr;
    int links = 0;
    while (!rest.empty()) {
        const std::string part = rest.back();
        rest.pop_back();
        if (part == ".") continue;
        if (part == "..") {
            current = parentOf(current);
            node = current.empty() ? nullptr : &nodes_[current];
            continue;
        }
        const std::string next = current + "/" + part;
        auto it = nodes_.find(next);
        if (it == nodes_.end()) {
            error = ENOENT;
            return nullptr;
        }
        if (it->second.kind == Kind::Link && (followLast || !rest.empty())) {
            if (++links > 40) {
                error = ELOOP;
                return nullptr;
            }
            const std::string& target = it->second.text;
            auto parts = split(target);
            for (auto p = parts.rbegin(); p != parts.rend(); ++p) rest.push_back(*p);
            if (!target.empty() && target[0] == '/') current.clear();
            continue;
        }
        if (!rest.empty() && it->second.kind != Kind::Directory) {
            error = ENOTDIR;
            return nullptr;
        }
        current = next;
        node = &it->second;
    }
    if (canonical != nullptr) *canonical = current.empty() ? "/" : current;
    if (node == nullptr) {
        static Node root;
        return &root;
    }
    return node;
}

void LinuxMachine::replaceIfDue(Node& node) {
    for (auto it = replacements_.begin(); it != replacements_.end(); ++it) {
        if (it->first != node.drive) continue;
        for (auto& [path, other] : nodes_) {
            if (other.kind == Kind::Device && other.drive == it->first) other.drive = it->second;
        }
        replacements_.erase(it);
        return;
    }
}

int LinuxMachine::openRefusal(const Node& node, const std::string& canonical,
                              dw::OpenMode mode) const {
    if (isBlockNode(canonical)) {
        // block/bdev.c: O_EXCL claims the device, and fails while another exclusive opener or a
        // mounted file system (in any mount namespace) holds it. An open without O_EXCL is never
        // refused for that, and does not keep a claim from being taken.
        if (!mode.exclusive) return 0;
        const int sr = node.placement.sr;
        bool claimed = node.heldElsewhere ||
                       std::any_of(mounts_.begin(), mounts_.end(),
                                   [&](const auto& m) { return m.first == sr; }) ||
                       std::count(mountedElsewhere_.begin(), mountedElsewhere_.end(), sr) != 0;
        for (const auto& [fd, open] : open_)
            claimed = claimed || (open.path == canonical && open.exclusive);
        return claimed ? EBUSY : 0;
    }
    // sg.c: an exclusive open needs write access (EPERM); opened non-blocking, an exclusive open
    // fails while any other open exists, and any open while an exclusive one does (EBUSY).
    if (mode.exclusive && mode.readOnly) return EPERM;
    if (mode.exclusive && node.heldElsewhere) return EBUSY;
    for (const auto& [fd, open] : open_) {
        if (open.path == canonical && (open.exclusive || mode.exclusive)) return EBUSY;
    }
    return 0;
}

dw::LinuxApi::OpenResult LinuxMachine::openDevice(const std::string& path, dw::OpenMode mode) {
    OpenResult result;
    std::string canonical;
    Node* node = resolve(path, true, result.error, &canonical);
    if (node != nullptr && node->failure != 0) {
        result.error = node->failure;
    } else if (node != nullptr && node->kind != Kind::Device) {
        result.error = node->kind == Kind::Directory ? EISDIR : ENXIO;
    } else if (node != nullptr) {
        if (mode.exclusive) replaceIfDue(*node);
        result.error = openRefusal(*node, canonical, mode);
        if (result.error == 0) {
            result.fd = nextDescriptor++;
            OpenNode& open = open_[result.fd];
            open.path = canonical;
            open.exclusive = mode.exclusive;
            open.readOnly = mode.readOnly;
        }
    }
    opens_.push_back({path, mode.exclusive, result.error, mode.readOnly});
    return result;
}

int LinuxMachine::checkRequest(const OpenNode& open, const dw::SgIoRequest& request) const {
    if (request.cdb == nullptr || request.cdbLength < 6 || request.cdbLength > 16) return EINVAL;
    if (request.dataLength != 0 && request.data == nullptr) return EFAULT;
    // The command filter applies through a block node, and through an sg node opened read-only;
    // an sg node opened for writing passes every command (sg.c, sg_new_write).
    if (!isBlockNode(open.path) && !open.readOnly) return 0;
    if (auto refused = refused_.find(request.cdb[0]); refused != refused_.end()) {
        return refused->second;
    }
    return rawio_ || allowedWithoutRawio(request.cdb[0], !open.readOnly) ? 0 : EPERM;
}

const Interruption* LinuxMachine::interruptionFor(const KorvaneDrive& drive, uint8_t opcode) const {
    auto count = issued_.find({&drive, opcode});
    const int nth = count == issued_.end() ? 0 : count->second;
    for (const auto& [on, rule] : interruptions_) {
        if (on == &drive && rule.matches(opcode, nth)) return &rule.what;
    }
    return nullptr;
}

// What the kernel hands back of the drive's sense data, 8 bytes and its additional length (byte
// 7), at most what was asked for: the sg driver copies that much of its sense buffer after CHECK
// CONDITION whatever it holds (sg_new_read); the block layer's SG_IO only sense data with a
// response code of 70h to 73h, and none of any other (scsi_io_completion_nz_result).
void LinuxMachine::handBackSense(const DriveAnswer& answer, bool generic,
                                 dw::SgIoRequest& request) {
    std::array<uint8_t, 96> buffer = {};  // SCSI_SENSE_BUFFERSIZE
    std::copy_n(answer.sense.begin(), answer.senseLength, buffer.begin());
    const uint8_t code = buffer[0] & 0x7F;
    const bool valid = answer.senseLength > 0 && code >= 0x70 && code <= 0x73;
    const bool copied = generic ? answer.status == KorvaneDrive::kCheckCondition || valid : valid;
    size_t n = copied ? std::min<size_t>(8 + buffer[7], buffer.size()) : 0;
    n = std::min<size_t>(n, request.senseCapacity);
    if (request.sense == nullptr) n = 0;
    if (n > 0) std::memcpy(request.sense, buffer.data(), n);
    request.senseWritten = static_cast<uint8_t>(n);
}

int LinuxMachine::sgIo(int fd, dw::SgIoRequest& request) {
    auto it = open_.find(fd);
    if (it == open_.end()) return EBADF;
    Node& node = nodes_[it->second.path];
    sgIoCalls_.push_back({it->second.path, false, request.cdbLength, request.direction,
                          request.dataLength, request.timeoutMs, request.senseCapacity});
    if (const int refusal = checkRequest(it->second, request)) return refusal;
    const int error = issue(node, it->second, request);
    // sg.c waits for the answer of SG_IO interruptibly: a signal whose handler runs orphans the
    // request (its answer is dropped) and the call fails with EINTR; after a stop the kernel
    // restarts the call, which issues the command once more. The block layer, behind an sr node,
    // waits without interruption.
    const Interruption* how =
        isBlockNode(it->second.path) ? nullptr : interruptionFor(*node.drive, request.cdb[0]);
    if (how == nullptr) return error;
    if (*how == Interruption::Handled) return EINTR;
    return issue(node, it->second, request);
}

int LinuxMachine::sgWrite(int fd, dw::SgIoRequest& request) {
    auto it = open_.find(fd);
    if (it == open_.end() || it->second.readOnly) return EBADF;
    if (isBlockNode(it->second.path)) return EINVAL;  // only sg nodes take an sg_io_hdr by write()
    Node& node = nodes_[it->second.path];
    sgIoCalls_.push_back({it->second.path, true, request.cdbLength, request.direction,
                          request.dataLength, request.timeoutMs, request.senseCapacity});
    if (const int refusal = checkRequest(it->second, request)) return refusal;
    Pending pending;
    pending.error = issue(node, it->second, request);
    pending.answer = request;
    // The request stays queued on the descriptor until read() takes its answer: a wait that a
    // signal interrupts ends with EINTR (or is restarted after a stop), and nothing is sent again.
    const Interruption* how = interruptionFor(*node.drive, request.cdb[0]);
    pending.interrupted = how != nullptr && *how == Interruption::Handled;
    it->second.pending.push_back(pending);
    return 0;
}

int LinuxMachine::waitReadable(int fd) {
    auto it = open_.find(fd);
    if (it == open_.end()) return EBADF;
    std::deque<Pending>& pending = it->second.pending;
    if (pending.empty()) return EDEADLK;  // nothing outstanding: a real poll would wait for ever
    if (pending.front().interrupted) {
        pending.front().interrupted = false;
        return EINTR;
    }
    return 0;
}

int LinuxMachine::sgRead(int fd, dw::SgIoRequest& request) {
    auto it = open_.find(fd);
    if (it == open_.end()) return EBADF;
    std::deque<Pending>& pending = it->second.pending;
    if (pending.empty() || pending.front().interrupted) return EAGAIN;  // none answered yet
    const Pending done = pending.front();
    pending.pop_front();
    request.status = done.answer.status;
    request.hostStatus = done.answer.hostStatus;
    request.driverStatus = done.answer.driverStatus;
    request.senseWritten = done.answer.senseWritten;
    request.residual = done.answer.residual;
    request.packId = done.answer.packId;
    return done.error;
}

dw::LinuxApi::DeviceNumberResult LinuxMachine::deviceNumberOf(int fd) {
    DeviceNumberResult result;
    auto it = open_.find(fd);
    if (it == open_.end()) {
        result.error = EBADF;
        return result;
    }
    result.ok = true;
    result.number = nodes_[it->second.path].number;
    return result;
}

int LinuxMachine::issue(Node& node, OpenNode& open, dw::SgIoRequest& request) {
    DataDirection direction = DataDirection::None;
    if (request.direction == dw::SgIoRequest::Direction::ToDevice) direction = DataDirection::Out;
    if (request.direction == dw::SgIoRequest::Direction::FromDevice) direction = DataDirection::In;
    // The sg driver moves the data through its buffer of the descriptor and copies all of it
    // back after a data-in (sg_link_reserve, blk_rq_unmap_user): what the drive did not send
    // is what that buffer held before, the last command's data or stale memory.
    const bool generic = !node.block;
    uint8_t* data = request.data;
    std::vector<uint8_t>& reserve = open.reserve;
    if (generic && data != nullptr && request.dataLength != 0) {
        if (reserve.size() < request.dataLength)
            reserve.resize(request.dataLength, kStaleKernelByte);
        if (direction == DataDirection::Out) std::memcpy(reserve.data(), data, request.dataLength);
        data = reserve.data();
    }
    KorvaneDrive& drive = *node.drive;
    const DriveAnswer answer =
        drive.execute(std::span<const uint8_t>(request.cdb, request.cdbLength), direction, data,
                      request.dataLength);
    if (data != request.data && direction == DataDirection::In) {
        std::memcpy(request.data, data, request.dataLength);
    }

    request.status = 0;
    request.hostStatus = dw::sgstatus::kDidOk;
    request.driverStatus = 0;
    request.senseWritten = 0;
    request.residual = 0;
    const LostAnswer* lost = nullptr;
    const int nth = ++issued_[{&drive, request.cdb[0]}];
    for (const auto& [on, rule] : lost_) {
        if (on == &drive && rule.matches(request.cdb[0], nth)) lost = &rule.what;
    }
    if (lost != nullptr) {
        // The drive took the command; what came back is the host adapter's or the driver's
        // failure, or an errno of the call, and neither status nor sense.
        request.hostStatus = lost->hostStatus;
        request.driverStatus = lost->driverStatus;
        if (commandSeen && !drive.received().empty()) {
            commandSeen(node.placement, drive, drive.received().back(), 0x04);
        }
        return lost->error;
    }
    if (!answer.answered) {
        // The bus timed out: the midlayer gives up on the command; no status, no sense.
        request.hostStatus = dw::sgstatus::kDidTimeOut;
    } else {
        if (answer.status != KorvaneDrive::kGood) {
            request.status = answer.status;
            if (answer.senseLength > 0) request.driverStatus = dw::sgstatus::kDriverSense;
            handBackSense(answer, generic, request);
        }
        const uint32_t moved = direction == DataDirection::In    ? answer.dataInLength
                               : direction == DataDirection::Out ? answer.dataOutLength
                                                                 : 0;
        request.residual =
            static_cast<int32_t>(request.dataLength - std::min(moved, request.dataLength));
    }
    if (commandSeen && !drive.received().empty()) {
        const bool good = answer.answered && answer.status == KorvaneDrive::kGood;
        commandSeen(node.placement, drive, drive.received().back(), good ? 0x01 : 0x04);
    }
    return 0;
}

dw::LinuxApi::NodeResult LinuxMachine::statNode(const std::string& path) {
    NodeResult result;
    // O_PATH asks no rights of the node itself: a node that may not be opened is still named.
    Node* node = resolve(path, true, result.error, nullptr);
    if (node == nullptr) return result;
    result.ok = true;
    if (node->kind == Kind::Device) {
        result.kind = node->block ? NodeResult::Kind::Block : NodeResult::Kind::Character;
        result.number = node->number;
    }
    return result;
}

bool LinuxMachine::holds(const std::string& path) {
    int error = 0;
    return resolve(path, false, error, nullptr) != nullptr;
}

int LinuxMachine::closeDevice(int fd) { return open_.erase(fd) != 0 ? 0 : EBADF; }

dw::LinuxApi::TextResult LinuxMachine::readTextFile(const std::string& path) {
    TextResult result;
    if (path == "/proc/self/mounts" && nodes_.count(path) == 0) {
        result.ok = true;
        result.text = mountsText();
        return result;
    }
    if (path == "/proc/self/status" && nodes_.count(path) == 0) {
        result.ok = true;
        result.text = statusText();
        return result;
    }
    Node* node = resolve(path, true, result.error, nullptr);
    if (node == nullptr) return result;
    if (node->failure != 0) {
        result.error = node->failure;
    } else if (node->kind == Kind::Directory) {
        result.error = EISDIR;
    } else if (node->kind == Kind::Device) {
        result.error = EINVAL;  // the program never reads a drive as a file
    } else {
        result.ok = true;
        result.text = node->text;
    }
    return result;
}

dw::LinuxApi::ListResult LinuxMachine::listDirectory(const std::string& path) {
    ListResult result;
    std::string canonical;
    Node* node = resolve(path, true, result.error, &canonical);
    if (node == nullptr) return result;
    if (node->failure != 0) {
        result.error = node->failure;
        return result;
    }
    if (node->kind != Kind::Directory) {
        result.error = ENOTDIR;
        return result;
    }
    const std::string prefix = canonical == "/" ? "/" : canonical + "/";
    for (auto it = nodes_.lower_bound(prefix);
         it != nodes_.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it) {
        const std::string name = it->first.substr(prefix.size());
        if (name.find('/') == std::string::npos) result.names.push_back(name);
    }
    result.ok = true;
    return result;
}

dw::LinuxApi::TextResult LinuxMachine::readLink(const std::string& path) {
    TextResult result;
    Node* node = resolve(path, false, result.error, nullptr);
    if (node == nullptr) return result;
    if (node->failure != 0) {
        result.error = node->failure;
    } else if (node->kind != Kind::Link) {
        result.error = EINVAL;
    } else {
        result.ok = true;
        result.text = node->text;
    }
    return result;
}

size_t LinuxMachine::commandsReceived() const {
    std::set<const KorvaneDrive*> drives;
    for (const auto& [path, node] : nodes_) {
        if (node.drive != nullptr) drives.insert(node.drive);
    }
    size_t count = 0;
    for (const KorvaneDrive* drive : drives) count += drive->received().size();
    return count;
}

dw::LinuxApi::InhibitResult LinuxMachine::inhibitSleep(const std::string& who,
                                                       const std::string& why) {
    InhibitResult result;
    if (!logindRuns) {
        result.error = "No such file or directory";  // what sd-bus says without a system bus
        return result;
    }
    result.fd = nextDescriptor++;
    const InhibitorRecord taken{true, who, why, commandsReceived()};
    inhibitors_.push_back(taken);
    inhibitorsHeld_[result.fd] = taken;
    return result;
}

void LinuxMachine::allowSleep(int fd) {
    auto it = inhibitorsHeld_.find(fd);
    if (it == inhibitorsHeld_.end()) return;
    InhibitorRecord released = it->second;
    released.taken = false;
    released.commandsBefore = commandsReceived();
    inhibitors_.push_back(released);
    inhibitorsHeld_.erase(it);
}

dw::LinuxApi::OpenResult LinuxMachine::openLogFile(const std::string& path) {
    OpenResult result;
    if (auto refused = logFileRefusals.find(path); refused != logFileRefusals.end()) {
        result.error = refused->second;
        return result;
    }
    logFiles[path];
    result.fd = nextDescriptor++;
    logFilesOpen_[result.fd] = path;
    return result;
}

int LinuxMachine::appendToLogFile(int fd, const std::string& line) {
    auto it = logFilesOpen_.find(fd);
    if (it == logFilesOpen_.end()) return EBADF;
    logFiles[it->second] += line;
    return 0;
}

void LinuxMachine::closeLogFile(int fd) { logFilesOpen_.erase(fd); }

void LinuxMachine::writeSystemLog(LogPriority priority, const std::string& line) {
    systemLog.push_back((priority == LogPriority::Notice ? "notice: " : "err: ") + line);
}

}  // namespace sim
