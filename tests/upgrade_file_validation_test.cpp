// Upgrade files are accepted exactly when they fit the selected drive. The images are built
// from the documented rows and checksum rules (reference_images.h), not by the program.
#include "firmware/upgrade_file_validation.h"
#include "util/image_digest.h"
#include "firmware_support.h"

using namespace testing_support;

namespace {

// A bench whose drive identifies as the row, found by trying the attachments and revisions
// under which the row's drives report themselves.
std::unique_ptr<FirmwareBench> benchFor(const std::string& name) {
    for (dw::BusKind kind :
         {dw::BusKind::Atapi, dw::BusKind::SerialAta, dw::BusKind::Usb, dw::BusKind::Ieee1394}) {
        for (const char* revision : {"1.00", "1.10"}) {
            auto bench = std::make_unique<FirmwareBench>(name, revision, kind);
            if (bench->rowName() == name) return bench;
        }
    }
    return nullptr;
}

int32_t indexOfSize(uint32_t size) {
    for (size_t i = 0; i < allImageSizes().size(); ++i) {
        if (allImageSizes()[i] == size) return static_cast<int32_t>(i);
    }
    return -1;
}

}  // namespace

TEST(UpgradeFileValidation, everyUpgradableRowAcceptsItsImagesOfEveryAllowedSize) {
    int rows = 0, images = 0;
    for (const auto& r : goldenRows()) {
        if (r.identOffset == 0) continue;
        ++rows;
        auto bench = benchFor(r.name);
        ASSERT_NE(bench, nullptr) << r.name;
        const auto sizes = referenceSizes(r);
        EXPECT_FALSE(sizes.empty()) << r.name;
        for (uint32_t size : sizes) {
            const std::string path = bench->writeImage({r.name, size}, "new.bin");
            EXPECT_TRUE(dw::ValidateUpgradeFile(bench->state, bench->dialog))
                << r.name << " " << size << " (rule " << referenceChecksum(r, size).rule
                << "): " << bench->dialog.status;
            EXPECT_EQ(bench->dialog.status, "Valid upgrade file loaded: new.bin");
            EXPECT_EQ(bench->state.procedureIndex, indexOfSize(size));
            EXPECT_TRUE(bench->state.validatedFile.valid);
            EXPECT_EQ(bench->state.validatedFile.length, size);
            ++images;
        }
    }
    EXPECT_EQ(rows, 53);
    EXPECT_GT(images, rows);
}

TEST(UpgradeFileValidation, brokenImagesAreRefusedAndLeaveTheirProcedureIndex) {
    struct Case {
        const char* row;
        uint32_t size;
        Flaw flaw;
        int32_t index;
    } cases[] = {
        {"DVDR   KV-829A", 0xFB000, Flaw::Checksum, 4},
        {"DVDR   KV-829A", 0xFB000, Flaw::Identification, 4},
        {"DVDR   KV-829A", 0xFB000, Flaw::Size, -1},
        {"DVDR   KV-825A", 0xFB000, Flaw::Checksum, 4},  // rule B
        {"CD-R   KV-343A", 0x80000, Flaw::Checksum, 2},  // rule A
        {"CD-R   SUPERBA", 0x80000, Flaw::Checksum, 2},  // rule C less 0x8000
        {"CD-ROM KV-62TW", 0x20000, Flaw::Checksum, 0},  // rule C from 0x4100
        {"CD-ROM KV-62TW", 0x40000, Flaw::Identification, 1},
        {"CD-R   KV-W2321A", 0x80000, Flaw::Identification, 2},
    };
    for (const auto& c : cases) {
        auto bench = benchFor(c.row);
        ASSERT_NE(bench, nullptr) << c.row;
        bench->writeImage({c.row, c.size, "1.10", c.flaw});
        EXPECT_FALSE(dw::ValidateUpgradeFile(bench->state, bench->dialog)) << c.row;
        EXPECT_EQ(bench->dialog.status, "Not a valid upgrade file") << c.row;
        EXPECT_EQ(bench->state.procedureIndex, c.index) << c.row;
        EXPECT_FALSE(bench->state.validatedFile.valid) << c.row;
        EXPECT_GE(bench->dialog.refreshes, 1) << c.row;
    }
}

