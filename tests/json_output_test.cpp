// JSON for scripts: the string escaper against a table of awkward bytes, and the documents'
// shape (what a failed command adds, what a list and a failed chunk tell).
#include <gtest/gtest.h>

#include <sstream>

#include "cli/command_line.h"
#include "cli/json_report.h"
#include "cli/json_writer.h"
#include "cli/sha256.h"

namespace {

using dw::cli::jsonString;

struct Escape {
    std::string in;
    std::string out;
};

const Escape kEscapes[] = {
    {"", R"("")"},
    {"KV-829A", R"("KV-829A")"},
    {"say \"yes\"", R"("say \"yes\"")"},
    {"C:\\fw\\a.bin", R"("C:\\fw\\a.bin")"},
    {"a\nb\rc\td\be\ff", R"("a\nb\rc\td\be\ff")"},
    {std::string("\0\x01\x1f\x7f", 4), R"("\u0000\u0001\u001f\u007f")"},
    {"/", R"("/")"},
    // Valid UTF-8 stands; a byte that is not part of a sequence is written as its value.
    {"jos\xc3\xa9", "\"jos\xc3\xa9\""},
    {"\xe2\x82\xac \xf0\x9f\x92\xbf", "\"\xe2\x82\xac \xf0\x9f\x92\xbf\""},
    {"ID\xe9", R"("ID\u00e9")"},
    {"\xff\xfe", R"("\u00ff\u00fe")"},
    {"\xc3", R"("\u00c3")"},                      // a sequence cut at the end
    {"\xc3(", R"("\u00c3(")"},                    // ... or by a byte that does not continue it
    {"\xc0\xaf", R"("\u00c0\u00af")"},            // an overlong '/'
    {"\xed\xa0\x80", R"("\u00ed\u00a0\u0080")"},  // a surrogate
    {"\xf4\x90\x80\x80", R"("\u00f4\u0090\u0080\u0080")"},  // above U+10FFFF
};

TEST(JsonString, escapesEveryAwkwardByte) {
    for (const Escape& e : kEscapes) EXPECT_EQ(jsonString(e.in), e.out) << e.out;
}

TEST(JsonString, givesValidUtf8ForEveryByte) {
    std::string all;
    for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
    const std::string out = jsonString(all);
    for (unsigned char c : out) EXPECT_TRUE(c >= 0x20 && c < 0x7F) << int(c);
}

TEST(JsonObject, writesMembersInOrder) {
    dw::cli::JsonArray sizes;
    sizes.add(int64_t{131072}).add(int64_t{262144});
    dw::cli::JsonObject object;
    object.set("a", "x").set("n", 3).set("b", false).setNull("z").set("sizes", sizes);
    object.setFixed("seconds", 3.1474);
    EXPECT_EQ(object.text(),
              R"({"a":"x","n":3,"b":false,"z":null,"sizes":[131072,262144],"seconds":3.147})");
}

TEST(JsonReport, aFailureAddsTheErrorWithTheDialogsText) {
    dw::cli::JsonReport report(dw::cli::Command::Check);
    report.outcome = "invalid";
    report.text = "Not a valid upgrade file";
    EXPECT_EQ(report.document(1, {"drivewright: something said before"}),
              R"({"command":"check","exit_code":1,"outcome":"invalid",)"
              R"("text":"Not a valid upgrade file","reason":null,"refusal":null,"file":null,)"
              R"("drive":null,)"
              R"("error":{"exit_code":1,"message":"Not a valid upgrade file"}})"
              "\n");
}

TEST(JsonReport, anUpgradeEndedBeforeItBeganNamesWhatItSaidNotTheCheck) {
    dw::cli::JsonReport report(dw::cli::Command::Upgrade);
    report.outcome = "not_started";
    report.text = "Valid upgrade file loaded: a.bin";
    const std::string document =
        report.document(6, {"The drive already runs 1.10; nothing was sent.",
                            "drivewright: the file's version 1.10 is the one the drive runs"});
    EXPECT_NE(document.find(R"("error":{"exit_code":6,"message":"the file's version 1.10 is )"),
              std::string::npos)
        << document;
}

TEST(JsonReport, anErrorWithoutTheDialogNamesTheLastLineSaid) {
    dw::cli::JsonReport report(dw::cli::Command::List);
    EXPECT_EQ(report.document(3, {"drivewright: /dev/sg0 is in use by another program"}),
              R"({"command":"list","exit_code":3,"drives":[],)"
              R"("error":{"exit_code":3,"message":"/dev/sg0 is in use by another program"}})"
              "\n");
    EXPECT_EQ(dw::cli::usageErrorDocument("unknown option -x"),
              R"({"command":null,"exit_code":2,"error":{"exit_code":2,)"
              R"("message":"unknown option -x"}})"
              "\n");
}

TEST(JsonReport, aFailedChunkTellsWhereAndWhy) {
    dw::cli::JsonReport report(dw::cli::Command::Upgrade);
    dw::cli::UpgradeFacts upgrade;
    upgrade.chunksSent = 10;
    upgrade.chunksTotal = 126;
    upgrade.milliseconds = 1500;
    upgrade.versionBefore = upgrade.versionAfter = "1.00";
    dw::cli::StopFacts stop;
    stop.reason = "drive_refused";
    stop.chunk = 10;
    stop.scsiStatus = 2;
    const uint8_t sense[14] = {0x70, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x24, 0x00};
    dw::cli::readSense(sense, stop);
    upgrade.stop = stop;
    report.upgrade = upgrade;
    const std::string document = report.document(1, {});
    EXPECT_NE(document.find(
                  R"("upgrade":{"committed":false,"chunks_sent":10,"chunks_total":126,)"
                  R"("stopped":{"reason":"drive_refused","chunk":10,"committing":false,)"
                  R"("scsi_status":2,"sense_key":5,"asc":36,"ascq":0},)"
                  R"("version_before":"1.00","version_after":"1.00","version_matches":null,)"
                  R"("seconds":1.500})"),
              std::string::npos)
        << document;
}

TEST(JsonReport, aRefusedFileCarriesItsNumbers) {
    using Kind = dw::FileRefusal::Kind;
    const auto refusal = [](Kind kind, auto fill) {
        dw::FileRefusal why;
        why.kind = kind;
        fill(why);
        return why;
    };
    const struct {
        dw::FileRefusal why;
        const char* json;
    } cases[] = {
        {refusal(Kind::Size, [](auto& w) { w.row = "KV-829A", w.size = 1000, w.sizes = {131072}; }),
         R"({"kind":"size","model_row":"KV-829A","size":1000,"sizes":[131072]})"},
        {refusal(Kind::Ident,
                 [](auto& w) { w.at = 0x1F0, w.expected = "KV829", w.found = "KV62T"; }),
         R"({"kind":"ident","model_row":null,"at":496,"expected":"KV829","found":"KV62T"})"},
        {refusal(Kind::Checksum,
                 [](auto& w) { w.at = 131070, w.stored = 0x1234, w.computed = 0xBEEF; }),
         R"({"kind":"checksum","model_row":null,"at":131070,"stored":4660,"computed":48879})"},
        {refusal(Kind::CannotRead, [](auto& w) { w.error = 5, w.size = 262144, w.at = 32768; }),
         R"({"kind":"cannot_read","model_row":null,"size":262144,"at":32768,"errno":5})"},
        {refusal(Kind::Downgrade, [](auto& w) { w.fileVersion = "1.01", w.driveVersion = "1.02"; }),
         R"({"kind":"downgrade","model_row":null,"file_version":"1.01","drive_version":"1.02"})"},
        {refusal(Kind::CannotOpen, [](auto& w) { w.error = 2; }),
         R"({"kind":"cannot_open","model_row":null,"errno":2})"},
        {refusal(Kind::NoUpgradeFiles, [](auto& w) { w.row = "KV-24"; }),
         R"({"kind":"no_upgrade_files","model_row":"KV-24"})"},
        {refusal(Kind::DriveNotIdentified, [](auto&) {}),
         R"({"kind":"drive_not_identified","model_row":null})"},
        {refusal(Kind::PathLength, [](auto& w) { w.size = 300; }),
         R"({"kind":"path_length","model_row":null,"length":300})"},
    };
    for (const auto& c : cases) EXPECT_EQ(dw::cli::refusalObject(c.why).text(), c.json);
}

TEST(JsonReport, readsDescriptorSense) {
    dw::cli::StopFacts stop;
    const uint8_t sense[14] = {0x72, 0x03, 0x0C, 0x00};
    dw::cli::readSense(sense, stop);
    EXPECT_EQ(stop.senseKey, 3);
    EXPECT_EQ(stop.asc, 0x0C);
    EXPECT_EQ(stop.ascq, 0);
}

TEST(Sha256, isLibcryptosDigest) {
    EXPECT_EQ(dw::cli::sha256Hex("abc"),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // Read in pieces, no more than the length, and nothing where the stream is shorter.
    const std::string big(100000, 'x');
    std::istringstream in(big + "tail");
    EXPECT_EQ(dw::cli::sha256Hex(in, big.size()), dw::cli::sha256Hex(big));
    std::istringstream shorter("ab");
    EXPECT_EQ(dw::cli::sha256Hex(shorter, 3), "");
}

TEST(CommandLine, readsJson) {
    std::string error;
    const auto options = dw::cli::parseCommandLine({"list", "--json"}, error);
    ASSERT_TRUE(options);
    EXPECT_TRUE(options->json);
    EXPECT_TRUE(dw::cli::asksForJson({"--js", "-x"}));
    EXPECT_FALSE(dw::cli::asksForJson({"check", "--", "--json"}));
}

}  // namespace
