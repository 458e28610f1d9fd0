#include "sim/machine.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "platform/scsi_structures.h"

namespace sim {

namespace {

// IOCTL_SCSI_RESCAN_BUS: the port driver enumerates its buses again and collects its drives'
// INQUIRY data anew. The program never sends it; a test may.
constexpr uint32_t kIoctlScsiRescanBus = 0x0004101C;
constexpr uint32_t kGenericWrite = 0x40000000;

// What CDROM_EXCLUSIVE_LOCK accepts as a caller name: a NUL within its bytes, before it only
// letters, digits, blanks and . , : ; - _
bool validCallerName(const uint8_t* name, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        const char c = static_cast<char>(name[i]);
        if (c == 0) return true;
        if (!std::isalnum(static_cast<unsigned char>(c)) && std::strchr(" .,:;-_", c) == nullptr)
            return false;
    }
    return false;
}

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool sameName(const std::string& a, const std::string& b) { return lower(a) == lower(b); }

std::vector<std::string> splitPath(const std::string& path) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : path) {
        if (c == '\\') {
            if (!part.empty()) parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty()) parts.push_back(part);
    return parts;
}

void putLe32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + size_t(i)] = static_cast<uint8_t>(v >> (8 * i));
}

// "\\.\E:" gives 4, anything else -1.
int letterOfDeviceName(const std::string& name) {
    if (name.size() != 6 || name.compare(0, 4, "\\\\.\\") != 0 || name[5] != ':') return -1;
    const int c = std::toupper(static_cast<unsigned char>(name[4]));
    return (c >= 'A' && c <= 'Z') ? c - 'A' : -1;
}

// "\\.\SCSI3:" gives 3, anything else -1.
int portOfDeviceName(const std::string& name) {
    const std::string l = lower(name);
    if (l.size() < 10 || l.compare(0, 8, "\\\\.\\scsi") != 0 || l.back() != ':') return -1;
    const std::string digits = l.substr(8, l.size() - 9);
    if (digits.empty() || digits.size() > 3) return -1;
    for (char c : digits) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return -1;
    }
    return std::stoi(digits);
}

}  // namespace

Machine::RegNode* Machine::RegNode::child(const std::string& childName) const {
    for (const auto& c : children) {
        if (sameName(c->name, childName)) return c.get();
    }
    return nullptr;
}

Machine::Machine() {
    for (const char* name :
         {"kernel32.dll", "user32.dll", "comctl32.dll", "comdlg32.dll", "shell32.dll", "ole32.dll",
          "rpcrt4.dll", "uxtheme.dll", "setupapi.dll", "cfgmgr32.dll", "version.dll"}) {
        addFile(name);
    }
    aspi_.signalEvent = [this](void* event) {
        auto it = events_.find(reinterpret_cast<dw::Handle>(event));
        if (it != events_.end()) it->second.signalled = true;
    };
}

Machine::~Machine() = default;

KorvaneDrive& Machine::addDrive(const std::string& product, const std::string& revision,
                                const std::string& vendor) {
    drives_.push_back(std::make_unique<KorvaneDrive>(product, revision, vendor));
    return *drives_.back();
}

SimPort& Machine::addPort(int number) {
    ports_.push_back(std::make_unique<SimPort>());
    ports_.back()->number = number;
    return *ports_.back();
}

SimPort* Machine::port(int number) {
    for (auto& p : ports_) {
        if (p->number == number) return p.get();
    }
    return nullptr;
}

Attachment* Machine::attachmentOf(const KorvaneDrive& drive) {
    for (auto& a : attachments_) {
        if (a->drive == &drive) return a.get();
    }
    return nullptr;
}

Attachment& Machine::attach(KorvaneDrive& drive, int port, int path, int target, int lun,
                            int letter) {
    auto a = std::make_unique<Attachment>();
    a->drive = &drive;
    a->port = port;
    a->path = path;
    a->target = target;
    a->lun = lun;
    a->letter = letter;
    // A drive that arrives after boot is enumerated when it arrives.
    if (booted_ && port >= 0) {
        const auto data = drive.inquiryData();
        a->cachedInquiry = std::vector<uint8_t>(data.begin(), data.end());
    }
    attachments_.push_back(std::move(a));
    return *attachments_.back();
}

