// Identification: the bus rewrites of the stored product id, the table search, and the queries,
// each with its own INQUIRY.
#include "identify/identify_model.h"
#include "identify_bench.h"
#include "reference_images.h"

using namespace testing_support;
using namespace testing_support::buses;

namespace {

struct Case {
    const char* stored;  // the stored (and reported) product id, blank-padded to 16
    dw::BusKind bus;
    const char* row;  // "" for none
    const char* revision = "1.00";
    const char* vendor = "KORVANE";
};

// The row found is a copy of the documented row; "none" leaves an empty row.
void expectRow(const Case& c) {
    DriveBench bench(c.stored, c.revision, c.vendor, c.bus);
    dw::ModelFamily row = dw::ModelTable[57];  // what an earlier call left: replaced
    EXPECT_EQ(dw::IdentifyModel(bench.pc.transport, bench.device, row), *c.row != 0) << c.stored;
    const GoldenRow want = *c.row ? goldenRow(c.row) : GoldenRow{};
    EXPECT_EQ(std::tuple(std::string(row.productId), row.identity.identOffset,
                         row.identity.checksumEnd, std::string(row.identity.identText)),
              std::tuple(want.name, want.identOffset, want.checksumEnd, want.identText))
        << c.stored << " on bus " << int(c.bus) << ", revision " << c.revision << ", vendor "
        << c.vendor;
}

}  // namespace

// Each rule sees the id the rules before it left ("S37T6025", "KV-821852"); within the 821 and
// 829 chains only the first rule that applies is used. Only a whole "CD-ROM KV-62TS" with a
// revision whose third character is not "0" is the xxTS. A row matches a working id it begins;
// the vendor's answer must contain "KORVANE", case-sensitively, for any rewrite.
TEST(IdentifyModel, theRowIsTheFirstThatBeginsTheStoredIdAsTheBusRulesRewriteIt) {
    const Case cases[] = {
        {"CD-R   KV-S37T", U, "CD-R   KV-S37TU"},  {"CD-R   KV-W3850A", U, "CD-R   KV-W3850U"},
        {"CD-R   KV-S37T", S, "CD-R   KV-S37T"},   {"CD-R   KV-S3850T", U, "CD-R   KV-S3850TU"},
        {"CD-R   KV-309T", U, "CD-R   KV-309U"},   {"CD-R   KV-S3850T", A, ""},
        {"CD-R   SUPERBA", U, "CD-R   SUPERBA-U"}, {"CD-R   KV-W6025A", U, "CD-R   KV-W6025U"},
        {"CD-R   SUPERBA", A, "CD-R   SUPERBA"},   {"CD-R   KV-W6025S", U, "CD-R   KV-W6025U"},
        {"DVDR   KV-630A", U, "DVDR   KV-630UF"},  {"CD-R   KV-W6025S", S, "CD-R   KV-W6025S"},
        {"DVDR   KV-630A", F, "DVDR   KV-630UF"},  {"CD-R   KV-W5936A", U, "CD-R   KV-W5936U"},
        {"DVDR   KV-630A", S, "DVDR   KV-630A"},   {"CD-R   KV-309", U, ""},
        {"DVDR   KV-852A", U, "DVDR   KV-852UF"},  {"DVDR   KV-821A2", U, "DVDR   KV-821UF2"},
        {"DVDR   KV-852A", F, "DVDR   KV-852UF"},  {"DVDR   KV-821A2", F, "DVDR   KV-821UF2"},
        {"DVDR   KV-821A", U, "DVDR   KV-821UF"},  {"DVDR   KV-829AL", F, "DVDR   KV-829UFL"},
        {"DVDR   KV-821A", F, "DVDR   KV-821UF"},  {"DVDR   KV-829AL", U, "DVDR   KV-829UFL"},
        {"DVDR   KV-821A2", A, "DVDR   KV-821A2"}, {"DVDR   KV-821852", U, "DVDR   KV-821UF"},
        {"DVDR   KV-825A", U, "DVDR   KV-825UF"},  {"DVD-ROM KV-138A2", A, "DVD-ROM KV-138A2"},
        {"DVDR   KV-825U", U, "DVDR   KV-825U"},   {"CD-ROM KV-62TS", A, "CD-ROM KV-62TS", "1.04"},
        {"DVDR   KV-825A", F, "DVDR   KV-825UF"},  {"CD-ROM KV-62TS", A, "CD-ROM KV-xxTS", "1.10"},
        {"DVDR   KV-825A", T, "DVDR   KV-825SA"},  {"CD-ROM KV-62TSX", A, "CD-ROM KV-62TS", "1.10"},
        {"DVDR   KV-825A", A, "DVDR   KV-825A"},   {"DVDR   KV-999A", A, ""},
        {"DVDR   KV-829A", F, "DVDR   KV-829UF"},  {"DVDR   KV-829", A, ""},
        {"DVDR   KV-829A", U, "DVDR   KV-829UF"},  {"dvdr   kv-829a", A, ""},
        {"DVDR   KV-829A", T, "DVDR   KV-829SA"},  {"", A, ""},
        {"DVDR   KV-829AL", T, "DVDR   KV-829SA"}, {"DVDR   KV-829AL", A, "DVDR   KV-829AL"},
        {"CD-R   S37T6025", U, "CD-R   KV-S37TU"}, {"*Program Mode1*", A, "*Program Mode1*"},
        {"DVD-ROM KV-138A", A, "DVD-ROM KV-138A"},

    };
    for (const Case& c : cases) expectRow(c);
    expectRow({"CD-ROM KV-62TS", A, "CD-ROM KV-62TS", "1.10", "OTHERCO"});
    expectRow({"CD-R   KV-W3850A", U, "CD-R   KV-W3850U", "1.00", "XKORVANE"});
    expectRow({"CD-R   KV-S37T", U, "CD-R   KV-S37T", "1.00", "Korvane"});
}

TEST(IdentifyModel, everyQueryAsksTheDriveAnewAndAnUnansweredOneIsEmpty) {
    DriveBench bench("DVDR   KV-829A", "1.00", "KORVANE", U);  // USB: INQUIRY through E:
    const auto queries = [&t = bench.pc.transport](dw::DeviceEntry& d) {
        return std::tuple(dw::IsKnownModel(t, d), dw::ModelProductId(t, d),
                          dw::ModelIdentText(t, d), dw::ModelIdentOffset(t, d),
                          dw::ModelChecksumEnd(t, d));
    };
    const GoldenRow& row = goldenRow("DVDR   KV-829UF");
    EXPECT_EQ(queries(bench.device),
              std::tuple(true, row.name, row.identText, row.identOffset, row.checksumEnd));
    EXPECT_EQ(bench.sent(0x12), 5u);
    bench.drive->setVendor("OTHERCO");  // the fresh vendor decides, though the record says KORVANE
    EXPECT_EQ(dw::ModelProductId(bench.pc.transport, bench.device), "DVDR   KV-829A");
    bench.drive->stopAnsweringAfter(0);  // no answer, though the stored product is a row
    EXPECT_EQ(queries(bench.device), std::tuple(false, "", "", 0u, 0u));
    // The stored product id is the one searched, not the one the drive reports now.
    DriveBench stored("XYZZY", "1.00", "KORVANE", U, "DVDR   KV-829A");
    EXPECT_EQ(dw::ModelProductId(stored.pc.transport, stored.device), "DVDR   KV-829UF");
}
