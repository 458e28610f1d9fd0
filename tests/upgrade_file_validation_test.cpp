// Upgrade files are accepted exactly when they fit the selected drive. The images are built
// from the documented rows and checksum rules (reference_images.h), not by the program.
#include "firmware/firmware_image.h"
#include "firmware_support.h"
#include "util/image_digest.h"

using namespace testing_support;

namespace {

// A bench whose drive identifies as the row, found by trying the attachments and revisions
// under which the row's drives report themselves.
std::unique_ptr<FirmwareBench> benchFor(const std::string& name) {
    for (int i = 0; i < 12; ++i) {  // each bus kind from ATAPI to IEEE 1394, revision 1.00 or 1.10
        auto b = std::make_unique<FirmwareBench>(name, i % 2 ? "1.10" : "1.00", dw::BusKind(i / 2));
        if (dw::ModelProductId(b->pc.transport, b->state.currentDevice) == name) return b;
    }
    throw std::invalid_argument("no drive identifies as " + name);
}

}  // namespace

TEST(UpgradeFileValidation, everyUpgradableRowAcceptsItsImagesOfEveryAllowedSize) {
    int rows = 0;
    for (const auto& r : goldenRows()) {
        const auto sizes = referenceSizes(r);
        EXPECT_EQ(dw::imageSizesFor(dw::ModelTable[r.index]), sizes) << r.name;
        EXPECT_EQ(sizes.empty(), r.identOffset == 0) << r.name;
        rows += !sizes.empty();
        for (uint32_t size : sizes) {
            auto bench = benchFor(r.name);
            const auto bytes = referenceImage({r.name, size});
            bench->write(bytes);
            EXPECT_TRUE(bench->validate()) << r.name << " " << size << ": " << bench->dialog.status;
            EXPECT_EQ(bench->dialog.status, "Valid upgrade file loaded: new.bin");
            const auto index = std::find(kAllImageSizes.begin(), kAllImageSizes.end(), size);
            EXPECT_EQ(bench->state.procedureIndex, index - kAllImageSizes.begin()) << r.name;
            EXPECT_EQ(bench->state.validatedFile.length, size) << r.name;
            EXPECT_EQ(bench->state.validatedFile.digest, dw::ImageDigest::of(bytes.data(), size));
        }
    }
    EXPECT_EQ(rows, 53);
}

// Refused with "Not a valid upgrade file" ("No valid upgrade file selected" without a file), the
// size's procedure index set (-1 for no procedure), one refresh, no file recorded as checked. A
// flipped bit is refused in every checked byte, and only there.
TEST(UpgradeFileValidation, aFileThatDoesNotFitTheDriveIsRefused) {
    const struct {
        const char* row;
        uint32_t size, kept, flip;  // size 0: no file; kept: the bytes left of it, 0: all
        Flaw flaw;
        int32_t index;
        bool accepted;
    } cases[] = {
        {"DVDR   KV-829A", 0xFB000, 0, 0, Flaw::Checksum, 4, false},
        {"DVDR   KV-829A", 0xFB000, 0, 0, Flaw::Identification, 4, false},
        {"DVDR   KV-829A", 0xFB000, 0, 0, Flaw::Size, -1, false},
        {"CD-R   SUPERBA", 0x80000, 0, 0, Flaw::Checksum, 2, false},  // rule C less 0x8000
        {"DVDR   KV-829A", 0xF0000, 0x40000, 0, Flaw::None, 1,
         false},  // a size of its own, too short
        {"DVDR   KV-829A", 0xF0000, 0xF0000 - 40, 0, Flaw::None, -1, false},
        {"*Program Mode1*", 0x20000, 0, 0, Flaw::None, 0,
         false},  // the summed range starts past its end
        {"CD-ROM KV-6XCH", 0x40000, 0, 0, Flaw::None, 1, false},  // a row without upgrade files
        {"DVDR   KV-829A", 0, 0, 0, Flaw::None, 0, false},
        // Rule C from 0x4100 to the checksum at 0x1FFFE, the identification at 0x41F4.
        {"CD-ROM KV-62TW", 0x20000, 0, 0x40FF, Flaw::None, 0, true},
        {"CD-ROM KV-62TW", 0x20000, 0, 0x4100, Flaw::None, 0, false},
        {"CD-ROM KV-62TW", 0x20000, 0, 0x41F7, Flaw::None, 0, false},
        // Rule B: from 0 to the checksum at 0xEFFFE, and from 0xF7000 on.
        {"DVDR   KV-825A", 0xFB000, 0, 0xEFFFF, Flaw::None, 4, false},
        {"DVDR   KV-825A", 0xFB000, 0, 0xF6FFF, Flaw::None, 4, true},
        {"DVDR   KV-825A", 0xFB000, 0, 0xF7000, Flaw::None, 4, false},
        // Rule A: from 16 to 0x7A000, the checksum at 0.
        {"CD-R   KV-343A", 0x80000, 0, 15, Flaw::None, 2, true},
        {"CD-R   KV-343A", 0x80000, 0, 16, Flaw::None, 2, false},
        {"CD-R   KV-343A", 0x80000, 0, 0x79FFF, Flaw::None, 2, false},
        {"CD-R   KV-343A", 0x80000, 0, 0x7A000, Flaw::None, 2, true},
    };
    for (const auto& c : cases) {
        auto bench = benchFor(c.row);
        if (c.size) {
            auto bytes = referenceImage({c.row, c.size, "1.10", c.flaw});
            bytes[c.flip] ^= c.flip ? 1 : 0;
            bench->write({bytes.begin(), bytes.begin() + (c.kept ? c.kept : bytes.size())});
        }
        bench->state.validatedFile.valid = true;  // an earlier file's
        const bool ok = c.accepted;
        EXPECT_EQ(bench->validate(), ok) << "case " << &c - cases;
        const char* refusal =
            c.size ? "Not a valid upgrade file" : "No valid upgrade file selected";
        EXPECT_EQ(bench->dialog.status, ok ? "Valid upgrade file loaded: new.bin" : refusal);
        EXPECT_EQ(bench->state.procedureIndex, c.index) << "case " << &c - cases;
        EXPECT_EQ(bench->state.validatedFile.valid, ok) << "case " << &c - cases;
        EXPECT_EQ(bench->dialog.refreshes, 1) << "case " << &c - cases;
    }
}