void Machine::boot() {
    booted_ = true;
    for (auto& a : attachments_) {
        if (a->port < 0 || a->cachedInquiry) continue;
        const auto data = a->drive->inquiryData();
        a->cachedInquiry = std::vector<uint8_t>(data.begin(), data.end());
    }
}

void Machine::rescanBus(int port) {
    ++rescans;
    for (auto& a : attachments_) {
        if (a->port != port) continue;
        const auto data = a->drive->inquiryData();
        a->cachedInquiry = std::vector<uint8_t>(data.begin(), data.end());
    }
}

void Machine::installAspi(std::vector<std::string> missingExports, const std::string& path) {
    File& library = files_[fullPath(path.empty() ? "wnaspi32.dll" : path)];
    auto exported = [&](const char* name) {
        return std::find(missingExports.begin(), missingExports.end(), name) ==
               missingExports.end();
    };
    if (exported("GetASPI32SupportInfo")) {
        library.exports["GetASPI32SupportInfo"] =
            reinterpret_cast<void*>(&AspiLayer::getSupportInfo);
    }
    if (exported("SendASPI32Command")) {
        library.exports["SendASPI32Command"] = reinterpret_cast<void*>(&AspiLayer::sendCommand);
    }
    aspi_.activate();
}

Machine::RegNode* Machine::rootNode(dw::Handle root) {
    if (root == dw::Registry::kLocalMachine) return &localMachine_;
    if (root == dw::Registry::kDynData) return &dynData_;
    return nullptr;
}

Machine::RegNode& Machine::makeKey(dw::Handle root, const std::string& keyPath) {
    RegNode* node = rootNode(root);
    for (const auto& part : splitPath(keyPath)) {
        RegNode* next = node->child(part);
        if (next == nullptr) {
            node->children.push_back(std::make_unique<RegNode>());
            next = node->children.back().get();
            next->name = part;
        }
        node = next;
    }
    return *node;
}

void Machine::addRegistryKey(dw::Handle root, const std::string& keyPath) {
    makeKey(root, keyPath);
}

void Machine::setRegistryValue(dw::Handle root, const std::string& keyPath, const std::string& name,
                               uint32_t type, std::vector<uint8_t> data) {
    RegNode& node = makeKey(root, keyPath);
    for (auto& v : node.values) {
        if (sameName(v.name, name)) {
            v.type = type;
            v.data = std::move(data);
            return;
        }
    }
    node.values.push_back({name, type, std::move(data)});
}

void Machine::setRegistryString(dw::Handle root, const std::string& keyPath,
                                const std::string& name, const std::string& value) {
    std::vector<uint8_t> data(value.begin(), value.end());
    data.push_back(0);
    setRegistryValue(root, keyPath, name, dw::Registry::kTypeString, std::move(data));
}

void Machine::failOpen(const std::string& deviceName, uint32_t error) {
    if (error == 0) openFailures_.erase(lower(deviceName));
    if (error != 0) openFailures_[lower(deviceName)] = error;
}

void Machine::failIoControl(const std::string& deviceName, uint32_t code, uint32_t error) {
    if (error == 0) ioControlFailures_.erase({lower(deviceName), code});
    if (error != 0) ioControlFailures_[{lower(deviceName), code}] = error;
}

void Machine::failAfterDrive(const std::string& deviceName, uint8_t opcode, int nth,
                             uint32_t error) {
    lateFailures_.push_back({lower(deviceName), opcode, nth, error});
}

bool Machine::wasOpened(const std::string& deviceName) const {
    return std::any_of(openLog_.begin(), openLog_.end(),
                       [&](const std::string& n) { return sameName(n, deviceName); });
}

Attachment* Machine::attachmentAt(const SimPort* port, int path, int target, int lun) {
    for (auto& a : attachments_) {
        if (a->port == port->number && a->path == path && a->target == target && a->lun == lun) {
            return a.get();
        }
    }
    return nullptr;
}

// --- device I/O ----------------------------------------------------------------------------

dw::DeviceIo::OpenResult Machine::createFile(const std::string& name, uint32_t access, uint32_t,
                                             uint32_t, uint32_t) {
    // The port drivers have enumerated their buses before any program runs.
    if (!booted_) boot();
    openLog_.push_back(name);
    OpenResult result;
    auto failure = openFailures_.find(lower(name));
    if (failure != openFailures_.end()) {
        result.error = failure->second;
        return result;
    }

    OpenDevice device;
    device.name = name;
    device.access = access;
    if (const int letter = letterOfDeviceName(name); letter >= 0) {
        for (auto& a : attachments_) {
            if (a->letter == letter) device.letter = a.get();
        }
    } else if (const int port = portOfDeviceName(name); port >= 0) {
        for (auto& p : ports_) {
            if (p->number == port) device.port = p.get();
        }
    }
    if (device.letter == nullptr && device.port == nullptr) {
        result.error = dw::winerr::kFileNotFound;
        return result;
    }
    result.handle = nextHandle_++;
    handles_[result.handle] = device;
    return result;
}

