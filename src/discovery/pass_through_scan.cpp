#include <algorithm>
#include <cstring>
#include <vector>

#include "discovery/attachment_classification.h"
#include "discovery/external_drives.h"
#include "discovery/scans.h"
#include "platform/port_inquiry_data.h"

namespace dw {

namespace {

constexpr int kMaxPorts = 100;

bool hasControlCharacter(const char* text, size_t length) {
    for (size_t i = 0; i < length && text[i] != 0; ++i) {
        if (isControlCharacter(text[i])) return true;
    }
    return false;
}

bool blankControlCharacters(char* text, size_t length) {
    bool changed = false;
    for (size_t i = 0; i < length && text[i] != 0; ++i) {
        if (isControlCharacter(text[i])) {
            text[i] = ' ';
            changed = true;
        }
    }
    return changed;
}

bool sameAddress(const DeviceEntry& a, const DeviceEntry& b) {
    return a.hostAdapter == b.hostAdapter && a.pathId == b.pathId && a.targetId == b.targetId &&
           a.lun == b.lun;
}

}  // namespace

TransportKind PassThroughScan(ScsiTransport& transport, DeviceOpens* opens) {
    WindowsApi& api = transport.api();
    transport.kind = TransportKind::None;
    std::vector<uint8_t> buffer(kPortInquiryBufferSize, 0);

    // CD-ROM drive letters with a SCSI address.
    std::vector<DeviceEntry> letters;
    for (int letter = 0; letter < kDriveLetterCount; ++letter) {
        transport.letterIsCdrom[size_t(letter)] = 0;
        transport.letterOwner[size_t(letter)] = ScsiTransport::kNoOwner;
        if (api.getDriveType(driveRootPath(letter)) != DriveTypes::kCdrom) continue;
        const auto opened = api.createFile(driveLetterDeviceName(letter), kGenericReadWrite,
                                           kShareReadWrite, kOpenExisting, 0);
        countOpen(opens, opened);
        if (opened.handle == kInvalidHandle) continue;
        uint8_t answer[sizeof(ScsiAddress)] = {};
        if (api.deviceIoControl(opened.handle, kIoctlScsiGetAddress, {}, answer).ok) {
            ScsiAddress address;
            std::memcpy(&address, answer, sizeof address);
            DeviceEntry entry;
            entry.hostAdapter = address.portNumber;
            entry.pathId = address.pathId;
            entry.targetId = address.targetId;
            entry.lun = address.lun;
            entry.driveLetter = letter;
            letters.push_back(entry);
            transport.letterIsCdrom[size_t(letter)] = 1;
            transport.letterOwner[size_t(letter)] = addressKey(entry);
        }
        api.closeHandle(opened.handle);
    }

    // The SCSI ports, numbered without gaps.
    for (int n = 0; n < kMaxPorts; ++n) {
        std::fill(buffer.begin(), buffer.end(), 0);
        const std::string name = scsiPortDeviceName(n);
        const auto opened =
            api.createFile(name, kGenericReadWrite, kShareReadWrite, kOpenExisting, 0);
        countOpen(opens, opened, DeviceOpens::Device::Port);
        if (opened.handle == kInvalidHandle) break;
        HostAdapter adapter;
        if (api.deviceIoControl(opened.handle, kIoctlScsiGetInquiryData, {}, buffer).ok) {
            for (const PortBus& bus : readPortInquiryData(buffer)) {
                DeviceList list;
                for (const PortInquiryRecord& record : bus.records) {
                    DeviceEntry entry;
                    entry.hostAdapter = n;
                    entry.pathId = record.pathId;
                    entry.targetId = record.targetId;
                    entry.lun = record.lun;
                    record.copyText(8, kVendorLength, entry.vendor);
                    record.copyText(16, kProductLength, entry.product);
                    record.copyText(32, kRevisionLength, entry.revision);
                    for (const DeviceEntry& l : letters) {
                        if (sameAddress(l, entry)) entry.driveLetter = l.driveLetter;
                    }
                    list.append(entry);
                }
                adapter.buses.push_back(list);
            }
        }
        adapter.portNumber = n;
        adapter.deviceName = name;
        transport.adapters.push_back(adapter);
        api.closeHandle(opened.handle);
    }
    const size_t portAdapters = transport.adapters.size();

    const size_t external = FindExternalDriveLetters(transport, opens);
    if (external == 0 && letters.empty()) {
        transport.stop();
        return TransportKind::None;
    }
    transport.kind = TransportKind::PassThrough;

    std::vector<size_t> removed;
    for (size_t i = 0; i < portAdapters; ++i) {
        if (ClassifyAdapter(transport, i) == BusKind::Remove) removed.push_back(i);
    }
    for (auto it = removed.rbegin(); it != removed.rend(); ++it) {
        transport.adapters.erase(transport.adapters.begin() + long(*it));
    }
    // The entries keep their port numbers: that is the host adapter the user is shown, and the
    // transport finds an adapter by it.

    for (size_t a = 0; a < transport.adapters.size(); ++a) {
        for (size_t b = 0; b < transport.adapters[a].buses.size(); ++b) {
            for (size_t d = 0; d < transport.adapters[a].buses[b].size(); ++d) {
                DeviceEntry entry = transport.adapters[a].buses[b].at(d);
                if (entry.driveLetter == 1) {
                    for (int letter = 2; letter < kDriveLetterCount; ++letter) {
                        if (transport.letterIsCdrom[size_t(letter)]) continue;
                        transport.letterIsCdrom[size_t(letter)] = 1;
                        entry.driveLetter = letter;
                        transport.storeDevice(entry, b, d);
                        break;
                    }
                }
                InquiryStrings strings;
                if ((transport.inquiry(entry, strings) & 0xFF) != 1) continue;
                if (entry.driveLetter >= 0 && entry.driveLetter < kDriveLetterCount &&
                    api.getDriveType(driveRootPath(entry.driveLetter)) == DriveTypes::kCdrom) {
                    if (!hasControlCharacter(entry.vendor, kVendorLength) &&
                        !hasControlCharacter(entry.product, kProductLength)) {
                        continue;
                    }
                    transport.letterInquiry[size_t(entry.driveLetter)] = 1;
                    if ((transport.inquiry(entry, strings) & 0xFF) == 1) {
                        copyIdentification(strings, entry);
                    }
                    transport.storeDevice(entry, b, d);
                } else {
                    // Both fields are cleaned, whatever the first one gave.
                    const bool vendorChanged = blankControlCharacters(entry.vendor, kVendorLength);
                    const bool productChanged =
                        blankControlCharacters(entry.product, kProductLength);
                    if (vendorChanged || productChanged) transport.storeDevice(entry, b, d);
                }
            }
        }
    }
    return transport.kind;
}

}  // namespace dw
