// The power supply class: every supply is a folder (a link to its device) under
// /sys/class/power_supply, with one value per attribute file, ended by a line feed.
#include "cli/power_supply.h"

namespace dw::cli {

namespace {

constexpr const char* kPowerSupplies = "/sys/class/power_supply";

std::string attribute(LinuxApi& linuxApi, const std::string& supply, const char* name) {
    const LinuxApi::TextResult read =
        linuxApi.readTextFile(std::string(kPowerSupplies) + "/" + supply + "/" + name);
    if (!read.ok) return "";
    std::string text = read.text;
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

bool feedsTheSystem(const PowerSupplyReading& supply) { return supply.scope != "Device"; }

}  // namespace

std::string dischargingBattery(const std::vector<PowerSupplyReading>& supplies) {
    for (const PowerSupplyReading& s : supplies) {
        if (s.type == "Battery" && s.status == "Discharging" && feedsTheSystem(s)) return s.name;
    }
    return "";
}

bool runsOnBattery(const std::vector<PowerSupplyReading>& supplies) {
    for (const PowerSupplyReading& s : supplies) {
        if (s.type == "Mains" && !s.online.empty() && s.online != "0") return false;
    }
    return !dischargingBattery(supplies).empty();
}

std::vector<PowerSupplyReading> readPowerSupplies(LinuxApi& linuxApi) {
    std::vector<PowerSupplyReading> supplies;
    const LinuxApi::ListResult names = linuxApi.listDirectory(kPowerSupplies);
    if (!names.ok) return supplies;
    for (const std::string& name : names.names) {
        PowerSupplyReading s;
        s.name = name;
        s.type = attribute(linuxApi, name, "type");
        s.online = attribute(linuxApi, name, "online");
        s.status = attribute(linuxApi, name, "status");
        s.scope = attribute(linuxApi, name, "scope");
        supplies.push_back(s);
    }
    return supplies;
}

}  // namespace dw::cli
