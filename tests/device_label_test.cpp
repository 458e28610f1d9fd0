// The device list labels: the first line whose test on the fresh product id P holds for the
// bus, the interface check of the Serial ATA lines, and the plain label.
#include "identify/device_label.h"
#include "identify_bench.h"

using namespace testing_support;
using namespace testing_support::buses;

namespace {

struct Case {
    std::string p;  // what the drive reports now, blank-padded to 16
    dw::BusKind bus;
    const char* label;
    uint8_t interfaceCode = 1;  // in the drive's information block: 1 and 5 confirm Serial ATA
    const char* stored = "";    // the stored product id, "" for P
};

// Only the Serial ATA lines read the interface code: the first 128 bytes of the block, once.
void expectLabel(const Case& c) {
    DriveBench bench(c.p, "1.00", "KORVANE", c.bus, c.stored, 12);
    bench.drive->setInterfaceCode(c.interfaceCode);
    EXPECT_EQ(dw::DeviceLabel(bench.pc.transport, bench.device), c.label)
        << "P \"" << c.p << "\" on bus " << int(c.bus) << ", code " << int(c.interfaceCode);
    const auto reads = bench.drive->receivedWithOpcode(0xF1);
    EXPECT_LE(reads.size(), c.bus == T ? 1u : 0u) << c.p;
    for (const auto& r : reads) EXPECT_EQ(hex(r.cdb).substr(5), " 00 00 00 00 00 00 00 80 00 00");
}

}  // namespace

// Line 1 ("S37T") comes before line 4 ("6025"), line 8 ("630") before line 12 ("852"); the
// 309 line tests "309" alone; line 9 takes a 630 on any other bus. Without a line, or without
// a confirmed interface, the label is P from its eighth character, trailing blanks kept; a P
// that ends inside the device-type part leaves nothing, and nothing outside P is read.
TEST(DeviceLabel, theFirstLineThatHoldsForTheFreshProductIdNamesTheModel) {
    const Case cases[] = {
        {"CD-R   KV-S37T", U, "ID:12   KV-S37TU"},     {"CD-R   KV-309", U, "ID:12  KV-309U"},
        {"CD-R   KV-W3850A", U, "ID:12   KV-W3850U"},  {std::string(1, '\0'), A, "ID:12  "},
        {"CD-R   KV-S3850T", U, "ID:12   KV-S3850TU"}, {"CD-R   KV-W6025A", U, "ID:12   KV-W6025U"},
        {"CD-R   KV-W5936A", U, "ID:12   KV-W5936U"},  {"CD-R   SUPERBA", U, "ID:12  SUPERBA-U"},
        {"DVDR   KV-630A", F, "ID:12  KV-630UF"},      {"DVDR   KV-630A", S, "ID:12  KV-630A"},
        {"DVDR   KV-821A2", U, "ID:12  KV-821UF2"},    {"DVDR   KV-821A", F, "ID:12  KV-821UF"},
        {"DVDR   KV-852A", U, "ID:12  KV-852UF"},      {"DVDR   KV-825A", U, "ID:12  KV-825UF"},
        {"DVDR   KV-825A", F, "ID:12  KV-825UF"},      {"DVDR   KV-829AL", F, "ID:12  KV-829UFL"},
        {"DVDR   KV-829AL", U, "ID:12  KV-829UFL"},    {"DVDR   KV-829A", F, "ID:12  KV-829UF"},
        {"DVDR   KV-829A", U, "ID:12  KV-829UF"},      {"CD-R   S37T6025", U, "ID:12   KV-S37TU"},
        {"DVDR   KV-630852", U, "ID:12  KV-630UF"},    {"DVDR   KV-825A", T, "ID:12  KV-825SA"},
        {"DVDR   KV-829A", T, "ID:12  KV-829SA", 5},   {"DVDR   KV-829AL", T, "ID:12  KV-829SA"},
        {"DVDR   KV-829A", A, "ID:12  KV-829A  "},     {"DVD-ROM KV-138A", A, "ID:12   KV-138A "},
        {"*Program Mode1*", A, "ID:12  m Mode1* "},    {"CD-R   KV-S37T", F, "ID:12  KV-S37T  "},
        {"DVDR   KV-999A", U, "ID:12  KV-999A  "},     {"DVDR   KV-821A", T, "ID:12  KV-821A  "},
        {"DVDR   KV-829AL", A, "ID:12  KV-829AL "},    {"DVDR   KV-825A", T, "ID:12  KV-825A  ", 8},
        {"DVDR   KV-825A", T, "ID:12  KV-825A  ", 0},  {"DVDR   KV-829A", T, "ID:12  KV-829A  ", 2},
        {std::string("DVDR\0", 5), A, "ID:12  "},      {std::string("CD-ROMX\0", 8), A, "ID:12  "},
        {std::string("CD-ROM X\0", 9), A, "ID:12  X"},

    };
    for (const Case& c : cases) expectLabel(c);
    // The probe stored KV-825U for an 825 behind a USB bridge; P decides everything else.
    expectLabel({"DVDR   KV-825A", U, "ID:12  KV-825U", 1, "DVDR   KV-825U"});
    expectLabel({"CD-R   KV-S37T", U, "ID:12   KV-S37TU", 1, "DVDR   KV-829A"});
}

// A failed INQUIRY leaves P empty; a failed read of the interface code denies Serial ATA.
TEST(DeviceLabel, aFailedReadGivesThePlainLabel) {
    // A USB drive answers INQUIRY through its letter; this one does not answer at all.
    DriveBench bench("DVDR   KV-829A", "1.00", "KORVANE", U, "", 5);
    bench.drive->stopAnsweringAfter(0);
    EXPECT_EQ(dw::DeviceLabel(bench.pc.transport, bench.device), "ID:5  ");
    DriveBench absent("DVDR   KV-825A", "1.00", "KORVANE", T, "", 1);
    absent.device.targetId = 9;
    EXPECT_EQ(dw::DeviceLabel(absent.pc.transport, absent.device), "ID:9  ");
    EXPECT_EQ(absent.sent(0xF1), 0u);
    DriveBench failing("DVDR   KV-829A", "1.00", "KORVANE", T, "", 2);
    failing.drive->setInterfaceCode(1);
    failing.drive->failAll(0xF1, {0x05, 0x20, 0x00});
    EXPECT_EQ(dw::DeviceLabel(failing.pc.transport, failing.device), "ID:2  KV-829A  ");
}
