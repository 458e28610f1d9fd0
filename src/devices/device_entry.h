// One SCSI-addressable device as discovery found it, and the ordered list of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace dw {

// How an adapter (and so its devices) is attached. A signed 32-bit value: -1 is "not classified
// yet", 666 the answer that tells the pass-through scan to drop the adapter.
enum class BusKind : int32_t {
    Unclassified = -1,
    Atapi = 0,
    Ata = 1,
    SerialAta = 2,
    Scsi = 3,
    Usb = 4,
    Ieee1394 = 5,
    Remove = 666,
};

inline constexpr int kVendorLength = 8;
inline constexpr int kProductLength = 16;
inline constexpr int kRevisionLength = 4;
inline constexpr int kDeviceTextLength = 300;
inline constexpr int kSenseLength = 16;
inline constexpr int kStoredSenseLength = 14;
inline constexpr int kDriveLetterCount = 26;

struct DeviceEntry {
    int32_t hostAdapter = 0;  // ASPI adapter number, or the SCSI port number n
    int32_t targetId = 0;
    int32_t pathId = 0;
    int32_t lun = 0;
    int32_t driveLetter = 1;  // 0 = A: .. 25 = Z:; 1 (B:) means "not assigned yet"
    BusKind busKind = BusKind::Atapi;
    char vendor[kVendorLength + 1] = {};
    char product[kProductLength + 1] = {};
    char revision[kRevisionLength + 1] = {};
    char deviceText[kDeviceTextLength] = {};
    uint8_t sense[kSenseLength] = {};  // the first 14: sense data of the last failed command
    // How many bytes of that sense data the system wrote, where it tells (SG_IO); -1 where it
    // does not (ASPI, pass-through): then all 14 are read as sense data.
    int32_t senseWritten = -1;
};

// An ordered, growable array of entries: one bus of an adapter, or the dialog's drive list.
class DeviceList {
public:
    void append(const DeviceEntry& entry) { entries_.push_back(entry); }
    const DeviceEntry& at(size_t index) const { return entries_.at(index); }
    DeviceEntry& at(size_t index) { return entries_.at(index); }
    void replace(size_t index, const DeviceEntry& entry) { entries_.at(index) = entry; }
    void remove(size_t index) { entries_.erase(entries_.begin() + static_cast<long>(index)); }
    size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }
    void clear() { entries_.clear(); }

    auto begin() { return entries_.begin(); }
    auto end() { return entries_.end(); }
    auto begin() const { return entries_.begin(); }
    auto end() const { return entries_.end(); }

private:
    std::vector<DeviceEntry> entries_;
};

}  // namespace dw
