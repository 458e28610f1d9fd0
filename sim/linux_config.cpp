// Reading the simulated Linux PC's description and building the PC from it.
#include "sim/linux_config.h"

#include <cerrno>
#include <cstdlib>

namespace sim {

namespace {

bool decimal(const std::string& word, long low, long high, int& value) {
    if (word.empty()) return false;
    char* end = nullptr;
    const long v = std::strtol(word.c_str(), &end, 10);
    if (*end != '\0' || v < low || v > high) return false;
    value = static_cast<int>(v);
    return true;
}

// "sg3" or "sr0" with the expected prefix, or "-" for none.
bool nodeNumber(const std::string& word, const char* prefix, int& value) {
    if (word == "-") {
        value = -1;
        return true;
    }
    return word.size() > 2 && word.compare(0, 2, prefix) == 0 &&
           decimal(word.substr(2), 0, 255, value);
}

bool attachmentNamed(const std::string& word, LinuxAttachment& out) {
    const std::pair<const char*, LinuxAttachment> names[] = {{"sata", LinuxAttachment::Sata},
                                                             {"pata", LinuxAttachment::Pata},
                                                             {"usb", LinuxAttachment::Usb},
                                                             {"firewire",
                                                              LinuxAttachment::FireWire},
                                                             {"scsi", LinuxAttachment::Scsi}};
    for (const auto& [name, kind] : names) {
        if (word == name) {
            out = kind;
            return true;
        }
    }
    return false;
}

bool errnoNamed(const std::string& word, int& out) {
    const std::pair<const char*, int> names[] = {{"EACCES", EACCES}, {"EPERM", EPERM},
                                                 {"EIO", EIO},       {"EBUSY", EBUSY},
                                                 {"ENOENT", ENOENT}, {"ENXIO", ENXIO},
                                                 {"EINTR", EINTR},   {"EFAULT", EFAULT},
                                                 {"ENODEV", ENODEV}, {"EINVAL", EINVAL}};
    for (const auto& [name, value] : names) {
        if (word == name) {
            out = value;
            return true;
        }
    }
    return false;
}

// A lost answer: a host status, a driver status or an errno by its name.
bool lostAnswerNamed(const std::string& word, LostAnswer& out) {
    const std::pair<const char*, uint16_t> hosts[] = {{"DID_NO_CONNECT", 0x01},
                                                      {"DID_TIME_OUT", 0x03},
                                                      {"DID_ABORT", 0x05},
                                                      {"DID_ERROR", 0x07},
                                                      {"DID_RESET", 0x08}};
    const std::pair<const char*, uint16_t> drivers[] = {{"DRIVER_ERROR", 0x04},
                                                        {"DRIVER_TIMEOUT", 0x06}};
    for (const auto& [name, value] : hosts) {
        if (word == name) out.hostStatus = value;
    }
    for (const auto& [name, value] : drivers) {
        if (word == name) out.driverStatus = value;
    }
    return out.hostStatus != 0 || out.driverStatus != 0 || errnoNamed(word, out.error);
}

// "mains online", "battery discharging", "device-battery full".
bool parsePowerLine(std::string_view rest, LinuxConfig& config) {
    std::string kind, state;
    if (!nextConfigWord(rest, kind) || !nextConfigWord(rest, state) || !rest.empty()) return false;
    LinuxConfig::PowerSupply supply;
    if (kind == "mains") {
        if (state != "online" && state != "offline") return false;
        supply.type = "Mains";
        supply.state = state;
    } else if (kind == "battery" || kind == "device-battery") {
        supply.type = "Battery";
        supply.ofADevice = kind == "device-battery";
        if (state == "discharging") {
            supply.state = "Discharging";
        } else if (state == "charging") {
            supply.state = "Charging";
        } else if (state == "full") {
            supply.state = "Full";
        } else if (state == "not-charging") {
            supply.state = "Not charging";
        } else {
            return false;
        }
    } else {
        return false;
    }
    config.powerSupplies.push_back(supply);
    return true;
}

bool parseLine(std::string_view line, LinuxConfig& config) {
    std::string_view rest = line;
    std::string keyword, word;
    if (!nextConfigWord(rest, keyword) || keyword[0] == '#') return true;
    if (keyword == "drive") {
        LinuxDriveConfig d;
        LinuxPlacement& p = d.placement;
        std::string host, channel, target, lun, sg, sr;
        if (!nextConfigWord(rest, word) || !attachmentNamed(word, p.attachment) ||
            !nextConfigWord(rest, host) || !decimal(host, 0, 65535, p.host) ||
            !nextConfigWord(rest, channel) || !decimal(channel, 0, 255, p.channel) ||
            !nextConfigWord(rest, target) || !decimal(target, 0, 255, p.target) ||
            !nextConfigWord(rest, lun) || !decimal(lun, 0, 7, p.lun) || !nextConfigWord(rest, sg) ||
            !nodeNumber(sg, "sg", p.sg) || !nextConfigWord(rest, sr) ||
            !nodeNumber(sr, "sr", p.sr) || !nextConfigWord(rest, d.drive.revision)) {
            return false;
        }
        d.drive.product.assign(rest);
        if (d.drive.product.empty() || d.drive.product.size() > 16 || d.drive.revision.size() > 4 ||
            (p.sg < 0 && p.sr < 0)) {
            return false;
        }
        config.drives.push_back(d);
        return true;
    }
    if (keyword == "deny") {
        std::string path;
        int error = 0;
        if (!nextConfigWord(rest, path) || path[0] != '/' || !nextConfigWord(rest, word) ||
            !errnoNamed(word, error)) {
            return false;
        }
        config.denied.emplace_back(path, error);
        return true;
    }
    if (keyword == "refuse") {
        std::string opcode;
        int error = 0;
        char* end = nullptr;
        if (!nextConfigWord(rest, opcode) || opcode.size() != 2 || !nextConfigWord(rest, word) ||
            !errnoNamed(word, error)) {
            return false;
        }
        const long value = std::strtol(opcode.c_str(), &end, 16);
        if (*end != '\0') return false;
        config.refused.emplace_back(static_cast<uint8_t>(value), error);
        return true;
    }
    if (keyword == "power") return parsePowerLine(rest, config);
    if (keyword == "no-rawio") {
        config.rawio = false;
        return true;
    }
    if (keyword == "link") {
        std::string path, target;
        if (!nextConfigWord(rest, path) || path[0] != '/' || !nextConfigWord(rest, target)) {
            return false;
        }
        config.links.emplace_back(path, target);
        return true;
    }
    if (keyword == "bad-read") {
        LinuxConfig::BadRead bad;
        std::string from;
        int offset = 0;
        if (!nextConfigWord(rest, bad.path) || bad.path[0] != '/' || !nextConfigWord(rest, from) ||
            !decimal(from, 0, 0x7FFFFFFF, offset) || !nextConfigWord(rest, word) ||
            !errnoNamed(word, bad.error)) {
            return false;
        }
        bad.from = static_cast<uint64_t>(offset);
        config.badReads.push_back(bad);
        return true;
    }
    if (config.drives.empty()) return false;
    LinuxDriveConfig& d = config.drives.back();
    if (keyword == "type") {
        return nextConfigWord(rest, word) && decimal(word, 0, 31, d.placement.type);
    }
    if (keyword == "latency") {
        int ms = 0;
        if (!nextConfigWord(rest, word) || !decimal(word, 0, 10000, ms)) return false;
        if (rest.empty()) {
            d.latencyMs = ms;
            return true;
        }
        NthCommandRule<int> slow{.what = ms};
        if (!nthCommand(rest, slow)) return false;
        d.slow.push_back(slow);
        return true;
    }
    if (keyword == "mounted-elsewhere") {
        d.mountedElsewhere = true;
        return d.placement.sr >= 0;
    }
    if (keyword == "replaced") {
        DriveConfig other;
        if (!nextConfigWord(rest, other.revision)) return false;
        other.product.assign(rest);
        if (other.product.empty() || other.product.size() > 16 || other.revision.size() > 4) {
            return false;
        }
        d.replacement = other;
        return true;
    }
    if (keyword == "commit-latency") {
        return nextConfigWord(rest, word) && decimal(word, 0, 10000, d.commitLatencyMs);
    }
    if (keyword == "mounted") {
        d.mountPoint.assign(rest);
        return !d.mountPoint.empty() && d.mountPoint[0] == '/' && d.placement.sr >= 0;
    }
    if (keyword == "held") {
        d.held = true;
        return true;
    }
    if (keyword == "lost") {
        NthCommandRule<LostAnswer> lost;
        if (!nthCommand(rest, lost) || !nextConfigWord(rest, word) ||
            !lostAnswerNamed(word, lost.what)) {
            return false;
        }
        d.lost.push_back(lost);
        return true;
    }
    if (keyword == "takes") {
        NthCommandRule<uint32_t> take;
        int taken = 0;
        if (!nthCommand(rest, take) || !nextConfigWord(rest, word) ||
            !decimal(word, 0, 0x7FFFFFFF, taken)) {
            return false;
        }
        take.what = static_cast<uint32_t>(taken);
        d.takes.push_back(take);
        return true;
    }
    return parseDriveLine(keyword, rest, d.drive);
}

}  // namespace

std::optional<LinuxConfig> parseLinuxConfig(std::string_view text, std::string& error) {
    LinuxConfig config;
    int lineNumber = 0;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        ++lineNumber;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
        if (!parseLine(line, config)) {
            error = "line " + std::to_string(lineNumber) + ": " + std::string(line);
            return std::nullopt;
        }
    }
    return config;
}

