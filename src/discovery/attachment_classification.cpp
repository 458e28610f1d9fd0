#include "discovery/attachment_classification.h"

#include <array>
#include <vector>

#include "discovery/registry_text.h"

namespace dw {

namespace {

constexpr size_t kDeviceIdChars = 200;
constexpr size_t kSubkeyNameChars = 30;
constexpr size_t kDescriptionChars = 100;
constexpr uint32_t kFullAccess = 0xF003F;
constexpr uint32_t kQueryAndEnumerate = 0x0009;

constexpr int kNoMoreDevices = -1;
constexpr int kNoMatch = 666;
constexpr int kClassMatch = 100;

bool ideOrAta(const std::string& text) { return contains(text, "ide") || contains(text, "ata"); }
bool serial(const std::string& text) {
    return contains(text, "serial") || contains(text, "s-ata") || contains(text, "sata");
}

// --- Windows 2000 and later ----------------------------------------------------------------

std::optional<std::string> deviceProperty(WindowsApi& api, Handle set,
                                          const DeviceSetup::DeviceInfo& device,
                                          uint32_t property) {
    uint32_t size = 0;
    const auto probe = api.setupDiGetDeviceRegistryProperty(set, device, property, nullptr, {}, size);
    if (!probe.ok && probe.error != winerr::kInsufficientBuffer) return std::nullopt;
    std::vector<uint8_t> buffer(size_t(size) * 2 + 2, 0);
    const auto read =
        api.setupDiGetDeviceRegistryProperty(set, device, property, nullptr, buffer, size);
    if (!read.ok) return std::nullopt;
    buffer.back() = 0;
    return lowercase(std::string(reinterpret_cast<const char*>(buffer.data())));
}

// 0 when one of the standard IDE channels has the device's driver key.
int ideChannelValue(WindowsApi& api, const std::string& driverKey, int value) {
    KeyChain channels(api, Registry::kLocalMachine,
                      {"SYSTEM\\CurrentControlSet\\Enum\\PCIIDE\\IDEChannel"}, kQueryAndEnumerate);
    if (!channels.ok()) return value;
    char name[kSubkeyNameChars] = {};
    for (uint32_t i = 0; api.enumKey(channels.key(), i, name) == winerr::kSuccess; ++i) {
        KeyChain channel(api, channels.key(), {name}, Registry::kQueryValue);
        if (!channel.ok()) continue;
        const auto driver = readRegistryText(api, channel.key(), "Driver");
        if (driver && contains(driverKey, lowercase(*driver))) value = 0;
    }
    return value;
}

int deviceCheck(WindowsApi& api, Handle set, uint32_t index, const std::string& adapterId) {
    DeviceSetup::DeviceInfo device;
    if (!api.setupDiEnumDeviceInfo(set, index, device).ok) return kNoMoreDevices;
    char id[kDeviceIdChars] = {};
    if (api.cmGetDeviceId(device.devInst, id) != ConfigManager::kCrSuccess) return kNoMoreDevices;
    const auto service = deviceProperty(api, set, device, DeviceSetup::kSpdrpService);
    if (!service) return kNoMoreDevices;
    const auto driver = deviceProperty(api, set, device, DeviceSetup::kSpdrpDriver);
    if (!driver) return kNoMoreDevices;
    const auto description = deviceProperty(api, set, device, DeviceSetup::kSpdrpDeviceDesc);
    if (!description) return kNoMoreDevices;

    if (!contains(*service, adapterId)) return kNoMatch;
    int value = ideChannelValue(api, *driver, kClassMatch);
    if (value == kClassMatch && ideOrAta(*description)) value = serial(*description) ? 2 : 1;
    return value;
}

int classSearch(WindowsApi& api, const char* classGuid, const std::string& adapterId) {
    const Handle set = api.setupDiGetClassDevs(std::string_view(classGuid), DeviceSetup::kDigcfPresent);
    if (set == kInvalidHandle) return 0;
    int result = kNoMatch;
    for (uint32_t index = 0;; ++index) {
        const int value = deviceCheck(api, set, index, adapterId);
        if (value == kNoMoreDevices) break;
        if (value == kNoMatch) continue;
        result = value;
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
        const int value = classSearch(transport.api(), c.guid, adapterId);
        if (value == kClassMatch) return c.onMatch;
        if (value != kNoMatch) return static_cast<BusKind>(value);  // 0, 1 or 2
    }
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
