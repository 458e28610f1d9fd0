#include <cctype>
#include <cstring>

#include "discovery/external_drives.h"
#include "discovery/registry_text.h"
#include "discovery/scans.h"

namespace dw {

namespace {

constexpr size_t kKeyNameChars = 200;
constexpr size_t kHardwareKeyChars = 199;  // a 200-byte buffer
constexpr int kAspiAdapters = 8;
constexpr int kTargets = 16;

// "SCSI\KORVANE_DVDR___KV-829A\MF&CHILD..." gives the device key name and the instance key
// name; false with fewer than two backslashes.
bool cutHardwareKey(const std::string& text, std::string& deviceKey, std::string& instanceKey) {
    const size_t first = text.find('\\');
    if (first == std::string::npos) return false;
    const size_t second = text.find('\\', first + 1);
    if (second == std::string::npos) return false;
    deviceKey = text.substr(first + 1, second - first - 1);
    instanceKey = text.substr(second + 1);
    return true;
}

// The drive letter index of "E" and the like; -1 for anything that is no letter.
int letterOf(const std::string& text) {
    if (text.empty()) return 0;  // as a missing value
    const int c = std::toupper(static_cast<unsigned char>(text[0]));
    return (c >= 'A' && c <= 'Z') ? c - 'A' : -1;
}

// "0".."9" give 0..9, "A".."F" 10..15; -1 for anything outside the table of used addresses.
int targetOf(const std::string& text) {
    if (text.empty()) return -1;
    const int c = std::toupper(static_cast<unsigned char>(text[0]));
    const int target = std::isdigit(c) ? c - '0' : c - 55;
    return target >= 0 && target < kTargets ? target : -1;
}

std::string inquiryIdentity(const InquiryStrings& s) {
    std::string text = std::string(s.vendor) + s.product;
    for (char& c : text) {
        if (c == ' ') c = '_';
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

}  // namespace

void AspiScan(ScsiTransport& transport) {
    WindowsApi& api = transport.api();
    bool used[kAspiAdapters][kTargets] = {};

    // Its subkeys are enumerated, so the key needs enumerate access besides query access.
    KeyChain enumKey(api, Registry::kDynData, {"Config Manager", "Enum"},
                     Registry::kQueryValue | Registry::kEnumerateSubKeys);
    if (!enumKey.ok()) return;
    char name[kKeyNameChars] = {};
    for (uint32_t i = 0; api.enumKey(enumKey.key(), i, name) == winerr::kSuccess; ++i) {
        KeyChain device(api, enumKey.key(), {name}, Registry::kQueryValue);
        if (!device.ok()) continue;
        const auto hardwareKey =
            readRegistryText(api, device.key(), "HardWareKey", kHardwareKeyChars);
        if (!hardwareKey || !contains(*hardwareKey, "SCSI")) continue;
        std::string deviceKey, instanceKey;
        if (!cutHardwareKey(*hardwareKey, deviceKey, instanceKey)) continue;

        KeyChain settings(api, Registry::kLocalMachine, {"Enum", "SCSI", deviceKey, instanceKey},
                          Registry::kQueryValue);
        if (!settings.ok()) continue;
        const int letter = letterOf(
            readRegistryText(api, settings.key(), "CurrentDriveLetterAssignment").value_or(""));
        const auto targetText = readRegistryText(api, settings.key(), "SCSITargetID");
        // A device without a letter from C: on, or without a usable target ID, is not filed.
        if (letter < 2 || !targetText) continue;
        const int target = targetOf(*targetText);
        if (target < 0) continue;

        DeviceEntry entry;
        entry.driveLetter = letter;
        entry.targetId = target;
        bool matched = false;
        for (int a = 0; a < kAspiAdapters && !matched; ++a) {
            entry.hostAdapter = a;
            InquiryStrings strings;
            if ((transport.inquiry(entry, strings) & 0xFF) != 1) continue;
            if (inquiryIdentity(strings) == deviceKey && !used[a][target]) {
                used[a][target] = true;
                matched = true;
            }
        }
        // A device that no adapter answers for is left out rather than filed under a guess.
        if (!matched) continue;

        const size_t lastSlash = hardwareKey->find_last_of('\\');
        CheckUsbBridge(api, deviceKey, hardwareKey->substr(lastSlash + 1), entry);

        InquiryStrings strings;
        if ((transport.inquiry(entry, strings) & 0xFF) == 1) {
            copyIdentification(strings, entry);
        }
        if (static_cast<size_t>(entry.hostAdapter) < transport.adapters.size()) {
            HostAdapter& adapter = transport.adapters[size_t(entry.hostAdapter)];
            if (adapter.buses.empty()) adapter.buses.resize(1);
            adapter.buses[0].append(entry);
            if (entry.busKind == BusKind::Usb) adapter.busKind = BusKind::Usb;
        }
    }
}

}  // namespace dw
