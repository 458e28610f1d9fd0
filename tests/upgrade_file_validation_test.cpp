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
    EXPECT_EQ(dw::upgradeFileName("C:\\fw/a\\new.bin"), "new.bin");  // the status names new.bin
    for (const auto& r : goldenRows()) {
        const auto sizes = referenceSizes(r);
        EXPECT_EQ(dw::imageSizesFor(dw::ModelTable[r.index]), sizes) << r.name;
        for (uint32_t size : sizes) {
            auto bench = benchFor(r.name);
            const auto bytes = referenceImage({r.name, size});
            bench->write(bytes);
            EXPECT_TRUE(bench->validate()) << r.name << " " << size << ": " << bench->dialog.status;
            EXPECT_EQ(bench->dialog.status, "Valid upgrade file loaded: new.bin");
            EXPECT_EQ(kAllImageSizes.at(bench->state.procedureIndex), size) << r.name;
            EXPECT_EQ(bench->state.validatedFile.length, size) << r.name;
            EXPECT_EQ(bench->state.validatedFile.digest, dw::ImageDigest::of(bytes.data(), size));
        }
    }
}

// Refused with "Not a valid upgrade file" ("No valid upgrade file selected" without a file), the
// size's procedure index set (-1 for no procedure), one refresh, no file recorded as checked. A
// flipped bit is refused in every checked byte, and only there. Each refusal says why with its
// numbers, for the command line's line on stderr: the system's reason, the sizes the row's files
// have, where the identification or checksum is and what stands there.
TEST(UpgradeFileValidation, aFileThatDoesNotFitTheDriveIsRefusedAndWhyIsRecorded) {
    using Kind = dw::FileRefusal::Kind;
    const struct {
        const char* row;
        uint32_t size, length, flip;  // size 0: no file; length: cut or padded to, 0: as is
        int32_t index;
        Kind kind;
        uint64_t at;
    } cases[] = {
        {"DVDR   KV-829A", 0xFB000, 0, 0xEFFFF, 4, Kind::Checksum, 0xEFFFE},
        {"DVDR   KV-829A", 0xFB000, 0, 0x31, 4, Kind::Ident, 0x30},
        {"DVDR   KV-829A", 0xFB000, 0xFB000 + 512, 0, -1, Kind::Size, 0},
        {"CD-R   SUPERBA", 0x80000, 0, 0x7C7FF, 2, Kind::Checksum, 0x7C7FE},  // rule C less 0x8000
        // A size of its own, too short; a summed range starting past its end; a row without
        // upgrade files; no file.
        {"DVDR   KV-829A", 0xF0000, 0x40000, 0, 1, Kind::Size, 0},
        {"*Program Mode1*", 0x20000, 0, 0, 0, Kind::Size, 0},
        {"CD-ROM KV-6XCH", 0x40000, 0, 0, 1, Kind::NoUpgradeFiles, 0},
        {"DVDR   KV-829A", 0, 0, 0, 0, Kind::CannotOpen, 0},
        // Rule C from 0x4100 to the checksum at 0x1FFFE.
        {"CD-ROM KV-62TW", 0x20000, 0, 0x40FF, 0, Kind::None, 0},
        {"CD-ROM KV-62TW", 0x20000, 0, 0x4100, 0, Kind::Checksum, 0x1FFFE},
        // Rule B: from 0 to the checksum at 0xEFFFE, and from 0xF7000 on.
        {"DVDR   KV-825A", 0xFB000, 0, 0xEFFFF, 4, Kind::Checksum, 0xEFFFE},
        {"DVDR   KV-825A", 0xFB000, 0, 0xF6FFF, 4, Kind::None, 0},
        {"DVDR   KV-825A", 0xFB000, 0, 0xF7000, 4, Kind::Checksum, 0xEFFFE},
        // Rule A: from 16 to 0x7A000, the checksum at 0.
        {"CD-R   KV-343A", 0x80000, 0, 1, 2, Kind::Checksum, 0},
        {"CD-R   KV-343A", 0x80000, 0, 15, 2, Kind::None, 0},
        {"CD-R   KV-343A", 0x80000, 0, 16, 2, Kind::Checksum, 0},
        {"CD-R   KV-343A", 0x80000, 0, 0x7A000, 2, Kind::None, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("case " + std::to_string(&c - cases));
        auto bench = benchFor(c.row);
        auto bytes = referenceImage({c.row, c.size});
        if (c.flip) bytes[c.flip] ^= 1;
        bytes.resize(c.length ? c.length : c.size, 0xFF);
        if (c.size) bench->write(bytes);
        bench->state.validatedFile.valid = true;  // an earlier file's
        dw::FileRefusal why;
        why.kind = Kind::Ident;  // an earlier refusal's
        const bool accepted = c.kind == Kind::None;
        EXPECT_EQ(dw::ValidateUpgradeFile(bench->state, bench->dialog, &why), accepted);
        const char* no = c.size ? "Not a valid upgrade file" : "No valid upgrade file selected";
        EXPECT_EQ(bench->dialog.status, accepted ? "Valid upgrade file loaded: new.bin" : no);
        EXPECT_EQ(bench->state.procedureIndex, c.index);
        EXPECT_EQ(bench->state.validatedFile.valid, accepted);
        EXPECT_EQ(bench->dialog.refreshes, 1);
        EXPECT_EQ(std::tuple(why.kind, why.at), std::tuple(c.kind, c.at));
        const dw::ModelFamily* row = dw::matchModelRow(c.row);
        if (c.kind == Kind::CannotOpen) {
            EXPECT_EQ(why.error, ENOENT);
        }
        if (c.kind == Kind::Size) {
            EXPECT_EQ(std::tuple(why.size, why.sizes, why.row),
                      std::tuple(bytes.size(), dw::imageSizesFor(*row), std::string(c.row)));
        }
        if (c.kind == Kind::Ident) {
            std::string found = row->identity.identText;
            found[c.flip - c.at] ^= 1;
            EXPECT_EQ(std::tuple(why.expected, why.found),
                      std::tuple(std::string(row->identity.identText), found));
        }
        if (c.kind == Kind::Checksum) {
            EXPECT_NE(why.stored, why.computed);
        }
        if (c.kind == Kind::Checksum && c.flip == c.at + 1) {  // the checksum's low byte
            EXPECT_EQ(why.stored, why.computed ^ 1);
        }
    }
}

// The drive is asked who it is once: one that stops answering is not asked again and gets no file
// accepted (a rule-C drive with its checksum end lost would take a file starting 00 00). The 821
// family refuses, with a warning, a downgrade below V1.02 (the number after the point: two digits,
// a first digit alone, or 0); a drive that does not answer the guard's INQUIRY is not guarded.
TEST(UpgradeFileValidation, oneIdentificationAndThe821DowngradeGuard) {
    const std::string warning = std::string(28, ' ') + "*** WARNING ***\r\n" +
                                "Downgrading to a firmware version below V1.02 is not supported.";
    const char *k821 = "DVDR   KV-821A", *k829 = "DVDR   KV-829A";
    const struct {
        const char *product, *drive, *file;  // the drive's revision, the file's version
        int failing, inquiries;  // failing: this INQUIRY fails; inquiries: how many are sent
        bool broken, accepted;   // broken: the file starts 00 00 00
    } cases[] = {
        {k821, "1.04", "1.00", 0, 2, false, false},
        {k821, "1.02", "1.01", 0, 2, false, false},  // the guard starts at drive version 1.02
        {k821, "1.01", "1.00", 0, 2, false, true},
        {k821, "1.04", "1.02", 0, 2, false, true},
        {k821, "1.04", "1.00", 2, 2, false, true},
        {k821, "1.04", "1.x0", 0, 2, false, false},  // no digit: version number 0
        {k821, "1.10", "1.01", 0, 2, false, false},
        {k821, "1.04", "1.9x", 0, 2, false, true},
        {k821, "1.04", "1.1x", 0, 2, false, false},
        {k829, "1.00", "1.10", 1, 1, false, false},
        {k829, "1.00", "1.10", 1, 1, true, false},
        {k829, "1.00", "1.10", 2, 1, false, true},
        {k829, "1.00", "1.10", 2, 1, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("case " + std::to_string(&c - cases));
        FirmwareBench bench(c.product, c.drive);
        bench.pc.transport.letterInquiry[4] = 1;  // INQUIRY through the drive letter
        auto bytes = referenceImage({c.product, 0xF0000, c.file});
        if (c.broken) bytes[0] = bytes[1] = bytes[2] = 0;
        bench.write(bytes);
        if (c.failing) bench.drive->failNth(0x12, c.failing, {0x04, 0x44, 0x00});
        dw::FileRefusal why;
        EXPECT_EQ(dw::ValidateUpgradeFile(bench.state, bench.dialog, &why), c.accepted);
        EXPECT_EQ(bench.drive->receivedWithOpcode(0x12).size(), c.inquiries);
        const bool warned = c.product == k821 && !c.accepted;
        EXPECT_EQ(bench.dialog.warnings, std::vector<std::string>(warned, warning));
        // The refusal names the versions of the guard, or the drive that did not answer.
        const std::string versions = warned ? std::string(c.file) + c.drive : "";
        EXPECT_EQ(why.fileVersion + why.driveVersion, versions);
        const bool unknown = c.product == k829 && c.failing == 1;
        EXPECT_EQ(why.kind == dw::FileRefusal::Kind::DriveNotIdentified, unknown);
    }
    // Upgraded to 1.04 in this run: the port driver's copy still says 1.01, the drive does not.
    FirmwareBench bench(k821, "1.01");
    bench.drive->setRevision("1.04");
    bench.write(referenceImage({k821, 0xF0000, "1.00"}));
    EXPECT_FALSE(bench.validate());
    EXPECT_EQ(bench.dialog.warnings, std::vector<std::string>{warning});
}
