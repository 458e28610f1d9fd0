// Reading the answer of IOCTL_SCSI_GET_INQUIRY_DATA: the buses of one SCSI port and, per bus,
// the chain of device records with the port driver's cached INQUIRY data.
//
// The buffer comes from a driver and is treated as foreign input: a bus or record offset outside
// the buffer, a record whose INQUIRY data would run past its end, or a chain of next-record
// offsets that comes back to a record already seen ends the walk of that bus. Nothing is read
// outside the buffer and every walk ends.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace dw {

struct PortInquiryRecord {
    uint8_t pathId = 0;
    uint8_t targetId = 0;
    uint8_t lun = 0;
    uint8_t claimed = 0;
    std::span<const uint8_t> inquiry;  // the record's INQUIRY data, inside the buffer

    // Byte `index` of the INQUIRY data, 0 where the record holds fewer bytes.
    uint8_t inquiryByte(size_t index) const { return index < inquiry.size() ? inquiry[index] : 0; }
    // Copies `count` INQUIRY bytes from `first` into `out` (count + 1 bytes) and terminates it.
    void copyText(size_t first, size_t count, char* out) const;
};

struct PortBus {
    uint8_t lunCount = 0;
    uint8_t initiatorId = 0;
    std::vector<PortInquiryRecord> records;
};

// The buses in order, each with its records in chain order. Buses whose information lies outside
// the buffer are not listed.
std::vector<PortBus> readPortInquiryData(std::span<const uint8_t> buffer);

}  // namespace dw