bool Machine::closeHandle(dw::Handle handle) {
    // Closing the handle that holds exclusive access releases it.
    for (auto& a : attachments_) {
        if (a->exclusiveOwner == handle) a->exclusiveOwner = 0;
    }
    return handles_.erase(handle) == 1;
}

std::vector<uint8_t> Machine::portInquiryData(const SimPort& port) const {
    if (port.rawInquiryData) {
        std::vector<uint8_t> raw = *port.rawInquiryData;
        raw.resize(dw::kPortInquiryBufferSize, 0);
        return raw;
    }
    using namespace dw::port_inquiry;
    std::vector<uint8_t> b(dw::kPortInquiryBufferSize, 0);
    b[kBusCount] = static_cast<uint8_t>(port.busCount);
    size_t next = kBusInfoStart + kBusInfoSize * size_t(port.busCount);
    for (int bus = 0; bus < port.busCount; ++bus) {
        const size_t info = kBusInfoStart + kBusInfoSize * size_t(bus);
        b[info + 1] = port.initiatorId;
        size_t previous = 0;
        uint8_t luns = 0;
        for (const auto& a : attachments_) {
            if (a->port != port.number || a->path != bus) continue;
            std::vector<uint8_t> inquiry;
            if (a->cachedInquiry) {
                inquiry = *a->cachedInquiry;
            } else {
                const auto data = a->drive->inquiryData();
                inquiry.assign(data.begin(), data.end());
            }
            if (next + kRecordHeaderSize + inquiry.size() > b.size()) break;
            b[next] = static_cast<uint8_t>(a->path);
            b[next + 1] = static_cast<uint8_t>(a->target);
            b[next + 2] = static_cast<uint8_t>(a->lun);
            b[next + 3] = 1;
            putLe32(b, next + 4, static_cast<uint32_t>(inquiry.size()));
            std::copy(inquiry.begin(), inquiry.end(), b.begin() + long(next + kRecordHeaderSize));
            if (previous == 0) {
                putLe32(b, info + 4, static_cast<uint32_t>(next));
            } else {
                putLe32(b, previous + 8, static_cast<uint32_t>(next));
            }
            previous = next;
            ++luns;
            next = (next + kRecordHeaderSize + inquiry.size() + 7) & ~size_t(7);
        }
        b[info] = luns;
    }
    return b;
}

dw::DeviceIo::IoResult Machine::deviceIoControl(dw::Handle handle, uint32_t code,
                                                std::span<uint8_t> in, std::span<uint8_t> out) {
    IoResult result;
    auto it = handles_.find(handle);
    if (it == handles_.end()) {
        result.error = dw::winerr::kInvalidHandle;
        return result;
    }
    const OpenDevice& device = it->second;
    std::string what;
    if (code == dw::kIoctlScsiPassThroughDirect) {
        char opcode[4];
        std::snprintf(opcode, sizeof opcode, "%02X",
                      in.size() > offsetof(dw::ScsiPassThroughDirect, cdb)
                          ? in[offsetof(dw::ScsiPassThroughDirect, cdb)]
                          : 0);
        what = opcode;
    } else if (code == dw::kIoctlCdromExclusiveAccess) {
        uint32_t type = ~0u;
        if (in.size() >= sizeof type) std::memcpy(&type, in.data(), sizeof type);
        what = type == dw::kExclusiveAccessLockDevice     ? "lock"
               : type == dw::kExclusiveAccessUnlockDevice ? "unlock"
                                                          : "exclusive " + std::to_string(type);
    } else {
        char hexCode[16];
        std::snprintf(hexCode, sizeof hexCode, "%08X", code);
        what = hexCode;
    }
    result = control(handle, device, code, in, out);
    logIoControl(device, what, result);
    return result;
}

