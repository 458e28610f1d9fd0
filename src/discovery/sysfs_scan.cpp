// The Linux scan: sysfs class entries to drives, their attachment and their identification.
#include "discovery/sysfs_scan.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <optional>
#include <tuple>

namespace dw {

namespace {

constexpr const char* kGenericClass = "/sys/class/scsi_generic";
constexpr const char* kBlockClass = "/sys/block";
constexpr int kCdromType = 5;

std::vector<std::string_view> components(std::string_view path) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    while (start < path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string_view::npos) end = path.size();
        if (end > start) parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

bool allDigits(std::string_view text) {
    return !text.empty() && text.size() <= 9 &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int number(std::string_view digits) {
    int value = 0;
    for (char c : digits) value = value * 10 + (c - '0');
    return value;
}

// "usb2", "ata3", "fw1": the prefix and then only digits.
bool prefixedNumber(std::string_view part, std::string_view prefix) {
    return part.size() > prefix.size() && part.substr(0, prefix.size()) == prefix &&
           allDigits(part.substr(prefix.size()));
}

// "fw1.0": a firewire-core unit.
bool firewireUnit(std::string_view part) {
    const size_t dot = part.find('.');
    return dot != std::string_view::npos && prefixedNumber(part.substr(0, dot), "fw") &&
           allDigits(part.substr(dot + 1));
}

bool parseInt(std::string_view text, int& value) {
    if (!allDigits(text)) return false;
    value = number(text);
    return true;
}

}  // namespace

bool parseScsiAddress(std::string_view text, SysfsAddress& out) {
    int32_t* fields[] = {&out.host, &out.channel, &out.target, &out.lun};
    for (int i = 0; i < 4; ++i) {
        const size_t colon = i < 3 ? text.find(':') : text.size();
        if (colon == std::string_view::npos) return false;
        int value = 0;
        if (!parseInt(text.substr(0, colon), value)) return false;
        *fields[i] = value;
        text = colon < text.size() ? text.substr(colon + 1) : std::string_view();
    }
    return true;
}

SysfsAttachment attachmentOfPath(std::string_view path) {
    SysfsAttachment result;
    std::string walked;
    for (std::string_view part : components(path)) {
        if (!walked.empty() || (!path.empty() && path[0] == '/')) walked += '/';
        walked.append(part.data(), part.size());
        SysfsAddress address;
        if (parseScsiAddress(part, address)) {
            result.address = address;
            result.haveAddress = true;
            break;  // what lies below the device's own folder says nothing of its attachment
        }
        if (result.kind != SysfsAttachment::Kind::Other) continue;
        if (prefixedNumber(part, "usb")) {
            result.kind = SysfsAttachment::Kind::Usb;
        } else if (prefixedNumber(part, "fw") || firewireUnit(part) ||
                   prefixedNumber(part, "fw-host")) {
            result.kind = SysfsAttachment::Kind::FireWire;
        } else if (prefixedNumber(part, "ata")) {
            result.kind = SysfsAttachment::Kind::Libata;
            result.ataPort = number(part.substr(3));
            result.ataFolder = walked;
        }
    }
    return result;
}

std::string attributeText(std::string_view text) {
    const size_t end = text.find('\n');
    return std::string(text.substr(0, end));
}

BusKind busKindOf(const SysfsAttachment& attachment, const LinuxApi::TextResult& sataSpeed) {
    switch (attachment.kind) {
        case SysfsAttachment::Kind::Usb: return BusKind::Usb;
        case SysfsAttachment::Kind::FireWire: return BusKind::Ieee1394;
        case SysfsAttachment::Kind::Libata: {
            const std::string speed = sataSpeed.ok ? attributeText(sataSpeed.text) : "";
            const bool told = !speed.empty() && speed[0] >= '0' && speed[0] <= '9' &&
                              speed.find("Gbps") != std::string::npos;
            return told ? BusKind::SerialAta : BusKind::Atapi;
        }
        case SysfsAttachment::Kind::Other: return BusKind::Scsi;
    }
    return BusKind::Scsi;
}

std::vector<std::string> mountPointsOf(std::string_view mounts, std::string_view deviceNode) {
    std::vector<std::string> points;
    while (!mounts.empty()) {
        size_t end = mounts.find('\n');
        if (end == std::string_view::npos) end = mounts.size();
        const std::string_view line = mounts.substr(0, end);
        mounts = end < mounts.size() ? mounts.substr(end + 1) : std::string_view();

        const size_t first = line.find(' ');
        if (first == std::string_view::npos || line.substr(0, first) != deviceNode) continue;
        std::string_view rest = line.substr(first + 1);
        const size_t second = rest.find(' ');
        const std::string_view field = rest.substr(0, second);
        std::string point;
        for (size_t i = 0; i < field.size(); ++i) {
            // The kernel writes blanks, tabs, line feeds and backslashes as \ooo.
            if (field[i] == '\\' && i + 3 < field.size()) {
                const std::string_view digits = field.substr(i + 1, 3);
                if (digits.size() == 3 && std::all_of(digits.begin(), digits.end(), [](char c) {
                        return c >= '0' && c <= '7';
                    })) {
                    point += static_cast<char>((digits[0] - '0') * 64 + (digits[1] - '0') * 8 +
                                               (digits[2] - '0'));
                    i += 3;
                    continue;
                }
            }
            point += field[i];
        }
        if (!point.empty()) points.push_back(point);
    }
    return points;
}

namespace {

struct Candidate {
    SysfsAddress address;
    std::string node;
    std::string blockName;
    BusKind busKind = BusKind::Scsi;
    int sysfsType = -1;                       // -1: could not be read
    std::optional<DeviceNumber> entryNumber;  // of the class entry described
    std::optional<DeviceNumber> genericNumber;
    std::optional<DeviceNumber> blockNumber;
};

// "MAJOR:MINOR" as a `dev` attribute holds it.
std::optional<DeviceNumber> parseDeviceNumber(std::string_view text) {
    const size_t colon = text.find(':');
    int major = 0, minor = 0;
    if (colon == std::string_view::npos || !parseInt(text.substr(0, colon), major) ||
        !parseInt(text.substr(colon + 1), minor)) {
        return std::nullopt;
    }
    return DeviceNumber{static_cast<uint32_t>(major), static_cast<uint32_t>(minor)};
}

// The device number of a class entry's node, from its `dev` attribute.
std::optional<DeviceNumber> entryNumberOf(LinuxApi& api, const std::string& entry,
                                          std::vector<ScanProblem>& problems) {
    const LinuxApi::TextResult dev = api.readTextFile(entry + "/dev");
    if (!dev.ok) problems.push_back({entry + "/dev", dev.error});
    return dev.ok ? parseDeviceNumber(attributeText(dev.text)) : std::nullopt;
}

std::string joinPath(const std::string& folder, const std::string& name) {
    return folder + "/" + name;
}

// The place in /sys/devices that a path through class links leads to, read link by link as the
// kernel would resolve it: the class entry is a link (or, in older layouts, a folder whose
// "device" link leads on). A component that is no link, or whose link cannot be read, is kept.
std::string physicalPath(LinuxApi& api, const std::string& path) {
    constexpr int kMaxLinks = 40;
    std::vector<std::string> pending;
    for (std::string_view part : components(path)) pending.emplace(pending.begin(), part);
    std::vector<std::string> resolved;
    int links = 0;
    while (!pending.empty()) {
        const std::string part = pending.back();
        pending.pop_back();
        if (part == ".") continue;
        if (part == "..") {
            if (!resolved.empty()) resolved.pop_back();
            continue;
        }
        std::string here;
        for (const std::string& r : resolved) here += "/" + r;
        here += "/" + part;
        const LinuxApi::TextResult link =
            links < kMaxLinks ? api.readLink(here) : LinuxApi::TextResult{};
        if (!link.ok || link.text.empty()) {
            resolved.push_back(part);
            continue;
        }
        ++links;
        if (link.text[0] == '/') resolved.clear();
        const auto target = components(link.text);
        for (auto t = target.rbegin(); t != target.rend(); ++t) pending.emplace_back(*t);
    }
    std::string result;
    for (const std::string& r : resolved) result += "/" + r;
    return result;
}

// What the device's place in /sys/devices says of it.
bool describe(LinuxApi& api, const std::string& entry, Candidate& candidate,
              std::vector<ScanProblem>& problems) {
    const std::string physical = physicalPath(api, entry + "/device");
    const SysfsAttachment attachment = attachmentOfPath(physical);
    if (!attachment.haveAddress) {
        problems.push_back({entry + "/device", ENOENT, false});
        return false;
    }
    candidate.address = attachment.address;
    LinuxApi::TextResult speed;
    if (attachment.kind == SysfsAttachment::Kind::Libata) {
        // The port's link is beside the host in the port's folder, and in the ata_link class.
        const std::string link = "link" + std::to_string(attachment.ataPort);
        const std::string beside = attachment.ataFolder + "/" + link + "/ata_link/" + link;
        speed = api.readTextFile(beside + "/sata_spd");
        if (!speed.ok) speed = api.readTextFile("/sys/class/ata_link/" + link + "/sata_spd");
        if (!speed.ok) problems.push_back({beside + "/sata_spd", speed.error, false});
    }
    candidate.busKind = busKindOf(attachment, speed);

    const LinuxApi::TextResult type = api.readTextFile(entry + "/device/type");
    int value = -1;
    if (type.ok && parseInt(attributeText(type.text), value)) {
        candidate.sysfsType = value;
    } else if (!type.ok) {
        problems.push_back({entry + "/device/type", type.error, false});
    }
    return true;
}

bool sameAddress(const SysfsAddress& a, const SysfsAddress& b) {
    return a.host == b.host && a.channel == b.channel && a.target == b.target && a.lun == b.lun;
}

// The drive's INQUIRY; through its sr node instead where the name given stands for that node and
// the sg node cannot be opened (no access to it, or another program holds it exclusively).
int32_t inquireDrive(ScsiTransport& transport, DeviceEntry& entry, InquiryStrings& strings,
                     NamedNode named, std::vector<ScanProblem>& problems) {
    const int32_t result = transport.inquiry(entry, strings);
    SgIoDevice& device = transport.sgIoDevices.back();
    if (named != NamedNode::Block || !isSystemErrorResult(result) || !device.throughGenericNode()) {
        return result;
    }
    problems.push_back({device.node, static_cast<int>(systemErrorOf(result)), false});
    device.node = "/dev/" + device.blockName;
    return transport.inquiry(entry, strings);
}

}  // namespace

NamedNode nodeNamed(const SgIoDevice& device, const LinuxApi::NodeResult& named,
                    const std::string& name) {
    if (!named.ok) return NamedNode::None;
    using Kind = LinuxApi::NodeResult::Kind;
    auto names = [&](const std::string& node, Kind kind,
                     const std::optional<DeviceNumber>& number) {
        return number ? named.kind == kind && *number == named.number : node == name;
    };
    if (device.throughGenericNode() && names(device.node, Kind::Character, device.genericNumber)) {
        return NamedNode::Generic;
    }
    const std::string block = device.blockName.empty() ? "" : "/dev/" + device.blockName;
    if (!block.empty() && names(block, Kind::Block, device.blockNumber)) return NamedNode::Block;
    return NamedNode::None;
}

std::vector<ScanProblem> SysfsScan(ScsiTransport& transport, LinuxApi& api,
                                   const std::string& onlyNamed) {
    std::vector<ScanProblem> problems;
    const LinuxApi::NodeResult named =
        onlyNamed.empty() ? LinuxApi::NodeResult{} : api.statNode(onlyNamed);
    std::vector<Candidate> candidates;

    // Each entry of a class folder whose name is the prefix and a number, described.
    auto eachDevice = [&](const char* folder, const char* prefix, auto use) {
        const LinuxApi::ListResult list = api.listDirectory(folder);
        if (!list.ok && list.error != ENOENT) problems.push_back({folder, list.error});
        for (const std::string& name : list.names) {
            if (!prefixedNumber(name, prefix)) continue;
            Candidate candidate;
            if (!describe(api, joinPath(folder, name), candidate, problems)) continue;
            candidate.entryNumber = entryNumberOf(api, joinPath(folder, name), problems);
            use(name, candidate);
        }
    };

    eachDevice(kGenericClass, "sg", [&](const std::string& name, Candidate& candidate) {
        candidate.node = "/dev/" + name;
        candidate.genericNumber = candidate.entryNumber;
        candidates.push_back(candidate);
    });
    // sr block devices: the name for the mount check, and the node of a drive without sg.
    eachDevice(kBlockClass, "sr", [&](const std::string& name, Candidate& candidate) {
        auto known = std::find_if(candidates.begin(), candidates.end(), [&](const Candidate& c) {
            return sameAddress(c.address, candidate.address);
        });
        if (known != candidates.end()) {
            known->blockName = name;
            known->blockNumber = candidate.entryNumber;
            return;
        }
        candidate.node = "/dev/" + name;
        candidate.blockName = name;
        candidate.blockNumber = candidate.entryNumber;
        candidates.push_back(candidate);
    });

    // Only CD/DVD devices; one whose type could not be read is asked by INQUIRY below.
    candidates.erase(std::remove_if(candidates.begin(), candidates.end(),
                                    [](const Candidate& c) {
                                        return c.sysfsType >= 0 && c.sysfsType != kCdromType;
                                    }),
                     candidates.end());
    std::sort(candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
        return std::tie(a.address.host, a.address.channel, a.address.target, a.address.lun) <
               std::tie(b.address.host, b.address.channel, b.address.target, b.address.lun);
    });

