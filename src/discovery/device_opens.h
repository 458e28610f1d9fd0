// How the device opens of a scan went, so that start-up can tell a machine without drives from
// one whose drives the system would not let the program open (a program started without
// administrator rights on Vista and later).
#pragma once

#include "platform/windows_api.h"

namespace dw {

struct DeviceOpens {
    int denied = 0;  // failed with access denied
    int other = 0;   // opened, or failed for another reason than a device that is not there

    static bool notThere(uint32_t error) {
        return error == winerr::kFileNotFound || error == winerr::kPathNotFound;
    }
    // A device that is not there (the port after the last one) says nothing either way.
    void count(const DeviceIo::OpenResult& result) {
        if (result.handle == kInvalidHandle && result.error == winerr::kAccessDenied) {
            ++denied;
        } else if (result.handle != kInvalidHandle || !notThere(result.error)) {
            ++other;
        }
    }
    // True when devices were there and every one of them refused to open.
    bool allDenied() const { return denied > 0 && other == 0; }
};

inline void countOpen(DeviceOpens* opens, const DeviceIo::OpenResult& result) {
    if (opens != nullptr) opens->count(result);
}

}  // namespace dw
