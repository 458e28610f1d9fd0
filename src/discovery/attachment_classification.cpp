#include "discovery/attachment_classification.h"

#include <array>
#include <optional>
#include <vector>

#include "discovery/registry_text.h"

namespace dw {

namespace {

constexpr size_t kDeviceIdChars = 200;
constexpr size_t kSubkeyNameChars = 30;
constexpr size_t kDescriptionChars = 100;
constexpr uint32_t kFullAccess = 0xF003F;
constexpr uint32_t kQueryAndEnumerate = 0x0009;

// What the search of one setup class found for an adapter: no device of the class runs the
// adapter's driver, one does (the class decides the bus kind), or one does and its channel or
// description names the bus kind itself. Kept apart from BusKind: "no match" is no bus kind.
struct ClassFinding {
    enum class Kind { NoMatch, ClassMatch, DeviceKind };
    Kind kind = Kind::NoMatch;
    BusKind busKind = BusKind::Atapi;  // with DeviceKind: Atapi, Ata or SerialAta

    static ClassFinding noMatch() { return {}; }
    static ClassFinding classMatch() { return {Kind::ClassMatch, BusKind::Atapi}; }
    static ClassFinding device(BusKind kind) { return {Kind::DeviceKind, kind}; }
};

bool ideOrAta(const std::string& text) { return contains(text, "ide") || contains(text, "ata"); }
bool serial(const std::string& text) {
    return contains(text, "serial") || contains(text, "s-ata") || contains(text, "sata");
}

// --- Windows 2000 and later ----------------------------------------------------------------

std::optional<std::string> deviceProperty(WindowsApi& api, Handle set,
                                          const DeviceSetup::DeviceInfo& device,
                                          uint32_t property) {
    uint32_t size = 0;
    const auto probe =
        api.setupDiGetDeviceRegistryProperty(set, device, property, nullptr, {}, size);
    if (!probe.ok && probe.error != winerr::kInsufficientBuffer) return std::nullopt;
    std::vector<uint8_t> buffer(size_t(size) * 2 + 2, 0);
    const auto read =
        api.setupDiGetDeviceRegistryProperty(set, device, property, nullptr, buffer, size);
    if (!read.ok) return std::nullopt;
    buffer.back() = 0;
    return lowercase(std::string(reinterpret_cast<const char*>(buffer.data())));
}

// Whether one of the standard IDE channels has the device's driver key.
bool onIdeChannel(WindowsApi& api, const std::string& driverKey) {
    KeyChain channels(api, Registry::kLocalMachine,
                      {"SYSTEM\\CurrentControlSet\\Enum\\PCIIDE\\IDEChannel"}, kQueryAndEnumerate);
    if (!channels.ok()) return false;
    bool found = false;
    char name[kSubkeyNameChars] = {};
    for (uint32_t i = 0; api.enumKey(channels.key(), i, name) == winerr::kSuccess; ++i) {
        KeyChain channel(api, channels.key(), {name}, Registry::kQueryValue);
        if (!channel.ok()) continue;
        const auto driver = readRegistryText(api, channel.key(), "Driver");
        if (driver && contains(driverKey, lowercase(*driver))) found = true;
    }
    return found;
}

// The finding for the device at `index` of the set; nothing when the set has no more devices
// (or one of them cannot be read, which ends the search the same way).
std::optional<ClassFinding> deviceCheck(WindowsApi& api, Handle set, uint32_t index,
                                        const std::string& adapterId) {
    DeviceSetup::DeviceInfo device;
    if (!api.setupDiEnumDeviceInfo(set, index, device).ok) return std::nullopt;
    char id[kDeviceIdChars] = {};
    if (api.cmGetDeviceId(device.devInst, id) != ConfigManager::kCrSuccess) return std::nullopt;
    const auto service = deviceProperty(api, set, device, DeviceSetup::kSpdrpService);
    if (!service) return std::nullopt;
    const auto driver = deviceProperty(api, set, device, DeviceSetup::kSpdrpDriver);
    if (!driver) return std::nullopt;
    const auto description = deviceProperty(api, set, device, DeviceSetup::kSpdrpDeviceDesc);
    if (!description) return std::nullopt;

    if (!contains(*service, adapterId)) return ClassFinding::noMatch();
    if (onIdeChannel(api, *driver)) return ClassFinding::device(BusKind::Atapi);
    if (ideOrAta(*description)) {
        return ClassFinding::device(serial(*description) ? BusKind::SerialAta : BusKind::Ata);
    }
    return ClassFinding::classMatch();
}

// A set that cannot be made reads as an IDE channel, as the search always has.
ClassFinding classSearch(WindowsApi& api, const char* classGuid, const std::string& adapterId) {
    const Handle set =
        api.setupDiGetClassDevs(std::string_view(classGuid), DeviceSetup::kDigcfPresent);
    if (set == kInvalidHandle) return ClassFinding::device(BusKind::Atapi);
    ClassFinding result;
    for (uint32_t index = 0;; ++index) {
        const auto finding = deviceCheck(api, set, index, adapterId);
        if (!finding) break;
        if (finding->kind == ClassFinding::Kind::NoMatch) continue;
        result = *finding;
        break;
    }
    api.setupDiDestroyDeviceInfoList(set);
    return result;
}

BusKind classifyWindows2000(ScsiTransport& transport, size_t index) {
    AdapterInfo info;
    transport.queryAdapter(static_cast<int>(index), info);
    const std::string adapterId = lowercase(info.adapterId);
    struct Class {
        const char* guid;
        BusKind onMatch;
    };
    static constexpr std::array<Class, 4> kClasses = {{
        {"{4D36E97B-E325-11CE-BFC1-08002BE10318}", BusKind::Scsi},
        {"{36FC9E60-C465-11CF-8056-444553540000}", BusKind::Usb},
        {"{6BDD1FC1-810F-11D0-BEC7-08002BE2092F}", BusKind::Ieee1394},
        {"{4D36E96A-E325-11CE-BFC1-08002BE10318}", BusKind::Atapi},
    }};
    for (const Class& c : kClasses) {
        const ClassFinding finding = classSearch(transport.api(), c.guid, adapterId);
        switch (finding.kind) {
            case ClassFinding::Kind::ClassMatch: return c.onMatch;
            case ClassFinding::Kind::DeviceKind: return finding.busKind;
            case ClassFinding::Kind::NoMatch: break;
        }
    }
    // No class of interest runs the adapter: the scan drops it.
    return BusKind::Remove;
}

// --- Windows NT 4.0 ------------------------------------------------------------------------

BusKind classifyNt4(ScsiTransport& transport, size_t index) {
    AdapterInfo info;
    if (transport.queryAdapter(static_cast<int>(index), info) != 1) return BusKind::Scsi;
    const std::string id = lowercase(info.adapterId);
    if (contains(id, "esdi") || contains(id, "atapi") || contains(id, "ata")) return BusKind::Atapi;
    return BusKind::Scsi;
}

// --- Windows 95, 98 and Me -----------------------------------------------------------------

// Visits the subkeys of a class key; `visit` returns false to stop. A name that does not fit the
// buffer ends the enumeration like the end of the list.
template <typename Visit>
void forEachClassSubkey(WindowsApi& api, const char* classKey, Visit visit) {
    KeyChain key(api, Registry::kLocalMachine,
                 {std::string("System\\CurrentControlSet\\Services\\Class\\") + classKey},
                 kFullAccess);
    if (!key.ok()) return;
    char name[kSubkeyNameChars] = {};
    for (uint32_t i = 0; api.enumKey(key.key(), i, name) == winerr::kSuccess; ++i) {
        KeyChain subkey(api, key.key(), {name}, Registry::kQueryValue);
        if (!subkey.ok()) continue;
        if (!visit(subkey.key())) return;
    }
}

bool portDriverMatches(WindowsApi& api, Handle key, const std::string& adapterId) {
    const auto portDriver = readRegistryText(api, key, "PortDriver");
    return portDriver && contains(lowercase(*portDriver), adapterId);
}

// The katakana words for "primary" and "secondary".
const std::u16string kPrimaryKatakana = u"\u30D7\u30E9\u30A4\u30DE\u30EA";
const std::u16string kSecondaryKatakana = u"\u30BB\u30AB\u30F3\u30C0\u30EA";

// The hdc rule on one description; true when it gave an answer.
bool hdcAnswer(WindowsApi& api, const std::string& text, BusKind& answer) {
    const std::string lower = lowercase(text);
    std::u16string wide;
    // The wide form comes from the text as stored: lowercasing could change the trail bytes
    // of double-byte characters.
    api.multiByteToWideChar(TextConversion::kCpAcp, text, wide);
    if (contains(lower, "primary") || contains(lower, "secondary") ||
        wide.find(kPrimaryKatakana) != std::u16string::npos ||
        wide.find(kSecondaryKatakana) != std::u16string::npos) {
        answer = BusKind::Atapi;
        return true;
    }
    if (ideOrAta(lower)) {
        answer = serial(lower) ? BusKind::SerialAta : BusKind::Ata;
        return true;
    }
    return false;
}

BusKind classifyWindows9x(ScsiTransport& transport, size_t index) {
    WindowsApi& api = transport.api();
    AdapterInfo info;
    // Without an answer from the adapter there is nothing to look its driver up by; no class
    // key is then taken to match.
    if (transport.queryAdapter(static_cast<int>(index), info) != 1) return BusKind::Atapi;
    const std::string adapterId = lowercase(info.adapterId);
    bool found = false;
    BusKind answer = BusKind::Atapi;

    forEachClassSubkey(api, "SCSIAdapter", [&](Handle key) {
        if (!portDriverMatches(api, key, adapterId)) return true;
        found = true;
        answer = BusKind::Scsi;
        const auto desc = readRegistryText(api, key, "DriverDesc", kDescriptionChars);
        if (desc) {
            const std::string lower = lowercase(*desc);
            if (ideOrAta(lower)) answer = serial(lower) ? BusKind::SerialAta : BusKind::Ata;
        }
        return false;
    });

    if (!found) {
        forEachClassSubkey(api, "hdc", [&](Handle key) {
            if (!portDriverMatches(api, key, adapterId)) return true;
            const auto desc = readRegistryText(api, key, "DriverDesc");
            if (desc && hdcAnswer(api, *desc, answer)) found = true;
            if (!found) {
                const auto matching = readRegistryText(api, key, "MatchingDeviceId");
                if (matching && hdcAnswer(api, *matching, answer)) found = true;
            }
            return true;
        });
    }

    if (!found) {
        forEachClassSubkey(api, "Storage", [&](Handle key) {
            if (!portDriverMatches(api, key, adapterId)) return true;
            const auto desc = readRegistryText(api, key, "DriverDesc");
            if (desc && (contains(*desc, "1394") || contains(*desc, "IEEE"))) {
                answer = BusKind::Ieee1394;
                found = true;
            }
            return true;
        });
    }
    return found ? answer : BusKind::Atapi;
}

}  // namespace

BusKind ClassifyAdapter(ScsiTransport& transport, size_t adapterIndex) {
    WindowsApi& api = transport.api();
    OsVersionInfo version;
    if (!api.getVersionEx(Versions::kExtendedRecordSize, version)) {
        api.getVersionEx(Versions::kBasicRecordSize, version);
    }
    BusKind answer;
    // Vista to 11 (majors 6 and 10) keep the device installation database of 2000 and XP; only
    // NT 4.0 and older lack it.
    if (version.platformId == Versions::kPlatformNt && version.majorVersion >= 5) {
        answer = classifyWindows2000(transport, adapterIndex);
    } else if (version.platformId == Versions::kPlatformNt) {
        answer = classifyNt4(transport, adapterIndex);
    } else {
        answer = classifyWindows9x(transport, adapterIndex);
    }
    transport.setAdapterBusKind(adapterIndex, answer);
    return answer;
}

}  // namespace dw
