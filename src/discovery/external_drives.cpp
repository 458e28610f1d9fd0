#include "discovery/external_drives.h"

#include <algorithm>
#include <cstring>

#include "discovery/registry_text.h"

namespace dw {

namespace {

constexpr size_t kDeviceIdChars = 200;
constexpr size_t kMountPathBytes = 300;
constexpr size_t kMountPrefixBytes = 8;  // "\??\" in UTF-16

}  // namespace

void CollectChildDeviceIds(WindowsApi& api, const char* classGuid, std::vector<std::string>& ids) {
    const Handle set =
        api.setupDiGetClassDevs(std::string_view(classGuid), DeviceSetup::kDigcfPresent);
    if (set == kInvalidHandle) return;
    char id[kDeviceIdChars];
    for (uint32_t index = 0;; ++index) {
        DeviceSetup::DeviceInfo device;
        if (!api.setupDiEnumDeviceInfo(set, index, device).ok) break;
        if (api.cmGetDeviceId(device.devInst, id) != ConfigManager::kCrSuccess) break;
        if (api.cmReenumerateDevNode(device.devInst, 0) != ConfigManager::kCrSuccess) break;
        uint32_t child = 0;
        if (api.cmGetChild(child, device.devInst) != ConfigManager::kCrSuccess) continue;
        for (;;) {
            if (api.cmGetDeviceId(child, id) != ConfigManager::kCrSuccess) break;
            ids.emplace_back(id);
            if (api.cmGetSibling(child, child) != ConfigManager::kCrSuccess) break;
        }
    }
    api.setupDiDestroyDeviceInfoList(set);
}

size_t FindExternalDriveLetters(ScsiTransport& transport, DeviceOpens* opens) {
    WindowsApi& api = transport.api();
    std::vector<std::string> usb, sbp2;
    CollectChildDeviceIds(api, kUsbClass, usb);
    CollectChildDeviceIds(api, kSbp2Class, sbp2);

    std::vector<DeviceEntry> found;
    for (int letter = 2; letter < kDriveLetterCount; ++letter) {
        if (api.getDriveType(driveRootPath(letter)) != DriveTypes::kCdrom) continue;
        DeviceEntry entry;

        KeyChain mounted(api, Registry::kLocalMachine, {"System\\MountedDevices"}, Registry::kRead);
        if (!mounted.ok()) continue;
        std::string valueName = "\\DosDevices\\C:";
        valueName[12] = static_cast<char>('A' + letter);
        const auto value = readRegistryValue(api, mounted.key(), valueName);
        if (!value) continue;

        // The device path in UTF-16 after its four-character prefix; dropping the zero bytes
        // makes 8-bit text of an ASCII path.
        std::string text;
        for (size_t i = kMountPrefixBytes;
             i < value->size() && i < kMountPrefixBytes + kMountPathBytes; ++i) {
            if ((*value)[i] != 0) text += static_cast<char>((*value)[i]);
        }
        std::string path = text;
        std::replace(path.begin(), path.end(), '#', '\\');
        path = lowercase(path);

        auto fileUnder = [&](const std::vector<std::string>& ids, BusKind kind) {
            for (const auto& id : ids) {
                // An empty ID would be found in every path.
                if (id.empty() || !contains(path, lowercase(id))) continue;
                DeviceEntry match = entry;
                match.busKind = kind;
                match.driveLetter = letter;
                std::snprintf(match.deviceText, sizeof match.deviceText, "%s", text.c_str());
                found.push_back(match);
            }
        };
        fileUnder(usb, BusKind::Usb);
        fileUnder(sbp2, BusKind::Ieee1394);
    }
    if (!found.empty()) AddLetterAdapters(transport, found, opens);
    return found.size();
}

void AddLetterAdapters(ScsiTransport& transport, const std::vector<DeviceEntry>& entries,
                       DeviceOpens* opens) {
    WindowsApi& api = transport.api();
    for (const DeviceEntry& candidate : entries) {
        if (candidate.driveLetter < 0 || candidate.driveLetter >= kDriveLetterCount) continue;
        const auto opened = api.createFile(driveLetterDeviceName(candidate.driveLetter),
                                           kGenericReadWrite, kShareReadWrite, kOpenExisting, 0);
        countOpen(opens, opened);
        if (opened.handle == kInvalidHandle) continue;
        api.closeHandle(opened.handle);

        DeviceEntry entry = candidate;
        entry.hostAdapter = static_cast<int32_t>(transport.adapters.size());
        transport.letterOwner[size_t(entry.driveLetter)] = addressKey(entry);
        InquiryStrings strings;
        if ((transport.driveLetterInquiry(entry, strings) & 0xFF) == 1) {
            copyIdentification(strings, entry);
        }
        HostAdapter adapter;
        adapter.buses.resize(1);
        adapter.busKind = entry.busKind;
        adapter.buses[0].append(entry);
        transport.adapters.push_back(adapter);
        transport.letterIsCdrom[size_t(entry.driveLetter)] = 1;
    }
}

void CheckUsbBridge(WindowsApi& api, const std::string&, const std::string& instanceKeyName,
                    DeviceEntry& device) {
    const size_t amp = instanceKeyName.find('&');
    if (amp == std::string::npos) return;
    const std::string before = instanceKeyName.substr(0, amp);
    const std::string after = instanceKeyName.substr(amp + 1);
    if (contains(before, "NECUSB")) device.busKind = BusKind::Usb;

    const size_t rev = after.find("REV");
    if (rev == std::string::npos) return;
    // D: "REV" and the five characters after it, with everything before; E: from the ninth
    // character after the start of "REV" on, less its last two characters.
    const std::string d = after.substr(0, std::min(after.size(), rev + 8));
    std::string e = rev + 9 < after.size() ? after.substr(rev + 9) : std::string();
    e.resize(e.size() >= 2 ? e.size() - 2 : 0);

    KeyChain key(api, Registry::kLocalMachine, {"Enum", before, d, e}, Registry::kQueryValue);
    if (!key.ok()) return;
    const std::string description = readRegistryText(api, key.key(), "DeviceDesc").value_or("");
    if (contains(description, "USB")) {
        device.busKind = BusKind::Usb;
        return;
    }
    const std::string compatible = readRegistryText(api, key.key(), "CompatibleIDs").value_or("");
    if (contains(compatible, "USB") || contains(compatible, "TPPIOSTB"))
        device.busKind = BusKind::Usb;
}

}  // namespace dw
