// The discovery scans of each Windows family, fed any registry values: hardware keys, instance
// names, drive letters and target IDs (Windows 98), port drivers, mount-manager values of any
// length and content, child device IDs and class-key values (NT family, 4.0 to 11). Every device
// filed has an address inside the tables, and the drive list can be labelled.
#include <fuzzer/FuzzedDataProvider.h>

#include <string>
#include <vector>

#include "discovery/attachment_classification.h"
#include "discovery/scans.h"
#include "fuzz_support.h"
#include "identify/device_label.h"
#include "identify/identify_model.h"
#include "discovery/aspi_start.h"
#include "sim/scenarios.h"

namespace sc = sim::scenarios;
using dw::Registry;

namespace {

std::string text(FuzzedDataProvider& in, size_t most = 48) {
    return in.ConsumeRandomLengthString(most);
}

// A string value, or one of another type or of raw bytes, as a hostile registry may hold.
void value(FuzzedDataProvider& in, sim::Machine& pc, dw::Handle root, const std::string& key,
           const std::string& name) {
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
        case 0:
            pc.setRegistryValue(root, key, name, Registry::kTypeBinary,
                                in.ConsumeBytes<uint8_t>(
                                    in.ConsumeIntegralInRange<size_t>(0, 300)));
            break;
        case 1:
            pc.setRegistryValue(root, key, name, Registry::kTypeDword, in.ConsumeBytes<uint8_t>(4));
            break;
        default: pc.setRegistryString(root, key, name, text(in, 260));
    }
}

void windows98(FuzzedDataProvider& in, sim::Machine& pc) {
    sc::windows98(pc);
    const int adapters = in.ConsumeIntegralInRange<int>(0, 3);
    for (int a = 0; a < adapters; ++a) sc::addAspiAdapter(pc, text(in, 20), text(in));
    for (const char* classKey : {"SCSIAdapter", "hdc", "Storage"}) {
        const std::string key = std::string("System\\CurrentControlSet\\Services\\Class\\") +
                                classKey + "\\" + text(in, 40);
        value(in, pc, Registry::kLocalMachine, key, "PortDriver");
        value(in, pc, Registry::kLocalMachine, key, "DriverDesc");
        value(in, pc, Registry::kLocalMachine, key, "MatchingDeviceId");
    }
    // Drives as the device database names them, and entries that are anything at all.
    if (adapters > 0 && in.ConsumeBool()) {
        sc::addWindows98Drive(pc, "DVDR   KV-829A", "1.00", 0,
                              in.ConsumeIntegralInRange<int>(0, 15),
                              static_cast<char>('C' + in.ConsumeIntegralInRange<int>(0, 23)),
                              text(in));
    }
    const int entries = in.ConsumeIntegralInRange<int>(0, 6);
    for (int e = 0; e < entries; ++e) {
        const std::string device = text(in, 40);
        const std::string instance = text(in, 60);
        pc.setRegistryString(Registry::kDynData, "Config Manager\\Enum\\" + text(in, 12),
                             "HardWareKey",
                             in.ConsumeBool() ? "SCSI\\" + device + "\\" + instance
                                              : text(in, 260));
        const std::string settings = "Enum\\SCSI\\" + device + "\\" + instance;
        value(in, pc, Registry::kLocalMachine, settings, "CurrentDriveLetterAssignment");
        value(in, pc, Registry::kLocalMachine, settings, "SCSITargetID");
        value(in, pc, Registry::kLocalMachine,
              "Enum\\" + text(in, 20) + "\\" + text(in, 20) + "\\" + text(in, 20), "DeviceDesc");
    }
}

