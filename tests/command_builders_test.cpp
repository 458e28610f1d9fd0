// The command builders' CDBs and transfer lengths as the drive receives them, where the download
// tests do not show them; and a buffer too small for a transfer sends nothing.
#include "firmware/command_builders.h"
#include "firmware_support.h"

using namespace testing_support;

TEST(CommandBuilders, readMemoryAndTheModeBitsAndTooSmallBuffers) {
    FirmwareBench bench("CD-R   KV-R535C");
    auto [t, d, drive] = std::tie(bench.pc.transport, bench.state.currentDevice, *bench.drive);
    const uint8_t revision[] = {'1', '.', '0', '7'};
    drive.setMemory(0x100198, revision);
    std::vector<uint8_t> b(8192), small(17);
    EXPECT_EQ(dw::VendorReadMemory(t, d, 0x100198, 4, b), 1);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "1.07");
    EXPECT_EQ(dw::WriteBuffer(t, d, 0xFD, 0, 0x1E0F1, 0xF0F, b), 1);  // three mode bits: 5
    std::vector<std::string> seen;
    for (const auto& c : drive.received())
        seen.push_back(hex(c.cdb) + " / " + std::to_string(c.transferLength));
    EXPECT_EQ(seen, (std::vector<std::string>{"E3 00 00 10 01 98 00 00 00 04 00 00 / 4",
                                              "3B 05 00 01 E0 F1 00 0F 0F 00 / 3859"}));
    EXPECT_EQ(dw::WriteBuffer(t, d, 4, 0, 0, 8192, b), 0);  // needs 8196
    EXPECT_EQ(dw::VendorWriteMemory(t, d, 1, 0, 8193, b), 0);
    EXPECT_EQ(dw::VendorReadMemory(t, d, 0, 8193, b), 0);
    EXPECT_EQ(dw::RequestSense(t, d, small), 0);
    EXPECT_EQ(drive.received().size(), 2u);
}