dw::DeviceIo::IoResult Machine::control(dw::Handle handle, const OpenDevice& device, uint32_t code,
                                        std::span<uint8_t> in, std::span<uint8_t> out) {
    IoResult result;
    if (auto failure = ioControlFailures_.find({lower(device.name), code});
        failure != ioControlFailures_.end()) {
        result.error = failure->second;
        return result;
    }

    // While a handle holds the drive exclusively, the class driver refuses every other handle's
    // requests with STATUS_ACCESS_DENIED (cdrom.sys, DeviceEvtIoInCallerContext).
    if (code == dw::kIoctlCdromExclusiveAccess) return exclusiveAccess(handle, device, in, out);
    if (const Attachment* a = device.letter;
        a != nullptr &&
        (a->lockedByOtherProgram || (a->exclusiveOwner != 0 && a->exclusiveOwner != handle))) {
        result.error = dw::winerr::kAccessDenied;
        return result;
    }

    switch (code) {
        case dw::kIoctlScsiPassThroughDirect: return passThrough(device, in, out);

        case dw::kIoctlScsiGetInquiryData: {
            if (device.port == nullptr || device.port->inquiryDataFails) {
                result.error = dw::winerr::kInvalidFunction;
                return result;
            }
            const auto data = portInquiryData(*device.port);
            if (out.size() < data.size()) {
                result.error = dw::winerr::kInsufficientBuffer;
                return result;
            }
            std::copy(data.begin(), data.end(), out.begin());
            result.ok = true;
            result.bytesReturned = static_cast<uint32_t>(data.size());
            return result;
        }

        case kIoctlScsiRescanBus:
            if (device.port == nullptr) {
                result.error = dw::winerr::kInvalidFunction;
                return result;
            }
            rescanBus(device.port->number);
            result.ok = true;
            return result;

        case dw::kIoctlScsiGetAddress: {
            if (device.letter == nullptr || device.letter->port < 0) {
                result.error = dw::winerr::kInvalidFunction;
                return result;
            }
            if (out.size() < sizeof(dw::ScsiAddress)) {
                result.error = dw::winerr::kInsufficientBuffer;
                return result;
            }
            dw::ScsiAddress address{sizeof(dw::ScsiAddress),
                                    static_cast<uint8_t>(device.letter->port),
                                    static_cast<uint8_t>(device.letter->path),
                                    static_cast<uint8_t>(device.letter->target),
                                    static_cast<uint8_t>(device.letter->lun)};
            std::memcpy(out.data(), &address, sizeof address);
            result.ok = true;
            result.bytesReturned = sizeof address;
            return result;
        }

        default: result.error = dw::winerr::kInvalidFunction; return result;
    }
}

// IOCTL_CDROM_EXCLUSIVE_ACCESS as the CD-ROM class driver answers it (the WDK's description of
// the request and of exclusive access mode): a lock needs a handle opened for reading and
// writing, and is refused while the drive is locked (ERROR_ACCESS_DENIED) or a file system is
// mounted on it (ERROR_BAD_COMMAND); an unlock needs the handle that holds the lock
// (ERROR_INVALID_HANDLE) and a locked drive (ERROR_INVALID_FUNCTION).
dw::DeviceIo::IoResult Machine::exclusiveAccess(dw::Handle handle, const OpenDevice& device,
                                                std::span<uint8_t> in, std::span<uint8_t> out) {
    IoResult result;
    Attachment* a = device.letter;
    if (a == nullptr || !exclusiveAccessSupported) {
        result.error =
            dw::winerr::kInvalidFunction;  // a port, or a driver that has no such request
        return result;
    }
    dw::CdromExclusiveLock request = {};
    if (in.size() < sizeof request.access) {
        result.error = dw::winerr::kBadLength;
        return result;
    }
    std::memcpy(&request, in.data(), std::min(in.size(), sizeof request));
    const bool lockedByOther =
        a->lockedByOtherProgram || (a->exclusiveOwner != 0 && a->exclusiveOwner != handle);
    switch (request.access.requestType) {
        case dw::kExclusiveAccessQueryState:
            if (out.size() < 1 + dw::kExclusiveCallerLength) {
                result.error = dw::winerr::kInsufficientBuffer;
                return result;
            }
            std::fill(out.begin(), out.end(), 0);
            out[0] = lockedByOther || a->exclusiveOwner != 0;
            result.ok = true;
            result.bytesReturned = 1 + dw::kExclusiveCallerLength;
            return result;
        case dw::kExclusiveAccessLockDevice:
            if (in.size() < sizeof request) {
                result.error = dw::winerr::kBadLength;
            } else if (!validCallerName(request.callerName, sizeof request.callerName)) {
                result.error = dw::winerr::kInvalidParameter;
            } else if ((device.access & kGenericWrite) == 0 || lockedByOther ||
                       a->exclusiveOwner != 0) {
                result.error = dw::winerr::kAccessDenied;
            } else if (a->volumeInUse && (request.access.flags & dw::kCdromLockIgnoreVolume) == 0) {
                result.error = dw::winerr::kBadCommand;
            } else {
                a->exclusiveOwner = handle;
                result.ok = true;
            }
            return result;
        case dw::kExclusiveAccessUnlockDevice:
            if (!lockedByOther && a->exclusiveOwner == 0) {
                result.error = dw::winerr::kInvalidFunction;
            } else if (a->exclusiveOwner != handle) {
                result.error = dw::winerr::kInvalidHandle;
            } else {
                a->exclusiveOwner = 0;
                result.ok = true;
            }
            return result;
        default: result.error = dw::winerr::kInvalidParameter; return result;
    }
}

