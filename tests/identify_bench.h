// A pass-through PC with one KORVANE drive on port 0 at E:, and its device record as discovery
// would leave it, for the identification, label and information-block tests.
#pragma once

#include "test_support.h"

namespace testing_support {

// Buses by letter, for the rows of the case tables: ATAPI, SCSI, USB, FireWire (IEEE 1394) and
// Serial ATA.
inline constexpr auto A = dw::BusKind::Atapi, S = dw::BusKind::Scsi, U = dw::BusKind::Usb,
                      F = dw::BusKind::Ieee1394, T = dw::BusKind::SerialAta;

struct DriveBench {
    PassThroughPc pc;
    sim::KorvaneDrive* drive;
    dw::DeviceEntry device;

    // `reported` is what the drive answers to INQUIRY now, `stored` the product id its record
    // holds (the reported one when empty); the record's fields are blank-padded, as drives
    // report them.
    DriveBench(const std::string& reported, const std::string& revision, const std::string& vendor,
               dw::BusKind bus, const std::string& stored = "", int target = 1)
        : drive(&pc.machine.addDrive(reported, revision, vendor)),
          device(PassThroughPc::entry(0, 0, target, 0, 4)) {
        pc.addAdapter(0).busKind = bus;
        pc.machine.attach(*drive, 0, 0, target, 0, 4);
        device.busKind = bus;
        const std::string& product = stored.empty() ? reported : stored;
        std::snprintf(device.vendor, sizeof device.vendor, "%-8.8s", vendor.c_str());
        std::snprintf(device.product, sizeof device.product, "%-16.16s", product.c_str());
        std::snprintf(device.revision, sizeof device.revision, "%-4.4s", revision.c_str());
    }

    size_t sent(uint8_t opcode) const { return drive->receivedWithOpcode(opcode).size(); }
};

}  // namespace testing_support
