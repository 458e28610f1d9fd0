// Identification and the device list labels, each from the drive's fresh answer: the model row
// the bus rules make of the stored product id, the queries, and the label of the first line
// whose test on the fresh product id P holds for the bus.
#include "identify/device_label.h"
#include "identify/identify_model.h"
#include "identify_bench.h"

using namespace testing_support;

namespace {

struct Case {
    std::string p;  // what the drive reports now, blank-padded to 16
    dw::BusKind bus;
    const char* row;            // the model row found, "" for none
    const char* label;          // after "ID:12"
    uint8_t interfaceCode = 1;  // in the information block: 1 and 5 confirm Serial ATA
    const char* stored = "";    // the product id of the record, "" for P
    const char* revision = "1.00";
    const char* vendor = "KORVANE";
};

}  // namespace

// Each rule sees the id the rules before it left ("S37T6025", "KV-821852"); within the 821 and
// 829 chains only the first rule that applies is used. Only a whole "CD-ROM KV-62TS" with a
// revision whose third character is not "0" is the xxTS. A row matches a working id it begins;
// the vendor's answer must contain "KORVANE", case-sensitively, for any rewrite. The row found
// is a copy of the documented row. A label line tests P, whatever the vendor; without one (or
// without a confirmed interface) the label is P from its eighth character, trailing blanks
// kept; nothing outside P is read. Only the Serial ATA lines read the interface code: the first
// 128 bytes of the information block, once. (The rows themselves are held against the golden
// copy in model_table_test.cpp.)
TEST(IdentifyModel, theRowAndTheLabelFollowTheBusRulesOfTheProductId) {
    const Case cases[] = {
        {"CD-R   KV-S37T", U, "CD-R   KV-S37TU", "   KV-S37TU"},
        {"CD-R   KV-S3850T", U, "CD-R   KV-S3850TU", "   KV-S3850TU"},
        {"CD-R   KV-W6025A", U, "CD-R   KV-W6025U", "   KV-W6025U"},
        {"CD-R   KV-309", U, "", "  KV-309U"},
        {"CD-R   SUPERBA", U, "CD-R   SUPERBA-U", "  SUPERBA-U"},
        {"DVDR   KV-630A", F, "DVDR   KV-630UF", "  KV-630UF"},
        {"DVDR   KV-630A", S, "DVDR   KV-630A", "  KV-630A"},
        {"DVDR   KV-852A", U, "DVDR   KV-852UF", "  KV-852UF"},
        {"DVDR   KV-821A2", U, "DVDR   KV-821UF2", "  KV-821UF2"},
        {"DVDR   KV-825A", U, "DVDR   KV-825UF", "  KV-825UF"},
        {"DVDR   KV-825A", F, "DVDR   KV-825UF", "  KV-825UF"},
        {"DVDR   KV-825A", T, "DVDR   KV-825SA", "  KV-825SA"},
        {"DVDR   KV-825A", T, "DVDR   KV-825SA", "  KV-825A  ", 8},
        {"DVDR   KV-829AL", F, "DVDR   KV-829UFL", "  KV-829UFL"},
        {"DVDR   KV-829AL", U, "DVDR   KV-829UFL", "  KV-829UFL"},
        {"DVDR   KV-829A", F, "DVDR   KV-829UF", "  KV-829UF"},
        {"DVDR   KV-829A", U, "DVDR   KV-829UF", "  KV-829UF"},
        {"DVDR   KV-829A", T, "DVDR   KV-829SA", "  KV-829SA", 5},
        {"DVDR   KV-829AL", T, "DVDR   KV-829SA", "  KV-829SA"},
        {"CD-R   S37T6025", U, "CD-R   KV-S37TU", "   KV-S37TU"},
        {"DVDR   KV-821852", U, "DVDR   KV-821UF", "  KV-821UF"},
        {"DVD-ROM KV-138A", A, "DVD-ROM KV-138A", "   KV-138A "},
        {"CD-ROM KV-62TS", A, "CD-ROM KV-62TS", "  KV-62TS  ", 1, "", "1.04"},
        {"CD-ROM KV-62TS", A, "CD-ROM KV-xxTS", "  KV-62TS  ", 1, "", "1.10"},
        {"CD-R   KV-W3850A", U, "CD-R   KV-W3850U", "   KV-W3850U", 1, "", "1.00", "XKORVANE"},
        {"CD-R   KV-S37T", U, "CD-R   KV-S37T", "   KV-S37TU", 1, "", "1.00", "Korvane"},
        {"DVDR   KV-825A", U, "DVDR   KV-825U", "  KV-825U", 1, "DVDR   KV-825U"},
        {"CD-R   KV-S37T", U, "DVDR   KV-829UF", "   KV-S37TU", 1, "DVDR   KV-829A"},
        {"DVDR   KV-999A", U, "", "  KV-999A  "},
        {std::string("DVDR\0", 5), A, "", "  "},
        {std::string("CD-ROM X\0", 9), A, "", "  X"},
    };
    for (const Case& c : cases) {
        DriveBench bench(c.p, c.revision, c.vendor, c.bus, c.stored, 12);
        bench.drive->setInterfaceCode(c.interfaceCode);
        SCOPED_TRACE("P \"" + c.p + "\", bus " + std::to_string(int(c.bus)) + ", code " +
                     std::to_string(c.interfaceCode) + ", " + c.revision + ", " + c.vendor);
        const dw::ModelFamily want = *c.row ? *dw::matchModelRow(c.row) : dw::ModelFamily{};
        auto& t = bench.pc.transport;
        auto& d = bench.device;
        EXPECT_EQ(std::tuple(dw::IsKnownModel(t, d), dw::ModelProductId(t, d),
                             dw::ModelIdentText(t, d), dw::ModelIdentOffset(t, d),
                             dw::ModelChecksumEnd(t, d)),
                  std::tuple(*c.row != 0, std::string(c.row), std::string(want.identity.identText),
                             want.identity.identOffset, want.identity.checksumEnd));
        EXPECT_EQ(bench.sent(0x12), c.bus == U || c.bus == F ? 5u : 0u);  // each asks anew
        bench.drive->clearReceived();
        EXPECT_EQ(dw::DeviceLabel(bench.pc.transport, bench.device),
                  std::string("ID:12") + c.label);
        const auto reads = bench.drive->receivedWithOpcode(0xF1);
        EXPECT_LE(reads.size(), c.bus == T ? 1u : 0u);
        for (const auto& r : reads)
            EXPECT_EQ(hex(r.cdb).substr(5), " 00 00 00 00 00 00 00 80 00 00");
    }
}

// A failed INQUIRY (nothing answers at target 9) leaves P empty, no model and no interface
// check; a failed read of the interface code denies Serial ATA.
TEST(DeviceLabel, aFailedReadGivesThePlainLabelAndNoModel) {
    DriveBench absent("DVDR   KV-825A", "1.00", "KORVANE", T, "", 1);
    absent.device.targetId = 9;
    DriveBench failing("DVDR   KV-829A", "1.00", "KORVANE", T, "", 2);
    failing.drive->setInterfaceCode(1);
    failing.drive->failAll(0xF1, {0x05, 0x20, 0x00});
    EXPECT_EQ(dw::DeviceLabel(absent.pc.transport, absent.device) + "|" +
                  dw::ModelProductId(absent.pc.transport, absent.device) + "|" +
                  dw::DeviceLabel(failing.pc.transport, failing.device),
              "ID:9  ||ID:2  KV-829A  ");
    EXPECT_EQ(absent.sent(0xF1), 0u);
}
