// The command builders' CDBs and transfer lengths, byte for byte as the drive receives them.
#include <functional>

#include "firmware/command_builders.h"
#include "test_support.h"

using namespace testing_support;
using dw::DataDirection;

namespace {

struct BuilderFixture : ::testing::Test {
    PassThroughPc pc;
    sim::KorvaneDrive* drive = nullptr;
    dw::DeviceEntry device = PassThroughPc::entry(0, 0, 0, 0, 3);
    std::vector<uint8_t> buffer = std::vector<uint8_t>(32768, 0x5A);

    void SetUp() override {
        pc.addAdapter(0);
        drive = &pc.machine.addDrive("CD-R   KV-R535C", "1.00");
        pc.machine.attach(*drive, 0, 0, 0, 0, 3);
    }
};

}  // namespace

TEST_F(BuilderFixture, everyBuilderSendsItsExactCdb) {
    using B = std::function<int32_t()>;
    struct Case {
        const char* name;
        B send;
        std::vector<uint8_t> cdb;
        DataDirection direction;
        uint32_t transferLength;
    };
    auto& t = pc.transport;
    auto& d = device;
    std::span<uint8_t> buf(buffer);
    drive->downloadPrepared = true;
    const Case cases[] = {
        {"TestUnitReady",
         [&] { return dw::TestUnitReady(t, d); },
         {0, 0, 0, 0, 0, 0},
         DataDirection::None,
         0},
        {"RezeroUnit",
         [&] { return dw::RezeroUnit(t, d); },
         {1, 0, 0, 0, 0, 0},
         DataDirection::None,
         0},
        {"RequestSense",
         [&] { return dw::RequestSense(t, d, buf); },
         {0x03, 0, 0, 0, 0x12, 0},
         DataDirection::In,
         18},
        {"EjectMedium",
         [&] { return dw::EjectMedium(t, d); },
         {0x1B, 0, 0, 0, 0x02, 0},
         DataDirection::None,
         0},
        {"WriteBuffer mode 5 at 0x7E000",
         [&] { return dw::WriteBuffer(t, d, 5, 0, 0x7E000, 8192, buf); },
         {0x3B, 0x05, 0x00, 0x07, 0xE0, 0x00, 0x00, 0x20, 0x00, 0x00},
         DataDirection::Out,
         8196},
        {"WriteBuffer keeps three mode bits",
         [&] { return dw::WriteBuffer(t, d, 0xFC, 0, 0x1E000, 4096, buf); },
         {0x3B, 0x04, 0x00, 0x01, 0xE0, 0x00, 0x00, 0x10, 0x00, 0x00},
         DataDirection::Out,
         4100},
        {"VendorPrepareDownload",
         [&] { return dw::VendorPrepareDownload(t, d); },
         {0xE1, 0x04, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0},
         DataDirection::None,
         0},
        {"VendorWriteMemory mode 1 at 0x8000",
         [&] { return dw::VendorWriteMemory(t, d, 1, 0x8000, 0x8000, buf); },
         {0xE2, 0x01, 0x00, 0x00, 0x80, 0x00, 0x00, 0x00, 0x80, 0x00, 0x00, 0x00},
         DataDirection::Out,
         32768},
        {"VendorReadMemory of the revision",
         [&] { return dw::VendorReadMemory(t, d, 0x100198, 4, buf); },
         {0xE3, 0x00, 0x00, 0x10, 0x01, 0x98, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00},
         DataDirection::In,
         4},
    };
    for (const auto& c : cases) {
        drive->mediumLoaded = true;
        EXPECT_EQ(c.send(), 1) << c.name;
        ASSERT_FALSE(drive->received().empty()) << c.name;
        const auto& seen = drive->received().back();
        EXPECT_EQ(hex(seen.cdb), hex(c.cdb)) << c.name;
        EXPECT_EQ(seen.direction, c.direction) << c.name;
        EXPECT_EQ(seen.transferLength, c.transferLength) << c.name;
    }
    EXPECT_EQ(drive->received().size(), std::size(cases));
}

TEST_F(BuilderFixture, vendorReadMemoryDeliversTheDrivesBytes) {
    const uint8_t revision[] = {'1', '.', '0', '7'};
    drive->setMemory(0x100198, revision);
    uint8_t out[4] = {};
    EXPECT_EQ(dw::VendorReadMemory(pc.transport, device, 0x100198, 4, out), 1);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 4), "1.07");
}

TEST_F(BuilderFixture, writeBufferDataReachesTheDrivesImage) {
    for (size_t i = 0; i < 8192; ++i) buffer[i] = static_cast<uint8_t>(i * 7);
    buffer[24] = 'R', buffer[25] = '2', buffer[26] = '.', buffer[27] = '5';
    EXPECT_EQ(dw::WriteBuffer(pc.transport, device, 4, 0, 0, 8192, buffer), 1);
    EXPECT_EQ(drive->commits, 0);
    EXPECT_EQ(dw::WriteBuffer(pc.transport, device, 5, 0, 8192, 8192, buffer), 1);
    EXPECT_EQ(drive->commits, 1);
    ASSERT_EQ(drive->committedImage.size(), 16384u);
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + 8192, drive->committedImage.begin()));
    EXPECT_EQ(drive->revision(), "R2.5");
}

TEST_F(BuilderFixture, aBufferTooSmallForTheTransferSendsNothing) {
    std::vector<uint8_t> exact(8192);
    EXPECT_EQ(dw::WriteBuffer(pc.transport, device, 4, 0, 0, 8192, exact), 0);  // needs 8196
    EXPECT_EQ(dw::VendorWriteMemory(pc.transport, device, 1, 0, 8193, exact), 0);
    EXPECT_EQ(dw::VendorReadMemory(pc.transport, device, 0, 8193, exact), 0);
    std::vector<uint8_t> small(17);
    EXPECT_EQ(dw::RequestSense(pc.transport, device, small), 0);
    EXPECT_TRUE(drive->received().empty());
}
