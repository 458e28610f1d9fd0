// The walk of the port driver's inquiry data, on well-formed and on hostile buffers.
#include "platform/port_inquiry_data.h"
#include "scsi/scsi_transport.h"
#include "test_support.h"

using namespace testing_support;

namespace {

using Buffer = std::vector<uint8_t>;

void put32(Buffer& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + size_t(i)] = static_cast<uint8_t>(v >> (8 * i));
}

// A record at `at` with the given address, INQUIRY length and next offset.
void record(Buffer& b, size_t at, uint8_t target, uint32_t length, uint32_t next) {
    b[at] = 0;
    b[at + 1] = target;
    b[at + 2] = 0;
    put32(b, at + 4, length);
    put32(b, at + 8, next);
    for (uint32_t i = 0; i < length && at + 12 + i < b.size(); ++i) {
        b[at + 12 + i] = static_cast<uint8_t>('A' + target);
    }
}

Buffer withBus(uint8_t buses, uint32_t firstOffset) {
    Buffer b(4096, 0);
    b[0] = buses;
    put32(b, 8, firstOffset);
    return b;
}

struct WalkCase {
    const char* name;
    Buffer buffer;
    std::vector<int> targetsOfBus0;
};

std::vector<WalkCase> walkCases() {
    std::vector<WalkCase> cases;
    {
        Buffer b = withBus(1, 64);
        record(b, 64, 0, 36, 112);
        record(b, 112, 1, 36, 0);
        cases.push_back({"a chain of two", b, {0, 1}});
    }
    cases.push_back({"a bus with no device", withBus(1, 0), {}});
    cases.push_back({"a first offset past the end", withBus(1, 5000), {}});
    cases.push_back({"a first offset at the very end", withBus(1, 4095), {}});
    {
        Buffer b = withBus(1, 4084);  // the 12-byte header fits, no INQUIRY data does
        record(b, 4084, 3, 36, 0);
        cases.push_back({"INQUIRY data running past the end", b, {}});
    }
    {
        Buffer b = withBus(1, 4084);
        record(b, 4084, 3, 0, 0);
        cases.push_back({"an empty record at the end", b, {3}});
    }
    {
        Buffer b = withBus(1, 64);
        record(b, 64, 0, 0xFFFFFFF0u, 0);
        cases.push_back({"a huge INQUIRY length", b, {}});
    }
    {
        Buffer b = withBus(1, 64);
        record(b, 64, 0, 36, 64);
        cases.push_back({"a record pointing at itself", b, {0}});
    }
    {
        Buffer b = withBus(1, 64);
        record(b, 64, 0, 36, 112);
        record(b, 112, 1, 36, 64);
        cases.push_back({"two records pointing at each other", b, {0, 1}});
    }
    {
        Buffer b = withBus(1, 64);
        record(b, 64, 0, 36, 0xFFFFFFFFu);
        cases.push_back({"a next offset past the end", b, {0}});
    }
    return cases;
}

}  // namespace

TEST(PortInquiryData, walksWellFormedAndHostileBuffersWithinTheirBounds) {
    for (const auto& c : walkCases()) {
        const auto buses = dw::readPortInquiryData(c.buffer);
        ASSERT_EQ(buses.size(), 1u) << c.name;
        std::vector<int> targets;
        for (const auto& r : buses[0].records) {
            targets.push_back(r.targetId);
            EXPECT_GE(r.inquiry.data(), c.buffer.data()) << c.name;
            EXPECT_LE(r.inquiry.data() + r.inquiry.size(), c.buffer.data() + c.buffer.size())
                << c.name;
        }
        EXPECT_EQ(targets, c.targetsOfBus0) << c.name;
    }
}

TEST(PortInquiryData, busInformationOutsideTheBufferEndsTheBusList) {
    Buffer shortBuffer(20, 0);
    shortBuffer[0] = 5;  // only bus 0 and bus 1 have room for their 8 bytes
    EXPECT_EQ(dw::readPortInquiryData(shortBuffer).size(), 2u);
    EXPECT_TRUE(dw::readPortInquiryData({}).empty());

    Buffer full(4096, 0);
    full[0] = 255;
    EXPECT_EQ(dw::readPortInquiryData(full).size(), 255u);
}

TEST(PortInquiryData, shortInquiryDataReadsAsZeros) {
    Buffer b = withBus(1, 64);
    record(b, 64, 2, 10, 0);
    b[64 + 12 + 20] = 'X';  // outside the record's 10 bytes
    const auto buses = dw::readPortInquiryData(b);
    ASSERT_EQ(buses[0].records.size(), 1u);
    char product[17];
    buses[0].records[0].copyText(16, 16, product);
    EXPECT_STREQ(product, "");
}

TEST(PortInquiryData, aLoopingPortAnswerDoesNotHangTheDeviceMapInquiry) {
    Buffer b = withBus(1, 64);
    record(b, 64, 1, 36, 112);
    record(b, 112, 2, 36, 64);
    PassThroughPc pc;
    pc.addAdapter(0);
    pc.machine.port(0)->rawInquiryData = b;

    auto device = PassThroughPc::entry(0, 0, 2, 0, 4);
    dw::InquiryStrings s;
    const int32_t result = pc.transport.inquiry(device, s);
    EXPECT_EQ(result & 0xFF, 1);
    EXPECT_EQ(result >> 8, 'C');  // INQUIRY byte 0 of the record
    EXPECT_STREQ(s.vendor, "CCCCCCCC");
    EXPECT_EQ(pc.machine.openHandleCount(), 0);
}