    transport.kind = TransportKind::SgIo;
    for (const Candidate& c : candidates) {
        if (c.address.host > kMaxScsiHost || c.address.channel > kMaxScsiChannel) {
            ScanProblem beyond{c.node, 0, false, true, c.address};
            problems.push_back(beyond);
            continue;
        }
        SgIoDevice device;
        device.host = c.address.host;
        device.channel = c.address.channel;
        device.target = c.address.target;
        device.lun = c.address.lun;
        device.node = c.node;
        device.blockName = c.blockName;
        device.genericNumber = c.genericNumber;
        device.blockNumber = c.blockNumber;
        const NamedNode namedNode =
            onlyNamed.empty() ? NamedNode::Generic : nodeNamed(device, named, onlyNamed);
        if (namedNode == NamedNode::None) continue;
        transport.sgIoDevices.push_back(device);

        DeviceEntry entry;
        entry.hostAdapter = c.address.host;
        entry.pathId = c.address.channel;
        entry.targetId = c.address.target;
        entry.lun = c.address.lun;
        entry.busKind = c.busKind;
        InquiryStrings strings;
        const int32_t result = inquireDrive(transport, entry, strings, namedNode, problems);
        if ((result & 0xFF) == 1) {
            if (c.sysfsType < 0 && ((result >> 8) & 0x1F) != kCdromType) {
                transport.sgIoDevices.pop_back();
                continue;
            }
            copyIdentification(strings, entry);
            transport.sgIoDevices.back().scanned = strings;
        } else if (isSystemErrorResult(result)) {
            problems.push_back(
                {transport.sgIoDevices.back().node, static_cast<int>(systemErrorOf(result)), true});
        }

        // Host n is the adapter at index n.
        if (transport.adapters.size() <= static_cast<size_t>(c.address.host)) {
            transport.adapters.resize(static_cast<size_t>(c.address.host) + 1);
        }
        HostAdapter& adapter = transport.adapters[static_cast<size_t>(c.address.host)];
        if (adapter.portNumber < 0) {
            adapter.portNumber = c.address.host;
            char name[32];
            std::snprintf(name, sizeof name, "host%d", c.address.host);
            adapter.deviceName = name;
        }
        if (adapter.buses.size() <= static_cast<size_t>(c.address.channel)) {
            adapter.buses.resize(static_cast<size_t>(c.address.channel) + 1);
        }
        adapter.buses[static_cast<size_t>(c.address.channel)].append(entry);
        transport.setAdapterBusKind(static_cast<size_t>(c.address.host), c.busKind);
    }
    if (transport.sgIoDevices.empty()) {
        transport.kind = TransportKind::None;
        transport.adapters.clear();
    }
    return problems;
}

}  // namespace dw
