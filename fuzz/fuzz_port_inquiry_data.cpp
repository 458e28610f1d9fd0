// The walk of the port driver's inquiry data, on any 4,096-byte buffer: it stays inside the
// buffer and ends.
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz_support.h"
#include "platform/port_inquiry_data.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> buffer(4096, 0);
    std::memcpy(buffer.data(), data, size < buffer.size() ? size : buffer.size());
    const auto buses = dw::readPortInquiryData(buffer);
    const uint8_t* begin = buffer.data();
    const uint8_t* end = begin + buffer.size();
    for (const dw::PortBus& bus : buses) {
        for (const dw::PortInquiryRecord& record : bus.records) {
            FUZZ_REQUIRE(record.inquiry.empty() ||
                         (record.inquiry.data() >= begin &&
                          record.inquiry.data() + record.inquiry.size() <= end));
            char text[17];
            record.copyText(16, 16, text);
            FUZZ_REQUIRE(text[16] == '\0');
            volatile uint8_t last = record.inquiryByte(record.inquiry.size() + 1);
            FUZZ_REQUIRE(last == 0);
        }
    }
    return 0;
}
