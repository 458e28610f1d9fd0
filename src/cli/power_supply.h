// Whether the machine runs on battery, from the kernel's power supply class in sysfs.
#pragma once

#include <string>
#include <vector>

#include "platform/linux_api.h"

namespace dw::cli {

// One entry of /sys/class/power_supply as far as it matters here: its attributes' text without
// the line end, empty where the supply has no such attribute.
struct PowerSupplyReading {
    std::string name;
    std::string type;    // "Mains", "Battery", "USB", "UPS", "Wireless"
    std::string online;  // "0" offline, "1" (or "2" for USB) online
    std::string status;  // a battery's: "Charging", "Discharging", "Not charging", "Full", ...
    std::string scope;   // "System", "Device" (a mouse's or a headset's battery), "Unknown"
};

// On battery: no mains supply online, and a battery of the system itself discharging. A battery
// of a device (scope "Device") does not feed the machine and is not counted.
bool runsOnBattery(const std::vector<PowerSupplyReading>& supplies);

// The supplies the kernel lists; none where there is no such folder (no supply registered).
std::vector<PowerSupplyReading> readPowerSupplies(LinuxApi& linuxApi);

// The battery that discharges, for saying why ("BAT0"); empty where none does.
std::string dischargingBattery(const std::vector<PowerSupplyReading>& supplies);

}  // namespace dw::cli
