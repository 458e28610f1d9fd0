#include "scsi/scsi_transport.h"

#include <cstdio>
#include <cstring>

#include "platform/no_windows.h"
#include "scsi/opcodes.h"

namespace dw {

std::string driveLetterDeviceName(int driveLetter) {
    std::string name = "\\\\.\\C:";
    name[4] = static_cast<char>('A' + driveLetter);
    return name;
}

std::string driveRootPath(int driveLetter) {
    std::string root = "C:\\";
    root[0] = static_cast<char>('A' + driveLetter);
    return root;
}

void copyIdentification(const InquiryStrings& strings, DeviceEntry& entry) {
    std::memcpy(entry.vendor, strings.vendor, sizeof entry.vendor);
    std::memcpy(entry.product, strings.product, sizeof entry.product);
    std::memcpy(entry.revision, strings.revision, sizeof entry.revision);
}

bool isControlCharacter(char c) {
    const auto b = static_cast<uint8_t>(c);
    return (b >= 1 && b <= 31) || b >= 127;
}

std::string scsiPortDeviceName(int portNumber) {
    char name[32];
    std::snprintf(name, sizeof name, "\\\\.\\SCSI%d:", portNumber);
    return name;
}

ScsiTransport::ScsiTransport(WindowsApi& api) : api_(api) {
    letterHandle.fill(kInvalidHandle);
    letterOwner.fill(kOwnerNotScanned);
}

int64_t addressKey(const DeviceEntry& e) {
    return int64_t{e.hostAdapter & 0xFFFF} << 24 | int64_t{e.pathId & 0xFF} << 16 |
           int64_t{e.targetId & 0xFF} << 8 | int64_t{e.lun & 0xFF};
}

bool ScsiTransport::isOwnLetter(const DeviceEntry& device) const {
    const int letter = device.driveLetter;
    if (letter < 0 || letter >= kDriveLetterCount) return false;
    const int64_t owner = letterOwner[size_t(letter)];
    return owner == kOwnerNotScanned || owner == addressKey(device);
}

namespace {
NoWindows& noWindows() {
    static NoWindows none;
    return none;
}
}  // namespace

ScsiTransport::ScsiTransport(LinuxApi& api) : api_(noWindows()), linuxApi_(&api) {
    letterHandle.fill(kInvalidHandle);
    letterOwner.fill(kOwnerNotScanned);
}

ScsiTransport::~ScsiTransport() {
    for (auto& node : sgIoDevices) releaseSgIoHold(node);
    for (int letter = 0; letter < kDriveLetterCount; ++letter) {
        if (letterHandleOpen[letter] && letterHandle[letter] != kInvalidHandle) {
            api_.closeHandle(letterHandle[letter]);
        }
    }
    stop();
}

int32_t ScsiTransport::execute(DeviceEntry& device, const ScsiCommand& command) {
    if (commandGate && !commandGate(command)) return 0;
    int32_t result = 0;
    switch (kind) {
        case TransportKind::None: break;
        case TransportKind::PassThrough: result = passThroughCommand(device, command); break;
        case TransportKind::SgIo: result = sgIoCommand(device, command); break;
        default: result = aspiCommand(device, command); break;
    }
    if (commandDone) commandDone(device, command, result);
    return result;
}

int32_t ScsiTransport::inquiry(DeviceEntry& device, InquiryStrings& out) {
    if (device.hostAdapter < 0 || device.targetId < 0 || kind == TransportKind::None) return 0;

    if (kind == TransportKind::PassThrough) {
        const HostAdapter* adapter = adapterOf(device);
        if (adapter != nullptr &&
            (adapter->busKind == BusKind::Usb || adapter->busKind == BusKind::Ieee1394)) {
            return driveLetterInquiry(device, out);
        }
        return deviceMapInquiry(device, out);
    }

    uint8_t data[kInquiryLength] = {};
    ScsiCommand command;
    command.cdb = kInquiryCdb;
    command.data = data;
    command.dataLength = sizeof data;
    const int32_t result = execute(device, command);
    // SG_IO passes its failure on, as the drive-letter INQUIRY does, so that the scan can tell
    // a node it may not open from a drive that does not answer.
    if (result != 1) return kind == TransportKind::SgIo ? result : 0;
    for (int i = 0; i < kVendorLength; ++i) {
        out.vendor[i] = static_cast<char>(data[kInquiryVendorAt + i]);
    }
    for (int i = 0; i < kProductLength; ++i) {
        out.product[i] = static_cast<char>(data[kInquiryProductAt + i]);
    }
    for (int i = 0; i < kRevisionLength; ++i) {
        out.revision[i] = static_cast<char>(data[kInquiryRevisionAt + i]);
    }
    out.vendor[kVendorLength] = out.product[kProductLength] = out.revision[kRevisionLength] = 0;
    return data[0] * 256 + 1;
}

int32_t ScsiTransport::currentInquiry(DeviceEntry& device, InquiryStrings& out) {
    const int letter = device.driveLetter;
    if (kind == TransportKind::PassThrough && device.hostAdapter >= 0 && device.targetId >= 0 &&
        letter >= 0 && letter < kDriveLetterCount &&
        api_.getDriveType(driveRootPath(letter)) == DriveTypes::kCdrom) {
        return driveLetterInquiry(device, out);
    }
    return inquiry(device, out);
}

int32_t ScsiTransport::queryAdapter(int adapterIndex, AdapterInfo& out) {
    switch (kind) {
        case TransportKind::None: return 0;
        case TransportKind::PassThrough: return passThroughAdapterInquiry(adapterIndex, out);
        case TransportKind::SgIo:
            return 0;  // Linux names no adapter identifiers, and nothing there asks for them
        default: return aspiAdapterInquiry(adapterIndex, out);
    }
}

void ScsiTransport::openDriveHandle(const DeviceEntry& device) {
    if (kind == TransportKind::SgIo) {
        holdDeviceExclusively(device);
        return;
    }
    // A:, B: and C: never get a kept handle; their commands open one each time.
    const int letter = device.driveLetter;
    if (letter <= 2 || letter >= kDriveLetterCount || !isOwnLetter(device)) return;
    if (letterHandleOpen[letter] && letterHandle[letter] != kInvalidHandle) {
        api_.closeHandle(letterHandle[letter]);
    }
    letterLocked[letter] = 0;
    const auto opened = api_.createFile(driveLetterDeviceName(letter), kGenericReadWrite,
                                        kShareReadWrite, kOpenExisting, 0);
    letterHandle[letter] = opened.handle;
    letterHandleOpen[letter] = opened.handle != kInvalidHandle ? 1 : 0;
}

void ScsiTransport::closeDriveHandle(const DeviceEntry& device) {
    if (kind == TransportKind::SgIo) {
        if (SgIoDevice* node = sgIoDeviceOf(device)) releaseSgIoHold(*node);
        return;
    }
    const int letter = device.driveLetter;
    if (letter <= 2 || letter >= kDriveLetterCount) return;
    letterHandleOpen[letter] = 0;
    letterLocked[letter] = 0;  // closing the handle ends its exclusive access
    if (letterHandle[letter] != kInvalidHandle) api_.closeHandle(letterHandle[letter]);
    letterHandle[letter] = kInvalidHandle;
}

void ScsiTransport::stop() {
    if (aspiLibrary != 0) api_.freeLibrary(aspiLibrary);
    aspiLibrary = 0;
    supportInfo = nullptr;
    sendCommand = nullptr;
    adapters.clear();
    kind = TransportKind::None;
}

HostAdapter* ScsiTransport::adapterOf(const DeviceEntry& device) {
    const int32_t number = device.hostAdapter;
    if (number < 0) return nullptr;
    if (kind != TransportKind::PassThrough) {
        if (static_cast<size_t>(number) >= adapters.size()) return nullptr;
        return &adapters[static_cast<size_t>(number)];
    }
    // Under pass-through a device carries its port's number, which stays the index of its
    // adapter only until the scan drops a port in front of it. The adapters of external drive
    // letters have no port; their number lies beyond every port's and their one entry holds it.
    for (auto& adapter : adapters) {
        if (adapter.portNumber == number) return &adapter;
    }
    for (auto& adapter : adapters) {
        if (adapter.portNumber >= 0 || adapter.buses.empty() || adapter.buses[0].empty()) continue;
        if (adapter.buses[0].at(0).hostAdapter == number) return &adapter;
    }
    return nullptr;
}

void ScsiTransport::storeDevice(const DeviceEntry& entry, size_t busIndex, size_t deviceIndex) {
    HostAdapter* adapter = adapterOf(entry);
    if (adapter == nullptr || busIndex >= adapter->buses.size()) return;
    DeviceList& bus = adapter->buses[busIndex];
    if (deviceIndex >= bus.size()) return;
    bus.replace(deviceIndex, entry);
}

void ScsiTransport::setAdapterBusKind(size_t adapterIndex, BusKind busKind) {
    if (adapterIndex >= adapters.size()) return;
    HostAdapter& adapter = adapters[adapterIndex];
    adapter.busKind = busKind;
    for (auto& bus : adapter.buses) {
        for (auto& entry : bus) entry.busKind = busKind;
    }
}

bool ScsiTransport::hasUsbOr1394Adapter() const {
    for (const auto& adapter : adapters) {
        if (adapter.busKind == BusKind::Usb || adapter.busKind == BusKind::Ieee1394) return true;
    }
    return false;
}

}  // namespace dw