TEST(UpgradeFileValidation, the821FamilyRefusesADowngradeBelow102) {
    const std::string warning = std::string(28, ' ') + "*** WARNING ***\r\n" +
                                "Downgrading to a firmware version below V1.02 is not supported.";
    const struct {
        const char *drive, *file;
        bool inquiryFails, accepted;
    } cases[] = {
        {"1.04", "1.00", false, false},
        {"1.02", "1.01", false, false},  // the guard starts at drive version 1.02
        {"1.01", "1.00", false, true},
        {"1.04", "1.02", false, true},
        {"1.04", "1.00", true, true},    // a drive that does not answer is not guarded
        {"1.04", "1.x0", false, false},  // no digit: version number 0
    };
    for (const auto& c : cases) {
        FirmwareBench bench("DVDR   KV-821A", c.drive);
        bench.write(referenceImage({"DVDR   KV-821A", 0xFB000, c.file}));
        bench.pc.transport.letterInquiry[4] = 1;  // INQUIRY through the drive letter
        if (c.inquiryFails) bench.drive->failNth(0x12, 2, {0x04, 0x44, 0x00});  // the guard's
        EXPECT_EQ(bench.validate(), c.accepted) << c.drive << " " << c.file;
        EXPECT_EQ(bench.dialog.warnings, std::vector<std::string>(!c.accepted, warning));
    }
}

// A rule-C drive: with its checksum end lost, a file starting 00 00 would sum to its own
// stored value. Only the first INQUIRY identifies the drive; no later one is sent.
TEST(UpgradeFileValidation, aDriveThatStopsIdentifyingItselfGetsNoFileAccepted) {
    for (int i = 2; i < 8; ++i) {  // the INQUIRY that fails (i / 2, from 1), the file broken (odd)
        FirmwareBench bench("DVDR   KV-829A");
        bench.pc.transport.letterInquiry[4] = 1;  // INQUIRY reaches the drive
        auto bytes = referenceImage({"DVDR   KV-829A", 0xF0000});
        if (i % 2) bytes[0] = bytes[1] = bytes[2] = 0;
        bench.write(bytes);
        bench.drive->failNth(0x12, i / 2, {0x02, 0x04, 0x00});
        EXPECT_EQ(bench.validate(), i % 2 == 0 && i >= 4) << i;
        EXPECT_LE(bench.drive->receivedWithOpcode(0x12).size(), 1u) << i;
    }
}

TEST(UpgradeFileValidation, theFileNameAndTheVersionDigits) {
    EXPECT_EQ(dw::upgradeFileName("C:\\fw/a\\new.bin"), "new.bin");  // the status names new.bin
    const struct {
        char first, second;
        int value;
    } cases[] = {{'0', '4', 4}, {'1', '0', 10}, {'9', '9', 99}, {'3', 'x', 3},
                 {'3', '/', 3}, {'x', '5', 0},  {'/', '5', 0}};
    for (const auto& c : cases) EXPECT_EQ(dw::twoDigitValue(c.first, c.second), c.value) << c.first;
}