TEST(UpgradeFileValidation, everySingleByteCorruptionOfTheCheckedBytesIsRefused) {
    auto bench = benchFor("CD-ROM KV-62TW");  // 128 KB, rule C from 0x4100 to 0x1FFFE
    ASSERT_NE(bench, nullptr);
    const auto good = referenceImage({"CD-ROM KV-62TW", 0x20000});
    struct Case {
        const char* what;
        uint32_t offset;
        bool refused;
    } cases[] = {
        {"first summed byte", 0x4100, true},
        {"a middle summed byte", 0x10000, true},
        {"last summed byte", 0x1FFFD, true},
        {"checksum high byte", 0x1FFFE, true},
        {"checksum low byte", 0x1FFFF, true},
        {"identification", 0x41F4 + 3, true},
        {"a byte before the summed range", 0x40FF, false},
    };
    for (const auto& c : cases) {
        auto bytes = good;
        bytes[c.offset] ^= 0x01;
        bench->writeBytes(bytes);
        EXPECT_EQ(dw::ValidateUpgradeFile(bench->state, bench->dialog), !c.refused) << c.what;
    }
}

TEST(UpgradeFileValidation, truncatedAndMissingFilesAreRefused) {
    auto bench = benchFor("DVDR   KV-829A");
    ASSERT_NE(bench, nullptr);
    auto bytes = referenceImage({"DVDR   KV-829A", 0xF0000});
    ASSERT_EQ(bytes.size(), 0xF0000u);
    for (size_t cut : {size_t(1), size_t(0x40000), bytes.size() - 40}) {
        std::vector<uint8_t> shorter(bytes.begin(), bytes.begin() + long(cut));
        bench->writeBytes(shorter);
        EXPECT_FALSE(dw::ValidateUpgradeFile(bench->state, bench->dialog)) << cut;
        EXPECT_EQ(bench->dialog.status, "Not a valid upgrade file");
    }
    bench->choose(bench->folder.file("missing.bin"));
    EXPECT_FALSE(dw::ValidateUpgradeFile(bench->state, bench->dialog));
    EXPECT_EQ(bench->dialog.status, "No valid upgrade file selected");
}

TEST(UpgradeFileValidation, aSizeOfNoProcedureIsRefusedWhateverItsContent) {
    auto bench = benchFor("DVDR   KV-829A");
    ASSERT_NE(bench, nullptr);
    auto bytes = referenceImage({"DVDR   KV-829A", 0xFB000});
    bytes.push_back(0);  // checksum and identification still fit; the size does not
    bench->writeBytes(bytes);
    EXPECT_FALSE(dw::ValidateUpgradeFile(bench->state, bench->dialog));
    EXPECT_EQ(bench->state.procedureIndex, -1);
    EXPECT_EQ(bench->dialog.status, "Not a valid upgrade file");
}

TEST(UpgradeFileValidation, programModeRowWithA128KFileIsAMismatch) {
    auto bench = benchFor("*Program Mode1*");
    ASSERT_NE(bench, nullptr);
    std::vector<uint8_t> bytes(0x20000, 0);
    const char ident[] = "KORVANE CD-R   KV-R535C";
    std::memcpy(bytes.data() + 0x180, ident, sizeof ident - 1);
    bench->writeBytes(bytes);
    EXPECT_FALSE(dw::ValidateUpgradeFile(bench->state, bench->dialog));
    EXPECT_EQ(bench->state.procedureIndex, 0);
}

TEST(UpgradeFileValidation, aDriveWithoutAnUpgradableRowAcceptsNoFile) {
    FirmwareBench bench("CD-ROM KV-6XCH");  // a row without upgrade files
    std::vector<uint8_t> zeros(0x20000, 0);
    bench.writeBytes(zeros);
    EXPECT_FALSE(dw::ValidateUpgradeFile(bench.state, bench.dialog));
    EXPECT_EQ(bench.dialog.status, "Not a valid upgrade file");
}

