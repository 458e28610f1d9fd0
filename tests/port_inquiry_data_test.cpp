// The walk of the port driver's inquiry data, on well-formed and on hostile buffers.
#include "platform/port_inquiry_data.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <tuple>

namespace {

using Buffer = std::vector<uint8_t>;
using Record = std::array<uint32_t, 4>;  // offset, target, INQUIRY length, next offset

void put32(Buffer& b, size_t at, uint32_t v) {
    for (size_t i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

TEST(PortInquiryData, walksWellFormedAndHostileBuffersWithinTheirBounds) {
    // Per record walked: path/target/LUN, the INQUIRY length, its first byte and the length of
    // its product text (bytes past the record's data read as zeros).
    const std::tuple<const char*, uint32_t, std::vector<Record>, const char*> cases[] = {
        {"a chain", 64, {{64, 0, 36, 112}, {112, 1, 36, 0}}, "1/0/2 36 A 16;1/1/2 36 B 16;"},
        {"a short record", 64, {{64, 2, 10, 86}, {86, 3, 36, 0}}, "1/2/2 10 C 0;1/3/2 36 D 16;"},
        {"a bus with no device", 0, {}, ""},
        {"a first offset past the end", 5000, {}, ""},
        {"a first offset at the very end", 4095, {}, ""},
        {"INQUIRY data running past the end", 4084, {{4084, 3, 36, 0}}, ""},
        {"an empty record at the end", 4084, {{4084, 3, 0, 0}}, "1/3/2 0 - 0;"},
        {"a huge INQUIRY length", 64, {{64, 0, 0xFFFFFFF0u, 0}}, ""},
        {"a record pointing at itself", 64, {{64, 0, 36, 64}}, "1/0/2 36 A 16;"},
        {"a loop", 64, {{64, 0, 36, 112}, {112, 1, 36, 64}}, "1/0/2 36 A 16;1/1/2 36 B 16;"},
        {"a next offset past the end", 64, {{64, 0, 36, 0xFFFFFFFFu}}, "1/0/2 36 A 16;"},
        // Offsets are four bytes: a set third or top byte puts the next record past the end.
        {"a far next offset", 64, {{64, 0, 36, 0x10070}, {112, 1, 36, 0}}, "1/0/2 36 A 16;"},
        {"a huge next offset", 64, {{64, 0, 36, 0x80000070u}, {112, 1, 36, 0}}, "1/0/2 36 A 16;"},
    };
    for (const auto& [name, first, records, expected] : cases) {
        Buffer b(4096, 0);  // one bus; the records hold path 1 and LUN 2, bytes 'A' + target
        b[0] = 1;
        put32(b, 8, first);
        for (const auto& [at, target, length, next] : records) {
            put32(b, at, 0x020001 | target << 8);
            put32(b, at + 4, length);
            put32(b, at + 8, next);
            std::fill(b.begin() + at + 12, b.begin() + std::min(b.size(), size_t{at} + 12 + length),
                      'A' + target);
        }
        const auto buses = dw::readPortInquiryData(b);
        ASSERT_EQ(buses.size(), 1u) << name;
        std::string walked;
        for (const auto& r : buses[0].records) {
            char product[17];
            r.copyText(16, 16, product);
            walked += std::to_string(r.pathId) + "/" + std::to_string(r.targetId) + "/" +
                      std::to_string(r.lun) + " " + std::to_string(r.inquiry.size()) + " " +
                      (r.inquiry.empty() ? '-' : char(r.inquiry[0])) + " " +
                      std::to_string(std::strlen(product)) + ";";
            EXPECT_GE(r.inquiry.data(), b.data()) << name;
            EXPECT_LE(r.inquiry.data() + r.inquiry.size(), b.data() + b.size()) << name;
        }
        EXPECT_EQ(walked, expected) << name;
    }
}

TEST(PortInquiryData, busInformationOutsideTheBufferEndsTheBusList) {
    Buffer b(20, 0);
    b[0] = 5;  // only bus 0 and bus 1 have room for their 8 bytes
    EXPECT_EQ(dw::readPortInquiryData(b).size(), 2u);
    EXPECT_TRUE(dw::readPortInquiryData({}).empty());
}
