// Identification: the bus-kind rewrites of the stored product id, the table search, and the
// queries, each with its own INQUIRY.
#include <cstring>

#include "identify/identify_model.h"
#include "identify_bench.h"

using namespace testing_support;
using dw::BusKind;

namespace {

struct Case {
    const char* stored;  // the stored (and reported) product id, blank-padded to 16
    BusKind bus;
    const char* row;  // the row name chosen, "" for none
    const char* revision = "1.00";
    const char* vendor = "KORVANE";
};

void expectRows(std::initializer_list<Case> cases) {
    for (const Case& c : cases) {
        DriveBench bench(c.stored, c.revision, c.vendor, c.bus);
        const std::string what = shown(c.stored) + " on bus " + std::to_string(int(c.bus)) +
                                 ", revision " + c.revision + ", vendor " + c.vendor;
        dw::ModelFamily row;
        const bool known = dw::IdentifyModel(bench.pc.transport, bench.device, row);
        EXPECT_EQ(shown(row.productId), shown(c.row)) << what;
        EXPECT_EQ(known, c.row[0] != '\0') << what;
        if (!known) continue;
        // The answer is a copy of the table's row, identity included.
        const dw::ModelFamily* table = dw::matchModelRow(c.row);
        ASSERT_NE(table, nullptr) << what;
        EXPECT_EQ(std::strcmp(row.productId, table->productId), 0) << what;
        EXPECT_EQ(row.identity.identOffset, table->identity.identOffset) << what;
        EXPECT_EQ(row.identity.checksumEnd, table->identity.checksumEnd) << what;
        EXPECT_STREQ(row.identity.identText, table->identity.identText) << what;
    }
}

}  // namespace

TEST(IdentifyModel, eachAttachmentOfAModelIsItsOwnRow) {
    expectRows({
        {"CD-ROM KV-62TS", BusKind::Atapi, "CD-ROM KV-62TS", "1.04"},
        {"CD-ROM KV-62TS", BusKind::Atapi, "CD-ROM KV-xxTS", "1.10"},   // rule 1
        {"CD-ROM KV-62TS", BusKind::Usb, "CD-ROM KV-xxTS", "1.10"},     // rule 1, any bus
        {"CD-ROM KV-62TSX", BusKind::Atapi, "CD-ROM KV-62TS", "1.10"},  // rule 1: the whole id
        {"CD-R   KV-S37T", BusKind::Usb, "CD-R   KV-S37TU"},            // rule 2
        {"CD-R   KV-S37T", BusKind::Scsi, "CD-R   KV-S37T"},
        {"CD-R   KV-W3850A", BusKind::Usb, "CD-R   KV-W3850U"},  // rule 3
        {"CD-R   KV-W3850A", BusKind::Atapi, "CD-R   KV-W3850A"},
        {"CD-R   KV-S3850T", BusKind::Usb, "CD-R   KV-S3850TU"},  // rule 4, a 17-character row
        {"CD-R   KV-S3850T", BusKind::Atapi, ""},
        {"CD-R   KV-W6025A", BusKind::Usb, "CD-R   KV-W6025U"},  // rule 5
        {"CD-R   KV-W6025S", BusKind::Usb, "CD-R   KV-W6025U"},  // rule 5 takes the S too
        {"CD-R   KV-W6025S", BusKind::Scsi, "CD-R   KV-W6025S"},
        {"CD-R   KV-W5936A", BusKind::Usb, "CD-R   KV-W5936U"},  // rule 6
        {"CD-R   KV-309T", BusKind::Usb, "CD-R   KV-309U"},      // rule 7
        {"CD-R   KV-309", BusKind::Usb, ""},                     // rule 7 wants "309T"
        {"CD-R   SUPERBA", BusKind::Usb, "CD-R   SUPERBA-U"},    // rule 8
        {"CD-R   SUPERBA", BusKind::Atapi, "CD-R   SUPERBA"},
        {"DVDR   KV-630A", BusKind::Usb, "DVDR   KV-630UF"},       // rule 9
        {"DVDR   KV-630A", BusKind::Ieee1394, "DVDR   KV-630UF"},  // rule 9
        {"DVDR   KV-630A", BusKind::Scsi, "DVDR   KV-630A"},
        {"DVDR   KV-852A", BusKind::Usb, "DVDR   KV-852UF"},       // rule 11
        {"DVDR   KV-852A", BusKind::Ieee1394, "DVDR   KV-852UF"},  // rule 11
        {"DVDR   KV-852A", BusKind::Atapi, "DVDR   KV-852A"},
        {"DVDR   KV-825A", BusKind::Usb, "DVDR   KV-825UF"},        // rule 12a, not probed USB
        {"DVDR   KV-825U", BusKind::Usb, "DVDR   KV-825U"},         // rule 12a, probed USB
        {"DVDR   KV-825A", BusKind::Ieee1394, "DVDR   KV-825UF"},   // rule 12b
        {"DVDR   KV-825A", BusKind::SerialAta, "DVDR   KV-825SA"},  // rule 12c
        {"DVDR   KV-825A", BusKind::Atapi, "DVDR   KV-825A"},
        {"*Program Mode1*", BusKind::Atapi, "*Program Mode1*"},
        {"DVD-ROM KV-138A", BusKind::Atapi, "DVD-ROM KV-138A"},
        {"DVD-ROM KV-138A2", BusKind::Atapi, "DVD-ROM KV-138A2"},
        {"DVDR   KV-999A", BusKind::Atapi, ""},
        {"", BusKind::Atapi, ""},
        {"dvdr   kv-829a", BusKind::Atapi, ""},  // rows are compared case-sensitively
    });
}