TEST(UpgradeFileValidation, downgradeGuardOfThe821Family) {
    const std::string warning =
        std::string(28, ' ') +
        "*** WARNING ***\r\nDowngrading to a firmware version below V1.02 is not supported.";
    struct Case {
        const char* driveRevision;
        const char* fileVersion;
        bool inquiryFails;
        bool accepted;
    } cases[] = {
        {"1.04", "1.00", false, false},
        {"1.02", "1.01", false, false},  // the guard starts at drive version 1.02
        {"1.01", "1.00", false, true},
        {"1.04", "1.02", false, true},
        {"1.04", "1.00", true, true},    // a drive that does not answer is not guarded
        {"1.04", "1.x0", false, false},  // no digit: version number 0
    };
    for (const auto& c : cases) {
        FirmwareBench bench("DVDR   KV-821A", c.driveRevision);
        bench.writeImage({"DVDR   KV-821A", 0xFB000, c.fileVersion});
        if (c.inquiryFails) {
            // INQUIRY through the drive letter; the second one (the guard's, after the row
            // name's) fails.
            bench.pc.transport.letterInquiry[4] = 1;
            bench.drive->failNth(0x12, 2, {0x04, 0x44, 0x00});
        }
        const bool accepted = dw::ValidateUpgradeFile(bench.state, bench.dialog);
        EXPECT_EQ(accepted, c.accepted) << c.driveRevision << " " << c.fileVersion;
        if (c.accepted) {
            EXPECT_TRUE(bench.dialog.warnings.empty());
        } else {
            ASSERT_EQ(bench.dialog.warnings.size(), 1u);
            EXPECT_EQ(bench.dialog.warnings[0], warning);
            EXPECT_EQ(bench.dialog.status, "Not a valid upgrade file");
        }
    }
}

TEST(UpgradeFileValidation, theStatusNamesTheFileAfterItsLastBackslash) {
    EXPECT_EQ(dw::upgradeFileName("C:\\fw\\new.bin"), "new.bin");
    EXPECT_EQ(dw::upgradeFileName("new.bin"), "new.bin");
    EXPECT_EQ(dw::upgradeFileName("/home/me/fw/new.bin"), "new.bin");
    EXPECT_EQ(dw::upgradeFileName("C:\\fw/sub\\"), "");
    EXPECT_EQ(dw::upgradeFileName("C:\\fw\\"), "");
}

TEST(UpgradeFileValidation, twoDigitValues) {
    EXPECT_EQ(dw::twoDigitValue('0', '4'), 4);
    EXPECT_EQ(dw::twoDigitValue('1', '2'), 12);
    EXPECT_EQ(dw::twoDigitValue('3', 'x'), 3);
    EXPECT_EQ(dw::twoDigitValue('x', '5'), 0);
}

TEST(UpgradeFileValidation, theDigestCoversEveryByteOfTheFile) {
    auto bench = benchFor("DVDR   KV-829A");
    ASSERT_NE(bench, nullptr);
    const std::string path = bench->writeImage({"DVDR   KV-829A", 0xF0000});
    ASSERT_TRUE(dw::ValidateUpgradeFile(bench->state, bench->dialog));
    const auto bytes = readAll(path);
    EXPECT_EQ(bench->state.validatedFile.digest, dw::ImageDigest::of(bytes.data(), bytes.size()));
}

TEST(UpgradeFileValidation, aDriveThatStopsIdentifyingItselfGetsNoFileAccepted) {
    // A rule-C drive: with its checksum end lost, a file starting 00 00 would sum to its own
    // stored value.
    for (int failing = 1; failing <= 6; ++failing) {
        for (const bool valid : {true, false}) {
            FirmwareBench bench("DVDR   KV-829A");
            bench.pc.transport.letterInquiry[4] = 1;  // INQUIRY reaches the drive
            auto bytes = referenceImage({"DVDR   KV-829A", 0xF0000});
            if (!valid) bytes[0] = bytes[1] = bytes[2] = 0;
            bench.writeBytes(bytes);
            bench.drive->failNth(0x12, failing, {0x02, 0x04, 0x00});
            const bool accepted = dw::ValidateUpgradeFile(bench.state, bench.dialog);
            // Only the first INQUIRY identifies the drive; the later ones are not sent.
            EXPECT_EQ(accepted, valid && failing > 1) << failing << " " << valid;
            if (!accepted) {
                EXPECT_EQ(bench.dialog.status, "Not a valid upgrade file") << failing;
            }
            EXPECT_LE(bench.drive->receivedWithOpcode(0x12).size(), 1u) << failing;
        }
    }
}
