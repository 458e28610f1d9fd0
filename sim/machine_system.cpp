// The simulated PC's drive types, version, device installation database, configuration
// manager, code pages, file version information and string table.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "sim/machine.h"
#include "sim/string_resources.h"

namespace sim {

namespace {

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// In the block a translation is "T" and 8 hex digits; a string is "S", its sub-block path in
// lower case, a NUL, its value and a NUL.
constexpr char kTranslation = 'T';
constexpr char kString = 'S';

}  // namespace

void Machine::setVersion(uint32_t platform, uint32_t major, uint32_t minor) {
    version.platformId = platform;
    version.majorVersion = major;
    version.minorVersion = minor;
}

uint32_t Machine::getDriveType(const std::string& rootPath) {
    if (rootPath.size() != 3 || rootPath[1] != ':' || rootPath[2] != '\\') return kNoRootDir;
    const int c = std::toupper(static_cast<unsigned char>(rootPath[0]));
    if (c < 'A' || c > 'Z') return kNoRootDir;
    auto it = driveTypes_.find(c - 'A');
    return it == driveTypes_.end() ? kNoRootDir : it->second;
}

bool Machine::getVersionEx(uint32_t recordSize, dw::OsVersionInfo& out) {
    if (recordSize == kExtendedRecordSize && refusesExtendedVersion) return false;
    if (recordSize != kExtendedRecordSize && recordSize != kBasicRecordSize) return false;
    out = version;
    if (recordSize == kBasicRecordSize) {
        out.servicePackMajor = out.servicePackMinor = out.suiteMask = 0;
        out.productType = 0;
    }
    return true;
}

// --- device installation -------------------------------------------------------------------

Machine::SetupDevice& Machine::addSetupDevice(const std::string& classGuid,
                                              const std::string& instanceId) {
    auto device = std::make_unique<SetupDevice>();
    dw::Guid::parse(classGuid, device->classGuid);
    device->instanceId = instanceId;
    setupDevices_.emplace_back(std::move(device), 0);
    return *setupDevices_.back().first;
}

void Machine::buildDevNodes() {
    devNodes_.clear();
    for (auto& [device, node] : setupDevices_) {
        devNodes_.push_back({device->instanceId, 0, {}});
        node = static_cast<uint32_t>(devNodes_.size());
        for (const auto& childId : device->childIds) {
            devNodes_.push_back({childId, node, {}});
            devNodes_[node - 1].children.push_back(static_cast<uint32_t>(devNodes_.size()));
        }
    }
}

dw::Handle Machine::setupDiGetClassDevs(const dw::Guid& classGuid, uint32_t, uint32_t* error) {
    if (setupApiMissing) {
        if (error != nullptr) *error = dw::winerr::kProcNotFound;
        return dw::kInvalidHandle;
    }
    buildDevNodes();
    std::vector<size_t> members;
    for (size_t i = 0; i < setupDevices_.size(); ++i) {
        if (setupDevices_[i].first->classGuid == classGuid) members.push_back(i);
    }
    const dw::Handle set = nextHandle_++;
    deviceSets_[set] = members;
    return set;
}

dw::DeviceSetup::Result Machine::setupDiEnumDeviceInfo(dw::Handle set, uint32_t index,
                                                       DeviceInfo& out) {
    auto it = deviceSets_.find(set);
    if (it == deviceSets_.end()) return {false, dw::winerr::kInvalidHandle};
    if (index >= it->second.size()) return {false, dw::winerr::kNoMoreItems};
    const auto& entry = setupDevices_[it->second[index]];
    out.classGuid = entry.first->classGuid;
    out.devInst = entry.second;
    out.reserved = it->second[index];
    return {true, 0};
}

dw::DeviceSetup::Result Machine::setupDiGetDeviceRegistryProperty(dw::Handle set,
                                                                  const DeviceInfo& device,
                                                                  uint32_t property, uint32_t* type,
                                                                  std::span<uint8_t> buffer,
                                                                  uint32_t& requiredSize) {
    if (deviceSets_.find(set) == deviceSets_.end() || device.reserved >= setupDevices_.size()) {
        return {false, dw::winerr::kInvalidHandle};
    }
    const SetupDevice& d = *setupDevices_[device.reserved].first;
    const std::optional<std::string>* text = nullptr;
    if (property == kSpdrpService) text = &d.service;
    if (property == kSpdrpDriver) text = &d.driver;
    if (property == kSpdrpDeviceDesc) text = &d.description;
    if (text == nullptr || !text->has_value()) return {false, dw::winerr::kInvalidData};
    const std::string& value = **text;
    requiredSize = static_cast<uint32_t>(value.size() + 1);
    if (type != nullptr) *type = dw::Registry::kTypeString;
    if (buffer.size() < requiredSize) return {false, dw::winerr::kInsufficientBuffer};
    std::memcpy(buffer.data(), value.c_str(), requiredSize);
    return {true, 0};
}

bool Machine::setupDiDestroyDeviceInfoList(dw::Handle set) { return deviceSets_.erase(set) == 1; }

uint32_t Machine::cmGetDeviceId(uint32_t devInst, std::span<char> buffer) {
    if (setupApiMissing) return kCrFailure;
    if (devInst == 0 || devInst > devNodes_.size()) return kCrNoSuchDevnode;
    const std::string& id = devNodes_[devInst - 1].id;
    if (id.size() + 1 > buffer.size()) return kCrBufferSmall;
    std::memcpy(buffer.data(), id.c_str(), id.size() + 1);
    return kCrSuccess;
}

uint32_t Machine::cmGetChild(uint32_t& child, uint32_t devInst) {
    if (setupApiMissing) return kCrFailure;
    if (devInst == 0 || devInst > devNodes_.size()) return kCrNoSuchDevnode;
    const auto& children = devNodes_[devInst - 1].children;
    if (children.empty()) return kCrNoSuchDevnode;
    child = children.front();
    return kCrSuccess;
}

uint32_t Machine::cmGetSibling(uint32_t& sibling, uint32_t devInst) {
    if (setupApiMissing) return kCrFailure;
    if (devInst == 0 || devInst > devNodes_.size()) return kCrNoSuchDevnode;
    const uint32_t parent = devNodes_[devInst - 1].parent;
    if (parent == 0) return kCrNoSuchDevnode;
    const auto& siblings = devNodes_[parent - 1].children;
    auto it = std::find(siblings.begin(), siblings.end(), devInst);
    if (it == siblings.end() || ++it == siblings.end()) return kCrNoSuchDevnode;
    sibling = *it;
    return kCrSuccess;
}

uint32_t Machine::cmReenumerateDevNode(uint32_t devInst, uint32_t) {
    if (setupApiMissing) return kCrFailure;
    if (devInst == 0 || devInst > devNodes_.size()) return kCrNoSuchDevnode;
    ++reenumerations;
    return kCrSuccess;
}

// --- code pages ----------------------------------------------------------------------------

bool Machine::multiByteToWideChar(uint32_t codePage, std::string_view text, std::u16string& wide) {
    const uint32_t page = codePage == kCpAcp ? ansiCodePage : codePage;
    wide.clear();
    if (page == 1252) {
        for (char c : text) wide.push_back(static_cast<unsigned char>(c));
        return true;
    }
    if (page != 932) return false;
    // Shift-JIS: single bytes below 0x80; katakana as 0x83 0x40..0x96 (0x7F unused).
    for (size_t i = 0; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        const bool lead = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
        if (!lead) {
            wide.push_back(b < 0x80 ? b : u'?');
            continue;
        }
        if (i + 1 >= text.size()) {
            wide.push_back(u'?');
            break;
        }
        const auto t = static_cast<unsigned char>(text[++i]);
        if (b == 0x83 && t >= 0x40 && t <= 0x96 && t != 0x7F) {
            wide.push_back(static_cast<char16_t>(0x30A1 + (t - 0x40) - (t > 0x7F ? 1 : 0)));
        } else {
            wide.push_back(u'\u30FB');
        }
    }
    return true;
}

// --- file versions and strings -------------------------------------------------------------

void Machine::setFileVersionBlock(const std::string& fileName, std::vector<uint32_t> translations,
                                  std::map<std::string, std::string> strings) {
    std::string block;
    for (uint32_t t : translations) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "%c%08X", kTranslation, t);
        block += hex;
    }
    for (const auto& [path, value] : strings) {
        block += kString;
        block += lower(path);
        block += '\0';
        block += value;
        block += '\0';
    }
    files_[fullPath(fileName)].versionBlock = block;
}