TEST(IdentifyModel, withinAChainOnlyTheFirstRuleThatAppliesIsUsed) {
    expectRows({
        {"DVDR   KV-821A2", BusKind::Usb, "DVDR   KV-821UF2"},       // 10a keeps the 2
        {"DVDR   KV-821A2", BusKind::Ieee1394, "DVDR   KV-821UF2"},  // 10b keeps the 2
        {"DVDR   KV-821A", BusKind::Usb, "DVDR   KV-821UF"},         // 10c
        {"DVDR   KV-821A", BusKind::Ieee1394, "DVDR   KV-821UF"},    // 10d
        {"DVDR   KV-821A2", BusKind::Atapi, "DVDR   KV-821A2"},      // not row 47
        {"DVDR   KV-821A", BusKind::Atapi, "DVDR   KV-821A"},
        {"DVDR   KV-829AL", BusKind::Ieee1394, "DVDR   KV-829UFL"},  // 13a keeps the L
        {"DVDR   KV-829AL", BusKind::Usb, "DVDR   KV-829UFL"},       // 13b keeps the L
        {"DVDR   KV-829A", BusKind::Ieee1394, "DVDR   KV-829UF"},    // 13c
        {"DVDR   KV-829A", BusKind::Usb, "DVDR   KV-829UF"},         // 13d
        {"DVDR   KV-829A", BusKind::SerialAta, "DVDR   KV-829SA"},   // 13e
        {"DVDR   KV-829AL", BusKind::SerialAta, "DVDR   KV-829SA"},  // 13e
        {"DVDR   KV-829A", BusKind::Atapi, "DVDR   KV-829A"},
        {"DVDR   KV-829AL", BusKind::Atapi, "DVDR   KV-829AL"},  // not row 57
    });
}

TEST(IdentifyModel, eachLaterRuleTestsTheIdTheEarlierOnesLeft) {
    expectRows({
        // Rule 2 writes "CD-R   KV-S37TU", in which rule 5 no longer finds "6025".
        {"CD-R   S37T6025", BusKind::Usb, "CD-R   KV-S37TU"},
        // Rule 10c writes "DVDR   KV-821UF", in which rule 11 no longer finds "852".
        {"DVDR   KV-821852", BusKind::Usb, "DVDR   KV-821UF"},
    });
}

TEST(IdentifyModel, otherVendorsAreIdentifiedByTheTableAlone) {
    expectRows({
        {"DVDR   KV-829A", BusKind::Usb, "DVDR   KV-829A", "1.00", "OTHERCO"},
        {"CD-R   KV-S37T", BusKind::Usb, "CD-R   KV-S37T", "1.00", "OTHERCO"},
        {"CD-ROM KV-62TS", BusKind::Atapi, "CD-ROM KV-62TS", "1.10", "OTHERCO"},
        {"DVDR   XY-1", BusKind::Atapi, "", "1.00", "OTHERCO"},
        {"DVDR   KV-829A", BusKind::Usb, "DVDR   KV-829UF", "1.00", "XKORVANE"},  // a substring
        {"DVDR   KV-829A", BusKind::Usb, "DVDR   KV-829A", "1.00", "Korvane"},    // case-sensitive
    });
}

