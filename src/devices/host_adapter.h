// One ASPI host adapter or one SCSI port, with its buses of devices.
#pragma once

#include <string>
#include <vector>

#include "devices/device_entry.h"

namespace dw {

struct HostAdapter {
    std::vector<DeviceList> buses;  // in bus order; under ASPI exactly one
    BusKind busKind = BusKind::Unclassified;
    int32_t portNumber = -1;  // pass-through: n of "\\.\SCSI%d:"; ASPI and letter adapters: -1
    std::string deviceName;   // pass-through: "\\.\SCSI%d:"; otherwise empty
};

}  // namespace dw
