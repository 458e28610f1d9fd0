// Writes the Windows 98 device database that matches a simulated ASPI layer's configuration:
// for every drive a Config Manager entry under HKEY_DYN_DATA naming its hardware key, and its
// settings (drive letter, target ID) under HKLM\Enum\SCSI; for every adapter a class key whose
// port driver names it. What an earlier run wrote is removed first.
//
//   win98_registry.exe CONFIG
#include <windows.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "sim/layer_config.h"
#include "sim/scenarios.h"

namespace {

const char* const kClassRoot = "System\\CurrentControlSet\\Services\\Class";

bool setString(const sim::scenarios::RegistryText& v) {
    HKEY key = nullptr;
    // The simulator's registry roots are the predefined keys' own values.
    if (RegCreateKeyExA(reinterpret_cast<HKEY>(v.root), v.key.c_str(), 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        std::fprintf(stderr, "win98_registry: cannot create %s\n", v.key.c_str());
        return false;
    }
    const LONG result = RegSetValueExA(key, v.name.c_str(), 0, REG_SZ,
                                       reinterpret_cast<const BYTE*>(v.value.c_str()),
                                       static_cast<DWORD>(v.value.size() + 1));
    RegCloseKey(key);
    if (result != ERROR_SUCCESS) {
        std::fprintf(stderr, "win98_registry: cannot write %s\\%s\n", v.key.c_str(),
                     v.name.c_str());
        return false;
    }
    std::printf("  %s\\%s = \"%s\"\n", v.key.c_str(), v.name.c_str(), v.value.c_str());
    return true;
}

bool setAll(const std::vector<sim::scenarios::RegistryText>& values) {
    bool ok = true;
    for (const auto& v : values) ok = setString(v) && ok;
    return ok;
}

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: win98_registry CONFIG\n");
        return 2;
    }
    std::ifstream file(argv[1], std::ios::binary);
    if (!file) {
        std::fprintf(stderr, "win98_registry: cannot read %s\n", argv[1]);
        return 1;
    }
    std::stringstream text;
    text << file.rdbuf();
    std::string error;
    const auto config = sim::parseLayerConfig(text.str(), error);
    if (!config) {
        std::fprintf(stderr, "win98_registry: %s: %s\n", argv[1], error.c_str());
        return 1;
    }

    RegDeleteTreeA(HKEY_DYN_DATA, "Config Manager\\Enum");
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Enum\\SCSI");
    for (const char* classKey : {"hdc", "SCSIAdapter", "Storage"}) {
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, (std::string(kClassRoot) + "\\" + classKey).c_str());
    }

    bool ok = true;
    HKEY enumKey = nullptr;
    ok = RegCreateKeyExA(HKEY_DYN_DATA, "Config Manager\\Enum", 0, nullptr, 0, KEY_ALL_ACCESS,
                         nullptr, &enumKey, nullptr) == ERROR_SUCCESS;
    if (enumKey != nullptr) RegCloseKey(enumKey);

    for (size_t i = 0; i < config->adapters.size(); ++i) {
        const sim::AdapterConfig& adapter = config->adapters[i];
        char index[8];
        std::snprintf(index, sizeof index, "%04u", static_cast<unsigned>(i));
        ok = setAll(sim::scenarios::windows98AdapterValues(adapter.classKey, index,
                                                           lower(adapter.adapterId) + ".mpd",
                                                           adapter.description)) &&
             ok;
    }

    for (size_t i = 0; i < config->drives.size(); ++i) {
        const sim::DriveConfig& d = config->drives[i];
        const sim::KorvaneDrive drive(d.product, d.revision, d.vendor);
        char instance[64];
        std::snprintf(instance, sizeof instance, "MF&CHILD%04u&PCI&VEN_8086&DEV_7111",
                      static_cast<unsigned>(i));
        char entry[16];
        std::snprintf(entry, sizeof entry, "C29%05X", static_cast<unsigned>(0x1000 + i * 0x40));
        const std::string target(1, "0123456789ABCDEF"[d.target & 15]);
        auto values =
            sim::scenarios::windows98DriveValues(entry, sim::scenarios::deviceKeyName(drive),
                                                 instance, d.letter, target);
        // Beside its letter and target, the device's class.
        values.push_back({values.back().root, values.back().key, "Class", "CDROM"});
        ok = setAll(values) && ok;
    }
    if (!ok) return 1;
    std::printf("win98_registry: %zu adapters, %zu drives\n", config->adapters.size(),
                config->drives.size());
    return 0;
}