void Machine::logIoControl(const OpenDevice& device, const std::string& what,
                           const IoResult& result) {
    if (!keepsPassThroughLog) return;
    std::string entry =
        device.name.compare(0, 4, "\\\\.\\") == 0 ? device.name.substr(4) : device.name;
    entry += " " + what;
    if (!result.ok) entry += " refused " + std::to_string(result.error);
    ioControlLog_.push_back(std::move(entry));
}

dw::DeviceIo::IoResult Machine::passThrough(const OpenDevice& device, std::span<uint8_t> in,
                                            std::span<uint8_t> out) {
    IoResult result;
    if (in.size() < sizeof(dw::ScsiPassThroughDirect) || out.size() < in.size()) {
        result.error = dw::winerr::kInvalidParameter;
        return result;
    }
    dw::ScsiPassThroughDirect sptd;
    std::memcpy(&sptd, in.data(), sizeof sptd);

    if (keepsPassThroughLog) {
        PassThroughSeen seen;
        seen.deviceName = device.name;
        seen.length = sptd.length;
        seen.pathId = sptd.pathId;
        seen.targetId = sptd.targetId;
        seen.lun = sptd.lun;
        seen.cdbLength = sptd.cdbLength;
        seen.senseInfoLength = sptd.senseInfoLength;
        seen.dataIn = sptd.dataIn;
        seen.dataTransferLength = sptd.dataTransferLength;
        seen.timeOutValue = sptd.timeOutValue;
        seen.senseInfoOffset = sptd.senseInfoOffset;
        seen.opcode = sptd.cdb[0];
        passThroughLog_.push_back(seen);
    }

    if (sptd.length != sizeof(dw::ScsiPassThroughDirect) || sptd.cdbLength == 0 ||
        sptd.cdbLength > 16 || (sptd.dataTransferLength > 0 && sptd.dataBuffer == nullptr)) {
        result.error = dw::winerr::kInvalidParameter;
        return result;
    }

    KorvaneDrive* drive = nullptr;
    if (device.letter != nullptr) {
        drive = device.letter->drive;
    } else if (Attachment* a = attachmentAt(device.port, sptd.pathId, sptd.targetId, sptd.lun)) {
        drive = a->drive;
    }
    if (drive == nullptr) {
        result.error = dw::winerr::kNotReady;
        return result;
    }

    DataDirection direction = DataDirection::None;
    if (sptd.dataIn == dw::kScsiIoctlDataIn) direction = DataDirection::In;
    if (sptd.dataIn == dw::kScsiIoctlDataOut) direction = DataDirection::Out;
    const DriveAnswer answer =
        drive->execute(std::span<const uint8_t>(sptd.cdb, sptd.cdbLength), direction,
                       static_cast<uint8_t*>(sptd.dataBuffer), sptd.dataTransferLength);
    if (!answer.answered) {
        result.error = dw::winerr::kSemTimeout;
        return result;
    }
    const int nth = ++passThroughCounts_[{lower(device.name), sptd.cdb[0]}];
    for (const LateFailure& late : lateFailures_) {
        if (late.deviceName == lower(device.name) && late.opcode == sptd.cdb[0] &&
            (late.nth == 0 || late.nth == nth)) {
            result.error = late.error;  // the drive took the command; its answer is lost
            return result;
        }
    }

    sptd.scsiStatus = answer.status;
    if (answer.status != KorvaneDrive::kGood && sptd.senseInfoOffset < out.size()) {
        const size_t room = out.size() - sptd.senseInfoOffset;
        const size_t n = std::min({room, size_t(sptd.senseInfoLength), answer.sense.size()});
        std::memcpy(out.data() + sptd.senseInfoOffset, answer.sense.data(), n);
    }
    if (direction == DataDirection::In) sptd.dataTransferLength = answer.dataInLength;
    std::memcpy(out.data(), &sptd, sizeof sptd);
    result.ok = true;
    result.bytesReturned = static_cast<uint32_t>(in.size());
    return result;
}