void ntFamily(FuzzedDataProvider& in, sim::Machine& pc) {
    if (in.ConsumeBool()) {
        sc::windowsXp(pc);
    } else if (in.ConsumeBool()) {
        sc::windowsNt4(pc);
    } else {
        // Windows 2000, or a later one (Windows 7, Windows 10 and 11).
        const uint32_t majors[] = {5, 6, 10};
        const uint32_t major = majors[in.ConsumeIntegralInRange<int>(0, 2)];
        pc.setVersion(dw::Versions::kPlatformNt, major, major == 6 ? 1 : 0);
    }
    const char* classes[] = {sc::kScsiAdapterClass, sc::kUsbClass, sc::kIeee1394Class,
                             sc::kHdcClass, sc::kSbp2Class};
    const int ports = in.ConsumeIntegralInRange<int>(0, 3);
    for (int p = 0; p < ports; ++p) {
        sc::addPort(pc, p, text(in, 20), classes[in.ConsumeIntegralInRange<int>(0, 4)], text(in));
        if (in.ConsumeBool()) {
            sc::addPortDrive(pc, "DVDR   KV-825SA", "1.00", p,
                             in.ConsumeIntegralInRange<int>(0, 15),
                             static_cast<char>('C' + in.ConsumeIntegralInRange<int>(0, 23)));
        }
        value(in, pc, Registry::kLocalMachine,
              "HARDWARE\\DEVICEMAP\\Scsi\\Scsi Port " + std::to_string(p), "Driver");
    }
    if (in.ConsumeBool()) sc::addUsbDrive(pc, "CD-R   KV-S37T", "1.00", 'H');
    const int devices = in.ConsumeIntegralInRange<int>(0, 3);
    for (int d = 0; d < devices; ++d) {
        auto& device = pc.addSetupDevice(classes[in.ConsumeIntegralInRange<int>(0, 4)], text(in));
        if (in.ConsumeBool()) device.service = text(in, 20);
        if (in.ConsumeBool()) device.driver = text(in);
        if (in.ConsumeBool()) device.description = text(in);
        const int children = in.ConsumeIntegralInRange<int>(0, 3);
        for (int c = 0; c < children; ++c) device.childIds.push_back(text(in, 120));
    }
    const int mounts = in.ConsumeIntegralInRange<int>(0, 4);
    for (int m = 0; m < mounts; ++m) {
        std::string name = "\\DosDevices\\C:";
        name[12] = static_cast<char>('C' + in.ConsumeIntegralInRange<int>(0, 23));
        pc.setRegistryValue(Registry::kLocalMachine, "System\\MountedDevices", name,
                            Registry::kTypeBinary,
                            in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, 600)));
    }
    const int channels = in.ConsumeIntegralInRange<int>(0, 2);
    for (int c = 0; c < channels; ++c) {
        value(in, pc, Registry::kLocalMachine,
              "SYSTEM\\CurrentControlSet\\Enum\\PCIIDE\\IDEChannel\\" + text(in, 30), "Driver");
    }
    // The storage stacks of Windows 7 to 11 after the ports above, and a drive on IEEE 1394.
    if (in.ConsumeBool()) sc::addStorahciPort(pc, ports);
    if (in.ConsumeBool()) sc::addAtaChannelPort(pc, ports + 1, text(in, 20), text(in));
    if (in.ConsumeBool()) sc::addIeee1394Drive(pc, "DVDR   KV-829AL", "1.00", 'I');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    sim::Machine pc;
    dw::ScsiTransport transport(pc);
    if (in.ConsumeBool()) {
        windows98(in, pc);
        dw::AspiStart(transport);
    } else {
        ntFamily(in, pc);
        dw::PassThroughScan(transport);
    }
    for (size_t a = 0; a < transport.adapters.size(); ++a) {
        for (const auto& bus : transport.adapters[a].buses) {
            for (size_t d = 0; d < bus.size(); ++d) {
                dw::DeviceEntry entry = bus.at(d);
                FUZZ_REQUIRE(entry.targetId >= 0 && entry.targetId < 16);
                FUZZ_REQUIRE(entry.driveLetter >= 0 && entry.driveLetter < 26);
                (void)dw::IsKnownModel(transport, entry);
                (void)dw::DeviceLabel(transport, entry);
            }
        }
    }
    return 0;
}
