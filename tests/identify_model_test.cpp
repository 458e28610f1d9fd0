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

// Each rule rewrites the id the rules before it left ("S37T6025", "KV-821852"); within the 821
// and 829 chains only the first rule that applies is used. The whole id must be the 62TS for
// the revision rule, and a row matches only a working id it begins.
TEST(IdentifyModel, theRowIsTheFirstThatBeginsTheStoredIdAsTheBusRulesRewriteIt) {
    const Case korvane[] = {
        {"CD-R   KV-S37T", U, "CD-R   KV-S37TU"},     {"CD-R   KV-S37T", S, "CD-R   KV-S37T"},
        {"CD-R   KV-W3850A", U, "CD-R   KV-W3850U"},  {"CD-R   KV-W3850A", A, "CD-R   KV-W3850A"},
        {"CD-R   KV-S3850T", U, "CD-R   KV-S3850TU"}, {"CD-R   KV-W6025A", U, "CD-R   KV-W6025U"},
        {"CD-R   KV-W6025S", U, "CD-R   KV-W6025U"},  {"CD-R   KV-W6025S", S, "CD-R   KV-W6025S"},
        {"CD-R   KV-W5936A", U, "CD-R   KV-W5936U"},  {"CD-R   KV-309T", U, "CD-R   KV-309U"},
        {"CD-R   SUPERBA", U, "CD-R   SUPERBA-U"},    {"CD-R   SUPERBA", A, "CD-R   SUPERBA"},
        {"DVDR   KV-630A", U, "DVDR   KV-630UF"},     {"DVDR   KV-630A", F, "DVDR   KV-630UF"},
        {"DVDR   KV-630A", S, "DVDR   KV-630A"},      {"DVDR   KV-852A", U, "DVDR   KV-852UF"},
        {"DVDR   KV-852A", F, "DVDR   KV-852UF"},     {"DVDR   KV-852A", A, "DVDR   KV-852A"},
        {"DVDR   KV-821A2", U, "DVDR   KV-821UF2"},   {"DVDR   KV-821A2", F, "DVDR   KV-821UF2"},
        {"DVDR   KV-821A", U, "DVDR   KV-821UF"},     {"DVDR   KV-821A", F, "DVDR   KV-821UF"},
        {"DVDR   KV-821A2", A, "DVDR   KV-821A2"},    {"DVDR   KV-821A", A, "DVDR   KV-821A"},
        {"DVDR   KV-825A", U, "DVDR   KV-825UF"},     {"DVDR   KV-825U", U, "DVDR   KV-825U"},
        {"DVDR   KV-825A", F, "DVDR   KV-825UF"},     {"DVDR   KV-825A", T, "DVDR   KV-825SA"},
        {"DVDR   KV-825A", A, "DVDR   KV-825A"},      {"DVDR   KV-829AL", F, "DVDR   KV-829UFL"},
        {"DVDR   KV-829AL", U, "DVDR   KV-829UFL"},   {"DVDR   KV-829A", F, "DVDR   KV-829UF"},
        {"DVDR   KV-829A", U, "DVDR   KV-829UF"},     {"DVDR   KV-829A", T, "DVDR   KV-829SA"},
        {"DVDR   KV-829AL", T, "DVDR   KV-829SA"},    {"DVDR   KV-829A", A, "DVDR   KV-829A"},
        {"DVDR   KV-829AL", A, "DVDR   KV-829AL"},    {"CD-R   S37T6025", U, "CD-R   KV-S37TU"},
        {"DVDR   KV-821852", U, "DVDR   KV-821UF"},   {"*Program Mode1*", A, "*Program Mode1*"},
        {"DVD-ROM KV-138A", A, "DVD-ROM KV-138A"},    {"DVD-ROM KV-138A2", A, "DVD-ROM KV-138A2"},
    };
    for (const Case& c : korvane) expectRow(c);
    // Revision rule, and other vendors: the table alone, the vendor compared case-sensitively.
    const Case others[] = {
        {"CD-ROM KV-62TS", A, "CD-ROM KV-62TS", "1.04"},
        {"CD-ROM KV-62TS", A, "CD-ROM KV-xxTS", "1.10"},
        {"CD-ROM KV-62TSX", A, "CD-ROM KV-62TS", "1.10"},
        {"CD-ROM KV-62TS", A, "CD-ROM KV-62TS", "1.10", "OTHERCO"},
        {"CD-R   KV-S37T", U, "CD-R   KV-S37T", "1.00", "OTHERCO"},
        {"DVDR   KV-829A", U, "DVDR   KV-829UF", "1.00", "XKORVANE"},
        {"DVDR   KV-829A", U, "DVDR   KV-829A", "1.00", "Korvane"},
        {"CD-R   KV-309", U, ""},
    };
    for (const Case& c : others) expectRow(c);
    for (const char* id :
         {"CD-R   KV-S3850T", "DVDR   KV-999A", "DVDR   KV-829", "dvdr   kv-829a", ""})
        expectRow({id, A, ""});
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