// --- libraries -----------------------------------------------------------------------------

std::string Machine::fullPath(const std::string& name) const {
    if (name.find('\\') != std::string::npos) return lower(name);
    return lower(systemFolder + "\\" + name);
}

void Machine::addFile(const std::string& path) { files_[fullPath(path)]; }

// As LoadLibraryA: a name with a path is that file; a bare name without an extension gets
// ".dll" and is searched for in the process's search order. The standard order (safe search)
// is the program's folder, the system folder, then the current folder; Windows 95, 98 and Me
// look in the current folder before the system folder. SetDllDirectoryA("") takes the current
// folder out; SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) leaves the system folder
// alone. ("Dynamic-link library search order", SetDllDirectory and SetDefaultDllDirectories
// in Microsoft's documentation; GetFileVersionInfo searches as LoadLibrary does.)
std::string Machine::findFile(const std::string& name) const {
    if (name.find('\\') != std::string::npos) {
        return files_.count(lower(name)) != 0 ? lower(name) : std::string();
    }
    const std::string file = name.find('.') == std::string::npos ? name + ".dll" : name;
    std::vector<std::string> folders;
    if ((defaultDirectories_ & kSearchSystem32) != 0) {
        folders = {systemFolder};
    } else if (version.platformId == kPlatformWindows) {
        folders = {programFolder, currentFolder, systemFolder};
    } else {
        folders = {programFolder, systemFolder};
        if (!currentFolderLeftOut_) folders.push_back(currentFolder);
    }
    for (const std::string& folder : folders) {
        const std::string path = lower(folder + "\\" + file);
        if (files_.count(path) != 0) return path;
    }
    return {};
}

dw::Handle Machine::loadLibrary(const std::string& name) {
    const std::string path = findFile(name);
    if (path.empty()) return 0;
    journal.push_back("load " + path);
    const dw::Handle module = nextHandle_++;
    modules_[module] = path;
    ++loadedLibraries_;
    return module;
}

void* Machine::getProcAddress(dw::Handle module, const std::string& name) {
    auto it = modules_.find(module);
    if (it == modules_.end()) return nullptr;
    const auto& exports = files_.at(it->second).exports;
    auto e = exports.find(name);
    return e == exports.end() ? nullptr : e->second;
}

bool Machine::freeLibrary(dw::Handle module) {
    if (modules_.erase(module) != 1) {
        ++strayLibraryFrees;
        return false;
    }
    --loadedLibraries_;
    return true;
}

dw::Libraries::Call Machine::setDefaultDllDirectories(uint32_t directoryFlags) {
    if (!exportsSetDefaultDllDirectories) return Call::NotExported;
    char entry[48];
    std::snprintf(entry, sizeof entry, "SetDefaultDllDirectories %X", directoryFlags);
    journal.push_back(entry);
    // Only the system folder is modelled; other flags are refused as unknown ones are.
    if (directoryFlags != kSearchSystem32) return Call::Failed;
    defaultDirectories_ = directoryFlags;
    return Call::Done;
}

dw::Libraries::Call Machine::setDllDirectory(const std::string& path) {
    if (!exportsSetDllDirectory) return Call::NotExported;
    journal.push_back("SetDllDirectoryA \"" + path + "\"");
    // Only the empty folder is modelled.
    if (!path.empty()) return Call::Failed;
    currentFolderLeftOut_ = true;
    return Call::Done;
}

void Machine::showWindow(const std::string& title, const std::vector<std::string>& libraries) {
    journal.push_back("window " + title);
    for (const std::string& name : libraries) {
        const std::string path = findFile(name);
        if (!path.empty()) journal.push_back("load " + path);
    }
}

