// Builders shared by the Linux back end's tests: a simulated Linux PC with an SG_IO transport,
// and what the sysfs scan filed there, written out as text.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "discovery/sysfs_scan.h"
#include "test_support.h"
#include "sim/linux_machine.h"

namespace testing_support {

struct LinuxPc {
    sim::LinuxMachine machine;
    dw::ScsiTransport transport{machine};
    std::vector<std::unique_ptr<sim::KorvaneDrive>> drives;

    // Places a KV-829A 1.00; returns its SCSI device's folder under /sys/devices.
    std::string add(const sim::LinuxPlacement& where) {
        drives.push_back(std::make_unique<sim::KorvaneDrive>("DVDR   KV-829A", "1.00"));
        return machine.placeDrive(*drives.back(), where);
    }

    // Runs the scan and writes out what it reported and filed: "!path errno" per problem ("!!"
    // for a device node, "!node beyond H:C:T:L" for a drive left out); "#index name bus" per
    // adapter with drives, then each of its buses as "|" with "host:channel:target:lun=revision"
    // per drive; "node=block" per node (without /dev/); and how many commands the drives received.
    std::string scan() {
        std::string out;
        for (const dw::ScanProblem& p : dw::SysfsScan(transport, machine)) {
            const dw::SysfsAddress& a = p.address;
            out += (p.deviceNode ? "!!" : "!") + p.path + " " +
                   (p.beyondRange
                        ? "beyond " + std::to_string(a.host) + ":" + std::to_string(a.channel) +
                              ":" + std::to_string(a.target) + ":" + std::to_string(a.lun)
                        : std::to_string(p.error)) +
                   " ";
        }
        for (size_t i = 0; i < transport.adapters.size(); ++i) {
            const dw::HostAdapter& a = transport.adapters[i];
            if (a.buses.empty()) continue;
            out += "#" + std::to_string(i) + " " + a.deviceName + " " + busName(a.busKind);
            for (const dw::DeviceList& bus : a.buses) {
                out += " |";
                for (const dw::DeviceEntry& e : bus)
                    out += " " + std::to_string(e.hostAdapter) + ":" + std::to_string(e.pathId) +
                           ":" + std::to_string(e.targetId) + ":" + std::to_string(e.lun) + "=" +
                           e.revision;
            }
            out += " ";
        }
        size_t sent = 0;
        for (const auto& d : drives) sent += d->received().size();
        for (const dw::SgIoDevice& n : transport.sgIoDevices)
            out += n.node.substr(5) + "=" + n.blockName + " ";
        return out + "sent " + std::to_string(sent);
    }
};

}  // namespace testing_support
