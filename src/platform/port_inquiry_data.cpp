#include "platform/port_inquiry_data.h"

#include "platform/scsi_structures.h"

namespace dw {

namespace {

uint32_t readLe32(std::span<const uint8_t> b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
           uint32_t(b[at + 3]) << 24;
}

}  // namespace

void PortInquiryRecord::copyText(size_t first, size_t count, char* out) const {
    for (size_t i = 0; i < count; ++i) out[i] = static_cast<char>(inquiryByte(first + i));
    out[count] = '\0';
}

std::vector<PortBus> readPortInquiryData(std::span<const uint8_t> buffer) {
    using namespace port_inquiry;
    std::vector<PortBus> buses;
    if (buffer.empty()) return buses;

    const unsigned busCount = buffer[kBusCount];
    for (unsigned i = 0; i < busCount; ++i) {
        const size_t info = kBusInfoStart + kBusInfoSize * i;
        if (info + kBusInfoSize > buffer.size()) break;

        PortBus bus;
        bus.lunCount = buffer[info];
        bus.initiatorId = buffer[info + 1];

        std::vector<bool> seen(buffer.size(), false);
        uint32_t offset = readLe32(buffer, info + 4);
        while (offset != 0) {
            if (offset >= buffer.size() || buffer.size() - offset < kRecordHeaderSize) break;
            if (seen[offset]) break;  // the chain loops
            seen[offset] = true;

            const uint32_t length = readLe32(buffer, offset + 4);
            const size_t dataStart = offset + kRecordHeaderSize;
            if (length > buffer.size() - dataStart) break;  // INQUIRY data runs past the end

            PortInquiryRecord record;
            record.pathId = buffer[offset];
            record.targetId = buffer[offset + 1];
            record.lun = buffer[offset + 2];
            record.claimed = buffer[offset + 3];
            record.inquiry = buffer.subspan(dataStart, length);
            bus.records.push_back(record);

            offset = readLe32(buffer, offset + 8);
        }
        buses.push_back(std::move(bus));
    }
    return buses;
}

}  // namespace dw
