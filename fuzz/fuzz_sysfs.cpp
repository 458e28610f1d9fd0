// The reading of sysfs and of the mount table, on any text: the input's lines are the link of a
// drive's class entry, its type, its port's Serial ATA speed, /proc/self/mounts and an address.
// The scan ends, files every drive inside the tree it builds, and the parsers stay in bounds.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "discovery/sysfs_scan.h"
#include "fuzz_support.h"
#include "sim/linux_machine.h"

namespace {

std::vector<std::string> lines(const uint8_t* data, size_t size) {
    std::vector<std::string> out(5);
    size_t line = 0;
    for (size_t i = 0; i < size && line < out.size(); ++i) {
        if (data[i] == '\n' && line + 1 < out.size()) {
            ++line;
        } else {
            out[line] += static_cast<char>(data[i]);
        }
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto text = lines(data, size);

    const dw::SysfsAttachment attachment = dw::attachmentOfPath(text[0]);
    FUZZ_REQUIRE(attachment.kind != dw::SysfsAttachment::Kind::Libata || attachment.ataPort >= 0);
    dw::SysfsAddress address;
    if (dw::parseScsiAddress(text[4], address)) {
        FUZZ_REQUIRE(address.host >= 0 && address.channel >= 0 && address.target >= 0 &&
                     address.lun >= 0);
    }
    for (const std::string& point : dw::mountPointsOf(text[3], "/dev/sr0")) {
        FUZZ_REQUIRE(!point.empty() && point.size() <= text[3].size());
    }

    sim::LinuxMachine machine;
    sim::KorvaneDrive drive("DVDR   KV-829A", "1.00");
    const std::string folder =
        machine.placeDrive(drive, {sim::LinuxAttachment::Sata, 0, 0, 0, 0, 0, 0});
    machine.addLink("/sys/class/scsi_generic/sg0", text[0]);
    machine.addFile(folder + "/type", text[1]);
    machine.addFile("/sys/devices/pci0000:00/0000:00:1f.2/ata1/link1/ata_link/link1/sata_spd",
                    text[2]);
    machine.addFile("/proc/self/mounts", text[3]);
    dw::ScsiTransport transport(machine);
    dw::SysfsScan(transport, machine);

    FUZZ_REQUIRE(transport.adapters.size() <= 1024);
    for (size_t a = 0; a < transport.adapters.size(); ++a) {
        for (const dw::DeviceList& bus : transport.adapters[a].buses) {
            for (const dw::DeviceEntry& entry : bus) {
                FUZZ_REQUIRE(entry.hostAdapter == static_cast<int32_t>(a));
                FUZZ_REQUIRE(transport.sgIoDeviceOf(entry) != nullptr);
            }
        }
    }
    FUZZ_REQUIRE(transport.sgIoDevices.size() <= 2);
    return 0;
}
