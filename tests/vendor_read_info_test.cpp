// The vendor information block: one addressed read, or 256-byte pieces for the 829 and 827.
#include <numeric>
#include <vector>

#include "identify/vendor_read_info.h"
#include "identify_bench.h"

using namespace testing_support;
using dw::BusKind;

namespace {

// A block whose every byte tells where it stands.
void fillPattern(sim::KorvaneDrive& drive) {
    for (size_t i = 0; i < drive.infoBlock.size(); ++i) {
        drive.infoBlock[i] = static_cast<uint8_t>(i * 7 + i / 256);
    }
}

}  // namespace

TEST(VendorReadInfo, the829And827ReadByPieceIndexIn256BytePieces) {
    struct Case {
        const char* product;
        uint32_t length;
        std::vector<std::vector<uint8_t>> cdbs;
    } cases[] = {
        {"DVDR   KV-829A", 128, {{0xF1, 0x01, 0, 0, 0, 0, 0x00, 0x00, 0x00, 0x80, 0, 0}}},
        {"DVDR   KV-829A",
         300,
         {{0xF1, 0x01, 0, 0, 0, 0, 0x00, 0x00, 0x01, 0x00, 0, 0},
          {0xF1, 0x01, 0, 0, 0, 0, 0x00, 0x01, 0x00, 0x2C, 0, 0}}},
        {"DVDR   KV-827A",
         512,
         {{0xF1, 0x01, 0, 0, 0, 0, 0x00, 0x00, 0x01, 0x00, 0, 0},
          {0xF1, 0x01, 0, 0, 0, 0, 0x00, 0x01, 0x01, 0x00, 0, 0}}},
        {"DVDR   KV-829AL", 1, {{0xF1, 0x01, 0, 0, 0, 0, 0x00, 0x00, 0x00, 0x01, 0, 0}}},
    };
    for (const auto& c : cases) {
        DriveBench bench(c.product, "1.00", "KORVANE", BusKind::Atapi);
        fillPattern(*bench.drive);
        std::vector<uint8_t> buffer(c.length + 8, 0xEE);
        // The address is not sent in this form.
        const int32_t status =
            dw::VendorReadInfo(bench.pc.transport, bench.device, 0x12345678, c.length, buffer);
        EXPECT_EQ(status, 1) << c.product << " " << c.length;

        const auto sent = bench.drive->receivedWithOpcode(0xF1);
        ASSERT_EQ(sent.size(), c.cdbs.size()) << c.product << " " << c.length;
        for (size_t i = 0; i < sent.size(); ++i) {
            EXPECT_EQ(hex(sent[i].cdb), hex(c.cdbs[i])) << c.product << " piece " << i;
            EXPECT_EQ(sent[i].direction, dw::DataDirection::In);
        }
        // Each piece lands at 256 times its index; nothing beyond the length is touched.
        EXPECT_TRUE(
            std::equal(buffer.begin(), buffer.begin() + c.length, bench.drive->infoBlock.begin()))
            << c.product << " " << c.length;
        EXPECT_EQ(buffer[c.length], 0xEE);
    }
}

TEST(VendorReadInfo, otherDrivesGetOneCommandWithAddressAndLength) {
    DriveBench bench("DVDR   KV-825A", "1.00", "KORVANE", BusKind::Atapi);
    fillPattern(*bench.drive);
    std::vector<uint8_t> buffer(300, 0);
    EXPECT_EQ(dw::VendorReadInfo(bench.pc.transport, bench.device, 0x00000102, 300, buffer), 1);
    const auto sent = bench.drive->receivedWithOpcode(0xF1);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(hex(sent[0].cdb), "F1 00 00 00 01 02 00 00 01 2C 00 00");
    EXPECT_EQ(sent[0].transferLength, 300u);
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.end(), bench.drive->infoBlock.begin() + 0x102));

    bench.drive->clearReceived();
    uint8_t block[128];
    EXPECT_EQ(dw::VendorReadInfo(bench.pc.transport, bench.device, 0, 128, block), 1);
    ASSERT_EQ(bench.drive->receivedWithOpcode(0xF1).size(), 1u);
    EXPECT_EQ(hex(bench.drive->receivedWithOpcode(0xF1)[0].cdb),
              "F1 00 00 00 00 00 00 00 00 80 00 00");
}

TEST(VendorReadInfo, theFormFollowsTheStoredProductNotTheFreshOne) {
    DriveBench bench("DVDR   KV-825A", "1.00", "KORVANE", BusKind::Atapi, "DVDR   KV-829A");
    uint8_t block[128];
    EXPECT_EQ(dw::VendorReadInfo(bench.pc.transport, bench.device, 0, 128, block), 1);
    ASSERT_EQ(bench.sent(0xF1), 1u);
    EXPECT_EQ(bench.drive->receivedWithOpcode(0xF1)[0].cdb[1], 0x01);
}

TEST(VendorReadInfo, theFirstFailingPieceEndsTheReadWithItsStatus) {
    for (int failing = 1; failing <= 3; ++failing) {
        DriveBench bench("DVDR   KV-829A", "1.00", "KORVANE", BusKind::Atapi);
        bench.drive->failNth(0xF1, failing, {0x05, 0x24, 0x00});
        std::vector<uint8_t> buffer(600);
        EXPECT_EQ(dw::VendorReadInfo(bench.pc.transport, bench.device, 0, 600, buffer), 2)
            << "piece " << failing;
        EXPECT_EQ(bench.sent(0xF1), size_t(failing)) << "piece " << failing;
        EXPECT_EQ(bench.device.sense[12], 0x24);
    }
}

TEST(VendorReadInfo, aReadThatCannotBeSentSendsNothing) {
    struct Case {
        const char* what;
        const char* product;
        uint32_t length;
        size_t bufferSize;
        int32_t result;
    } cases[] = {
        {"length 0 by piece", "DVDR   KV-829A", 0, 16, 0},
        {"buffer shorter than the length, by piece", "DVDR   KV-829A", 300, 299, 0},
        {"buffer shorter than the length, by address", "DVDR   KV-825A", 128, 127, 0},
        {"length beyond the 16-bit field, by address", "DVDR   KV-825A", 0x10000, 0x10000, 0},
    };
    for (const auto& c : cases) {
        DriveBench bench(c.product, "1.00", "KORVANE", BusKind::Atapi);
        std::vector<uint8_t> buffer(c.bufferSize);
        EXPECT_EQ(dw::VendorReadInfo(bench.pc.transport, bench.device, 0, c.length, buffer),
                  c.result)
            << c.what;
        EXPECT_EQ(bench.sent(0xF1), 0u) << c.what;
    }
}