void Machine::setFileVersion(const std::string& fileName, const std::string& fileVersion,
                             uint32_t translation) {
    // The translation holds the language in its low half, the code page in its high half.
    char path[64];
    std::snprintf(path, sizeof path, "\\StringFileInfo\\%04x%04x\\FileVersion",
                  translation & 0xFFFF, translation >> 16);
    setFileVersionBlock(fileName, {translation}, {{path, fileVersion}});
}

uint32_t Machine::getFileVersionInfoSize(const std::string& fileName) {
    const std::string path = findFile(fileName);
    return path.empty() ? 0 : static_cast<uint32_t>(files_.at(path).versionBlock.size());
}

bool Machine::getFileVersionInfo(const std::string& fileName, std::span<uint8_t> block) {
    const std::string path = findFile(fileName);
    if (path.empty()) return false;
    const std::string& version = files_.at(path).versionBlock;
    if (version.empty() || block.size() < version.size()) return false;
    std::memcpy(block.data(), version.data(), version.size());
    return true;
}

bool Machine::verQueryValue(std::span<const uint8_t> block, const std::string& subBlock,
                            std::vector<uint8_t>& value) {
    const std::string text(block.begin(), block.end());
    value.clear();
    if (lower(subBlock) == "\\varfileinfo\\translation") {
        for (size_t i = 0; i + 9 <= text.size() && text[i] == kTranslation; i += 9) {
            const uint32_t t =
                static_cast<uint32_t>(std::stoul(text.substr(i + 1, 8), nullptr, 16));
            for (int k = 0; k < 4; ++k) value.push_back(static_cast<uint8_t>(t >> (8 * k)));
        }
        return !value.empty();
    }
    const std::string wanted = lower(subBlock);
    size_t at = text.find(kString);
    while (at != std::string::npos && at < text.size()) {
        const size_t nameEnd = text.find('\0', at);
        if (nameEnd == std::string::npos) return false;
        const size_t valueEnd = text.find('\0', nameEnd + 1);
        if (valueEnd == std::string::npos) return false;
        if (text.compare(at + 1, nameEnd - at - 1, wanted) == 0) {
            value.assign(text.begin() + long(nameEnd + 1), text.begin() + long(valueEnd + 1));
            return true;
        }
        at = valueEnd + 1;
    }
    return false;
}

std::string Machine::loadString(uint32_t id) { return programString(id); }

}  // namespace sim
