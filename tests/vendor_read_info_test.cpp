// The vendor information block: one addressed read, or 256-byte pieces for the 829 and 827.
#include "identify/vendor_read_info.h"
#include "identify_bench.h"

using namespace testing_support;

// The form follows the product id the record holds, not the one the drive reports now. The
// first failing piece, the last too, ends the read with its status; a read that cannot be sent
// sends nothing. The CDBs sent are written out in hex, each followed by "|".
TEST(VendorReadInfo, readsByAddressOrByPieceAsTheStoredProductWants) {
    const char *k829 = "DVDR   KV-829A", *k825 = "DVDR   KV-825A";
    const struct {
        const char *product, *stored;  // stored: the product id the record holds, if another
        uint32_t address, length, buffer;
        int failing, result;  // failing: this F1h fails
        const char* cdbs;
    } cases[] = {
        {k829, "", 0x1234, 300, 300, 0, 1, "F10100000000000001000000|F101000000000001002C0000|"},
        {"DVDR   KV-827A", "", 0, 256, 260, 0, 1, "F10100000000000001000000|"},
        {"DVDR   KV-829AL", "", 0, 1, 8, 0, 1, "F10100000000000000010000|"},
        {k825, k829, 0, 128, 128, 0, 1, "F10100000000000000800000|"},
        {k825, "", 0x102, 300, 310, 0, 1, "F100000001020000012C0000|"},
        {k829, "", 0, 300, 300, 2, 2, "F10100000000000001000000|F101000000000001002C0000|"},
        {k825, "", 0, 300, 300, 1, 2, "F100000000000000012C0000|"},
        {k829, "", 0, 0, 16, 0, 0, ""},
        {k829, "", 0, 300, 299, 0, 0, ""},          // a buffer shorter than the length
        {k825, "", 0, 0x10000, 0x10000, 0, 0, ""},  // beyond the 16-bit field
    };
    for (const auto& c : cases) {
        const auto n = &c - cases;
        DriveBench bench(c.product, "1.00", "KORVANE", dw::BusKind::Atapi, c.stored);
        auto& block = bench.drive->infoBlock;
        for (size_t i = 0; i < block.size(); ++i) block[i] = uint8_t(i * 7 + i / 256);
        if (c.failing) bench.drive->failNth(0xF1, c.failing, {0x05, 0x24, 0x00});
        std::vector<uint8_t> b(c.buffer, 0xEE);
        auto& t = bench.pc.transport;
        EXPECT_EQ(dw::VendorReadInfo(t, bench.device, c.address, c.length, b), c.result) << n;
        std::string sent;
        for (const auto& s : bench.drive->receivedWithOpcode(0xF1)) sent += hex(s.cdb) + "|";
        std::erase(sent, ' ');
        EXPECT_EQ(sent, c.cdbs) << "case " << n;
        if (c.result != 1) continue;
        // The bytes land in order, each piece at 256 times its index; nothing beyond is touched.
        const auto from = block.begin() + (c.cdbs[3] == '0' ? c.address : 0);
        EXPECT_TRUE(std::equal(b.begin(), b.begin() + c.length, from)) << "case " << n;
        EXPECT_EQ(std::count(b.begin() + c.length, b.end(), 0xEE), c.buffer - c.length) << n;
    }
}
