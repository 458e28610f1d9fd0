// A pass-through PC with one KORVANE drive on port 0 at E:, and its device record as discovery
// would leave it, for the identification, label and information-block tests.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>

#include "test_support.h"

namespace testing_support {

inline constexpr int kLetterE = 4;

// Blank-pads `text` into a fixed-size field of `width` characters, as drives report them.
inline void storePadded(char* field, size_t width, const std::string& text) {
    std::memset(field, ' ', width);
    std::memcpy(field, text.data(), std::min(width, text.size()));
    field[width] = '\0';
}

// Blanks shown as dots, so a failure message tells two blanks from three.
inline std::string shown(const std::string& text) {
    std::string out = "\"";
    for (char c : text) out += c == ' ' ? std::string("\xC2\xB7") : std::string(1, c);
    return out + "\"";
}

struct DriveBench {
    PassThroughPc pc;
    sim::KorvaneDrive* drive = nullptr;
    dw::DeviceEntry device;

    // `reported` is what the drive answers to INQUIRY now, `stored` the product id its record
    // holds (the reported one when empty).
    DriveBench(const std::string& reported, const std::string& revision, const std::string& vendor,
               dw::BusKind bus, const std::string& stored = "", int target = 1) {
        pc.addAdapter(0).busKind = bus;
        drive = &pc.machine.addDrive(reported, revision, vendor);
        pc.machine.attach(*drive, 0, 0, target, 0, kLetterE);
        device = PassThroughPc::entry(0, 0, target, 0, kLetterE);
        device.busKind = bus;
        storePadded(device.vendor, dw::kVendorLength, vendor);
        storePadded(device.product, dw::kProductLength, stored.empty() ? reported : stored);
        storePadded(device.revision, dw::kRevisionLength, revision);
    }

    size_t sent(uint8_t opcode) const { return drive->receivedWithOpcode(opcode).size(); }
};

}  // namespace testing_support
