// External drives: USB and IEEE 1394 drives found through their drive letters (Windows 2000
// and later), and USB bridges recognised from the registry (Windows 95, 98 and Me).
#pragma once

#include <string>
#include <vector>

#include "devices/device_entry.h"
#include "discovery/device_opens.h"
#include "scsi/scsi_transport.h"

namespace dw {

inline constexpr const char* kUsbClass = "{36FC9E60-C465-11CF-8056-444553540000}";
inline constexpr const char* kSbp2Class = "{D48179BE-EC20-11D1-B6B8-00C04FA372A7}";

// Appends the instance IDs of the direct children of every present device of the class.
void CollectChildDeviceIds(WindowsApi& api, const char* classGuid, std::vector<std::string>& ids);

// Finds the CD/DVD letters whose mounted device belongs to a USB or IEEE 1394 storage device
// and adds an adapter for each that opens. Returns the number of such entries found.
size_t FindExternalDriveLetters(ScsiTransport& transport, DeviceOpens* opens = nullptr);

// One adapter, with one bus holding the entry, per entry whose drive letter opens.
void AddLetterAdapters(ScsiTransport& transport, const std::vector<DeviceEntry>& entries,
                       DeviceOpens* opens = nullptr);

// Marks the device Usb when its Windows 95/98/Me instance key name says it sits behind a USB
// bridge.
void CheckUsbBridge(WindowsApi& api, const std::string& deviceKeyName,
                    const std::string& instanceKeyName, DeviceEntry& device);

}  // namespace dw
