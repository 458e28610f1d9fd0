// How the device opens of a scan went, so that start-up can tell a machine without drives from
// one whose drives the system would not let the program open (a program started without
// administrator rights on Vista and later).
#pragma once

#include "platform/windows_api.h"

namespace dw {

struct DeviceOpens {
    int denied = 0;       // failed with access denied
    int other = 0;        // opened, or failed for another reason than a device that is not there
    int portsDenied = 0;  // SCSI ports among the denied ones

    enum class Device : uint8_t { Letter, Port };

    static bool notThere(uint32_t error) {
        return error == winerr::kFileNotFound || error == winerr::kPathNotFound;
    }
    // A device that is not there (the port after the last one) says nothing either way.
    void count(const DeviceIo::OpenResult& result, Device device = Device::Letter) {
        if (result.handle == kInvalidHandle && result.error == winerr::kAccessDenied) {
            ++denied;
            if (device == Device::Port) ++portsDenied;
        } else if (result.handle != kInvalidHandle || !notThere(result.error)) {
            ++other;
        }
    }
    // True when devices were there and every one of them refused to open.
    bool allDenied() const { return denied > 0 && other == 0; }
    // True when the rights were missing: every device refused, or a SCSI port did. A standard
    // token usually opens the CD drive letters and is refused only the ports, whose data names
    // the drives behind them; the list then stays empty for want of rights all the same.
    bool rightsMissing() const { return allDenied() || portsDenied > 0; }
};

inline void countOpen(DeviceOpens* opens, const DeviceIo::OpenResult& result,
                      DeviceOpens::Device device = DeviceOpens::Device::Letter) {
    if (opens != nullptr) opens->count(result, device);
}

}  // namespace dw