// --- events and time -----------------------------------------------------------------------

dw::Handle Machine::createEvent(bool manualReset, bool initiallySignalled) {
    if (eventsFail) return 0;
    const dw::Handle event = nextHandle_++;
    events_[event] = {manualReset, initiallySignalled};
    ++eventsCreated;
    return event;
}

bool Machine::resetEvent(dw::Handle event) {
    auto it = events_.find(event);
    if (it == events_.end()) return false;
    it->second.signalled = false;
    ++eventResets;
    return true;
}

uint32_t Machine::waitForSingleObject(dw::Handle event, uint32_t milliseconds) {
    ++eventWaits;
    auto it = events_.find(event);
    if (it == events_.end()) return kWaitFailed;
    // Single-threaded: what the layer would complete meanwhile completes now.
    if (!it->second.signalled) aspi_.onWait(reinterpret_cast<void*>(event));
    if (!it->second.signalled) {
        // Nothing would ever signal it: a real program would hang here.
        if (milliseconds == kInfinite) return kWaitFailed;
        now_ += milliseconds;
        return kWaitTimeout;
    }
    if (!it->second.manualReset) it->second.signalled = false;
    return kWaitObject0;
}

bool Machine::closeEvent(dw::Handle event) {
    if (events_.erase(event) != 1) return false;
    ++eventsClosed;
    return true;
}

void Machine::sleep(uint32_t milliseconds) {
    ++sleeps;
    now_ += milliseconds;
    aspi_.onSleep();
}

// --- registry ------------------------------------------------------------------------------

Machine::RegNode* Machine::nodeOf(dw::Handle key, uint32_t needed, uint32_t& error) {
    error = dw::winerr::kSuccess;
    if (RegNode* root = rootNode(key)) return root;
    auto it = keys_.find(key);
    if (it == keys_.end()) {
        error = dw::winerr::kInvalidHandle;
        return nullptr;
    }
    // Windows refuses a call the key was not opened for, whatever the key holds.
    if ((it->second.access & needed) != needed) {
        error = dw::winerr::kAccessDenied;
        return nullptr;
    }
    return it->second.node;
}

uint32_t Machine::openKey(dw::Handle parent, const std::string& subKey, uint32_t access,
                          dw::Handle& key) {
    uint32_t error;
    RegNode* node = nodeOf(parent, 0, error);
    if (node == nullptr) return error;
    for (const auto& part : splitPath(subKey)) {
        node = node->child(part);
        if (node == nullptr) return dw::winerr::kFileNotFound;
    }
    key = nextHandle_++;
    keys_[key] = {node, access};
    return dw::winerr::kSuccess;
}

uint32_t Machine::enumKey(dw::Handle key, uint32_t index, std::span<char> name) {
    uint32_t error;
    RegNode* node = nodeOf(key, dw::Registry::kEnumerateSubKeys, error);
    if (node == nullptr) return error;
    if (index >= node->children.size()) return dw::winerr::kNoMoreItems;
    const std::string& childName = node->children[index]->name;
    if (childName.size() + 1 > name.size()) return dw::winerr::kMoreData;
    std::memcpy(name.data(), childName.c_str(), childName.size() + 1);
    return dw::winerr::kSuccess;
}

uint32_t Machine::queryValue(dw::Handle key, const std::string& valueName, uint32_t* type,
                             std::span<uint8_t> data, uint32_t& size) {
    uint32_t error;
    RegNode* node = nodeOf(key, dw::Registry::kQueryValue, error);
    if (node == nullptr) return error;
    for (const auto& v : node->values) {
        if (!sameName(v.name, valueName)) continue;
        if (type != nullptr) *type = v.type;
        const uint32_t needed = static_cast<uint32_t>(v.data.size());
        if (data.data() == nullptr) {
            size = needed;
            return dw::winerr::kSuccess;
        }
        if (data.size() < needed) {
            size = needed;
            return dw::winerr::kMoreData;
        }
        std::copy(v.data.begin(), v.data.end(), data.begin());
        size = needed;
        return dw::winerr::kSuccess;
    }
    return dw::winerr::kFileNotFound;
}

uint32_t Machine::closeKey(dw::Handle key) {
    if (rootNode(key) != nullptr) return dw::winerr::kSuccess;
    return keys_.erase(key) == 1 ? dw::winerr::kSuccess : dw::winerr::kInvalidHandle;
}

}  // namespace sim