void buildLinux(const LinuxConfig& config, SimulatedLinux& out) {
    out.placed = config.drives;
    for (const LinuxDriveConfig& d : config.drives) {
        out.drives.push_back(makeDrive(d.drive));
        out.machine.placeDrive(*out.drives.back(), d.placement);
        if (!d.mountPoint.empty()) out.machine.mount(d.placement.sr, d.mountPoint);
        if (d.mountedElsewhere) out.machine.mountElsewhere(d.placement.sr);
        if (d.replacement) {
            out.replacements.push_back(makeDrive(*d.replacement));
            out.machine.replaceBeforeHold(*out.drives.back(), *out.replacements.back());
        }
        for (const auto& lost : d.lost) {
            out.machine.loseAnswer(*out.drives.back(), lost.opcode, lost.nth, lost.what);
        }
        for (const auto& take : d.takes) {
            out.drives.back()->takeOnlyNth(take.opcode, take.nth, take.what);
        }
        if (d.held) {
            const LinuxPlacement& p = d.placement;
            if (p.sg >= 0) out.machine.holdElsewhere("/dev/sg" + std::to_string(p.sg));
            if (p.sr >= 0) out.machine.holdElsewhere("/dev/sr" + std::to_string(p.sr));
        }
    }
    for (const auto& [path, error] : config.denied) out.machine.failPath(path, error);
    for (const auto& [opcode, error] : config.refused) out.machine.refuseCommand(opcode, error);
    for (const auto& [path, target] : config.links) out.machine.addLink(path, target);
    if (!config.rawio) out.machine.dropRawio();
    int mains = 0, batteries = 0;
    for (const LinuxConfig::PowerSupply& p : config.powerSupplies) {
        if (p.type == "Mains") {
            const std::string name = mains++ == 0 ? "AC" : "AC" + std::to_string(mains - 1);
            out.machine.addPowerSupply(name, "Mains",
                                       {{"online", p.state == "online" ? "1" : "0"}});
        } else {
            out.machine.addPowerSupply("BAT" + std::to_string(batteries++), "Battery",
                                       {{"status", p.state},
                                        {"present", "1"},
                                        {"scope", p.ofADevice ? "Device" : "System"}});
        }
    }
}

}  // namespace sim