TEST(IdentifyModel, theFreshVendorAndTheStoredProductDecide) {
    // The record says KORVANE, the drive now says otherwise: no rewrite.
    DriveBench other("DVDR   KV-829A", "1.00", "OTHERCO", BusKind::Usb);
    storePadded(other.device.vendor, dw::kVendorLength, "KORVANE");
    EXPECT_EQ(dw::ModelProductId(other.pc.transport, other.device), "DVDR   KV-829A");

    // The drive reports a model the table lacks; the stored product id is the one searched.
    DriveBench stored("XYZZY", "1.00", "KORVANE", BusKind::Usb, "DVDR   KV-829A");
    EXPECT_EQ(dw::ModelProductId(stored.pc.transport, stored.device), "DVDR   KV-829UF");

    // And the other way round: a known model reported, an unknown one stored.
    DriveBench unknown("DVDR   KV-829A", "1.00", "KORVANE", BusKind::Atapi, "XYZZY");
    EXPECT_FALSE(dw::IsKnownModel(unknown.pc.transport, unknown.device));
}

TEST(IdentifyModel, aFailedInquiryOrNoMatchingRowLeavesTheRowEmpty) {
    DriveBench failing("DVDR   KV-829A", "1.00", "KORVANE", BusKind::Atapi);
    failing.device.targetId = 5;  // nothing answers there, though the stored product is a row
    DriveBench unmatched("DVDR   KV-999A", "1.00", "KORVANE", BusKind::Atapi);
    for (DriveBench* bench : {&failing, &unmatched}) {
        auto& t = bench->pc.transport;
        dw::ModelFamily row = dw::ModelTable[57];
        EXPECT_FALSE(dw::IdentifyModel(t, bench->device, row));
        EXPECT_EQ(row.productId[0], '\0');
        EXPECT_EQ(row.identity.identText[0], '\0');
        EXPECT_EQ(row.identity.identOffset, 0u);
        EXPECT_EQ(row.identity.checksumEnd, 0u);

        EXPECT_FALSE(dw::IsKnownModel(t, bench->device));
        EXPECT_EQ(dw::ModelProductId(t, bench->device), "");
        EXPECT_EQ(dw::ModelIdentText(t, bench->device), "");
        EXPECT_EQ(dw::ModelIdentOffset(t, bench->device), 0u);
        EXPECT_EQ(dw::ModelChecksumEnd(t, bench->device), 0u);
    }
}

TEST(IdentifyModel, everyQuerySendsItsOwnInquiryAndSeesTheDriveAsItIsNow) {
    DriveBench bench("DVDR   KV-829A", "1.00", "KORVANE", BusKind::Usb);  // USB: INQUIRY by letter
    auto& t = bench.pc.transport;
    EXPECT_TRUE(dw::IsKnownModel(t, bench.device));
    EXPECT_EQ(dw::ModelProductId(t, bench.device), "DVDR   KV-829UF");
    EXPECT_EQ(dw::ModelIdentText(t, bench.device), "KORVANE LUTE    000");
    EXPECT_EQ(dw::ModelIdentOffset(t, bench.device), 0x30u);
    EXPECT_EQ(dw::ModelChecksumEnd(t, bench.device), 0xEFFFEu);
    EXPECT_EQ(bench.sent(0x12), 5u);

    bench.drive->setVendor("OTHERCO");
    EXPECT_EQ(dw::ModelProductId(t, bench.device), "DVDR   KV-829A");
    EXPECT_EQ(bench.sent(0x12), 6u);
}

TEST(IdentifyModel, worksOverAspiToo) {
    AspiPc pc;
    pc.machine.aspi().adapters.resize(1);
    auto& drive = pc.machine.addDrive("DVDR   KV-825A", "1.00");
    pc.machine.aspi().attach(drive, 0, 2);
    dw::DeviceEntry device = AspiPc::entry(0, 2);
    device.busKind = BusKind::Ieee1394;
    storePadded(device.product, dw::kProductLength, "DVDR   KV-825A");
    EXPECT_EQ(dw::ModelProductId(pc.transport, device), "DVDR   KV-825UF");
    EXPECT_EQ(dw::ModelIdentText(pc.transport, device), "KORVANE CORVIN  000");
    EXPECT_EQ(drive.receivedWithOpcode(0x12).size(), 2u);
}
