// The five download procedures and the dispatcher, seen through the drive's command record.
// The images are built from the documented format (reference_images.h), not by the program.
#include "firmware/download_procedures.h"
#include "firmware/upgrade_file_validation.h"
#include "firmware/upgrade_outcome.h"
#include "firmware_support.h"

using namespace testing_support;

namespace {

struct Procedure {
    const char* name;
    const char* row;
    uint32_t size;
    std::vector<uint8_t> preparation;  // opcodes before the first chunk (no medium loaded)
    uint8_t chunkOpcode;
    uint32_t chunks;  // including the committing one
    uint32_t chunkLength;
    uint32_t lastLength;
    bool settles;
};

const Procedure kProcedures[] = {
    {"128K", "CD-ROM KV-62TW", 0x20000, {0x00, 0x03}, 0x3B, 16, 8192, 8192, false},
    {"256K", "CD-ROM KV-62TW", 0x40000, {0x00, 0x03, 0xE1}, 0xE2, 8, 32768, 32768, false},
    {"512K", "CD-R   KV-W6025A", 0x80000, {0x01, 0x03, 0x00}, 0x3B, 64, 8192, 8192, true},
    {"960K", "DVDR   KV-829A", 0xF0000, {0x01, 0x03}, 0x3B, 120, 8192, 8192, true},
    {"1004K", "DVDR   KV-825A", 0xFB000, {0x01, 0x03}, 0x3B, 126, 8192, 4096, true},
};

struct Loaded {
    std::unique_ptr<FirmwareBench> bench;
    std::string path;
    std::vector<uint8_t> bytes;
};

Loaded load(const Procedure& p, const std::string& version = "2.07", uint32_t seed = 1) {
    Loaded l;
    l.bench = std::make_unique<FirmwareBench>(p.row);
    l.path = l.bench->writeImage({p.row, p.size, version, Flaw::None, seed});
    l.bytes = readAll(l.path);
    EXPECT_TRUE(dw::ValidateUpgradeFile(l.bench->state, l.bench->dialog))
        << p.name << ": " << l.bench->dialog.status;
    l.bench->drive->clearReceived();
    return l;
}

bool upgrade(Loaded& l) {
    return dw::RunUpgrade(l.bench->state, l.bench->dialog, l.bench->pc.machine);
}

// The chunk commands of the record, in order.
std::vector<sim::ReceivedCommand> chunks(const sim::KorvaneDrive& drive, uint8_t opcode) {
    return drive.receivedWithOpcode(opcode);
}

uint32_t be(const std::vector<uint8_t>& cdb, size_t at, size_t n) {
    uint32_t v = 0;
    for (size_t i = 0; i < n; ++i) v = v << 8 | cdb[at + i];
    return v;
}

}  // namespace

TEST(DownloadProcedures, eachProcedureSendsTheImageInItsExactCommandOrder) {
    for (const auto& p : kProcedures) {
        auto l = load(p);
        const uint32_t before = l.bench->pc.machine.tickCount();
        ASSERT_TRUE(upgrade(l)) << p.name;
        const auto& drive = *l.bench->drive;
        const auto& record = drive.received();

        // TEST UNIT READY of the dispatcher, then the procedure's preparation.
        ASSERT_GE(record.size(), 1 + p.preparation.size() + p.chunks) << p.name;
        EXPECT_EQ(record[0].opcode(), 0x00) << p.name;
        for (size_t i = 0; i < p.preparation.size(); ++i) {
            EXPECT_EQ(record[1 + i].opcode(), p.preparation[i]) << p.name << " step " << i;
        }
        EXPECT_EQ(record.size(), 1 + p.preparation.size() + p.chunks) << p.name;

        const auto sent = chunks(drive, p.chunkOpcode);
        ASSERT_EQ(sent.size(), p.chunks) << p.name;
        for (uint32_t k = 0; k < p.chunks; ++k) {
            const auto& cdb = sent[k].cdb;
            const bool last = k + 1 == p.chunks;
            const uint32_t length = last ? p.lastLength : p.chunkLength;
            if (p.chunkOpcode == 0x3B) {
                EXPECT_EQ(cdb.size(), 10u);
                EXPECT_EQ(cdb[1], last ? 5 : 4) << p.name << " chunk " << k;
                EXPECT_EQ(cdb[2], 0);
                EXPECT_EQ(be(cdb, 3, 3), k * 8192) << p.name << " chunk " << k;
                EXPECT_EQ(be(cdb, 6, 3), length);
                EXPECT_EQ(sent[k].transferLength, length + 4) << p.name << " chunk " << k;
            } else {
                EXPECT_EQ(cdb.size(), 12u);
                EXPECT_EQ(cdb[1], last ? 0 : 1) << p.name << " chunk " << k;
                EXPECT_EQ(be(cdb, 2, 4), k * 32768) << p.name << " chunk " << k;
                EXPECT_EQ(be(cdb, 6, 4), length);
                EXPECT_EQ(sent[k].transferLength, length) << p.name << " chunk " << k;
            }
        }

        EXPECT_EQ(drive.commits, 1) << p.name;
        EXPECT_TRUE(drive.committedImage == l.bytes) << p.name;
        EXPECT_EQ(drive.revision(), "2.07") << p.name;
        const uint32_t waited = l.bench->pc.machine.tickCount() - before;
        if (p.settles) {
            EXPECT_GE(waited, 2000u) << p.name;
        } else {
            EXPECT_EQ(waited, 0u) << p.name;
        }
    }
}

TEST(DownloadProcedures, aFailedChunkStopsTheDownloadAtOnce) {
    for (const auto& p : kProcedures) {
        for (uint32_t failing : {1u, p.chunks / 2, p.chunks}) {
            auto l = load(p);
            l.bench->drive->failNth(p.chunkOpcode, int(failing), {0x05, 0x24, 0x00});
            const uint32_t before = l.bench->pc.machine.tickCount();
            EXPECT_FALSE(upgrade(l)) << p.name << " chunk " << failing;
            const auto& drive = *l.bench->drive;
            EXPECT_EQ(chunks(drive, p.chunkOpcode).size(), failing) << p.name;
            EXPECT_EQ(drive.received().back().opcode(), p.chunkOpcode) << p.name;
            EXPECT_EQ(drive.commits, 0) << p.name;
            EXPECT_EQ(l.bench->state.currentDevice.sense[12], 0x24) << p.name;
            const uint32_t waited = l.bench->pc.machine.tickCount() - before;
            // Only the committing chunk is followed by the settle wait, failed or not.
            EXPECT_EQ(waited >= 2000, p.settles && failing == p.chunks) << p.name << " " << failing;
        }
    }
}

TEST(DownloadProcedures, aFileChangedAfterValidationIsNeverCommitted) {
    for (const auto& p : kProcedures) {
        // Shortened: the chunk that cannot be filled is not sent.
        {
            auto l = load(p);
            std::vector<uint8_t> shorter(l.bytes.begin(),
                                         l.bytes.begin() + p.chunkLength * 2 + 100);
            std::string error;
            ASSERT_TRUE(dw::tools::writeFile(l.path, shorter, error));
            EXPECT_FALSE(upgrade(l)) << p.name;
            EXPECT_EQ(chunks(*l.bench->drive, p.chunkOpcode).size(), 2u) << p.name;
            EXPECT_EQ(l.bench->drive->commits, 0) << p.name;
        }
        // Replaced by another valid-looking image of the same size: every chunk but the
        // committing one goes out, the committing one does not.
        {
            auto l = load(p);
            std::string error;
            const auto other = referenceImage({p.row, p.size, "2.07", Flaw::None, 99});
            ASSERT_TRUE(dw::tools::writeFile(l.path, other, error));
            EXPECT_FALSE(upgrade(l)) << p.name;
            EXPECT_EQ(chunks(*l.bench->drive, p.chunkOpcode).size(), p.chunks - 1) << p.name;
            EXPECT_EQ(l.bench->drive->commits, 0) << p.name;
        }
        // Removed.
        {
            auto l = load(p);
            std::filesystem::remove(l.path);
            EXPECT_FALSE(upgrade(l)) << p.name;
            EXPECT_EQ(l.bench->drive->received().size(), 1u) << p.name;  // the dispatcher's TUR
        }
    }
}

TEST(DownloadProcedures, theSameFileCanBeDownloadedAgainAtOnce) {
    auto l = load(kProcedures[4]);
    ASSERT_TRUE(upgrade(l));
    ASSERT_TRUE(upgrade(l));
    EXPECT_EQ(l.bench->drive->commits, 2);
}

TEST(DownloadProcedures, aRejectedPreparationWritesNothing) {
    auto l = load(kProcedures[1]);
    l.bench->drive->failAll(0xE1, {0x05, 0x20, 0x00});
    const int before = l.bench->dialog.refreshes;
    EXPECT_FALSE(upgrade(l));
    EXPECT_TRUE(chunks(*l.bench->drive, 0xE2).empty());
    EXPECT_EQ(l.bench->dialog.refreshes, before + 1);

    auto s = load(kProcedures[0]);
    s.bench->drive->failAll(0x03, {0x05, 0x20, 0x00});
    EXPECT_FALSE(upgrade(s));  // the 128 KB procedure needs its REQUEST SENSE
    EXPECT_TRUE(chunks(*s.bench->drive, 0x3B).empty());
}

TEST(DownloadProcedures, the6025SecondPassRunsOnceForRevision5a02AndCounts) {
    struct Case {
        const char* row;
        const char* version;
        int commits;
    } cases[] = {
        {"CD-R   KV-W6025A", "5a02", 2},
        {"CD-R   KV-W6025A", "5a03", 1},
        {"CD-R   KV-W2321A", "5a02", 1},  // another model never gets one
    };
    for (const auto& c : cases) {
        Procedure p = kProcedures[2];
        p.row = c.row;
        auto l = load(p, c.version);
        EXPECT_TRUE(upgrade(l)) << c.row << " " << c.version;
        EXPECT_EQ(l.bench->drive->commits, c.commits) << c.row << " " << c.version;
        EXPECT_EQ(l.bench->state.passCounter, uint32_t(c.commits)) << c.row;
    }
    auto l = load(kProcedures[2], "5a02");
    l.bench->drive->failNth(0x3B, 64 + 10, {0x03, 0x0C, 0x09});  // in the second pass
    EXPECT_FALSE(upgrade(l));
    EXPECT_EQ(l.bench->drive->commits, 1);
}

TEST(DownloadProcedures, theDispatcherEjectsALoadedMediumAndRefusesAnUnknownSize) {
    auto l = load(kProcedures[3]);
    l.bench->drive->mediumLoaded = true;
    EXPECT_TRUE(upgrade(l));
    EXPECT_EQ(l.bench->drive->ejects, 1);
    EXPECT_EQ(l.bench->drive->received()[1].opcode(), 0x1B);

    auto m = load(kProcedures[3]);
    m.bench->state.procedureIndex = -1;
    EXPECT_FALSE(upgrade(m));
    ASSERT_EQ(m.bench->drive->received().size(), 1u);
    EXPECT_EQ(m.bench->drive->received()[0].opcode(), 0x00);
}

TEST(DownloadProcedures, theSettleWaitHoldsAcrossTheTickCounterWrap) {
    auto l = load(kProcedures[3]);
    l.bench->pc.machine.setTickCount(0xFFFFFF00u);
    EXPECT_TRUE(upgrade(l));
    const uint32_t waited = l.bench->pc.machine.tickCount() - 0xFFFFFF00u;
    EXPECT_GE(waited, 2000u);
    EXPECT_LT(waited, 2100u);
}

namespace {

std::string outcome(Loaded& l, bool succeeded) {
    return dw::UpgradeOutcomeText(succeeded, l.bench->state, l.bench->pc.machine);
}

}  // namespace

TEST(DownloadProcedures, theSmallProceduresRefreshTheDialogAfterEachChunk) {
    // 128 KB and 256 KB: after every chunk but the committing one, and once at the end; the
    // large ones never.
    const int expected[] = {15 + 1, 7 + 1, 0, 0, 0};
    for (size_t i = 0; i < std::size(kProcedures); ++i) {
        auto l = load(kProcedures[i]);
        const int before = l.bench->dialog.refreshes;
        ASSERT_TRUE(upgrade(l)) << kProcedures[i].name;
        EXPECT_EQ(l.bench->dialog.refreshes - before, expected[i]) << kProcedures[i].name;
    }
}

TEST(DownloadProcedures, aStoppedDownloadSaysWhyAndWhere) {
    using Stop = dw::DownloadStop;
    enum class Fault {
        ShortInLastChunk,
        ShortInThirdChunk,
        Replaced,
        Removed,
        Refused,
        Unreachable
    };
    struct Case {
        Fault fault;
        Stop stop;
        bool atLastChunk;  // else the chunk given
        int32_t chunk;
        const char* text;
    } cases[] = {
        {Fault::ShortInLastChunk, Stop::FileShorter, true, 0,
         "Upgrade failed! The upgrade file is shorter than when it was checked."},
        {Fault::ShortInThirdChunk, Stop::FileShorter, false, 2,
         "Upgrade failed! The upgrade file is shorter than when it was checked."},
        {Fault::Replaced, Stop::FileChanged, true, 0,
         "Upgrade failed! The upgrade file changed after it was checked."},
        {Fault::Removed, Stop::FileUnopenable, false, -1,
         "Upgrade failed! The upgrade file could not be opened."},
        {Fault::Refused, Stop::DriveRefused, false, 1,
         "Upgrade failed! Invalid parameter (code 052400)"},
        {Fault::Unreachable, Stop::NotDelivered, false, 0,
         "Upgrade failed! The command did not reach the drive (error 1117)."},
    };
    for (const auto& p : kProcedures) {
        for (const auto& c : cases) {
            auto l = load(p);
            auto& drive = *l.bench->drive;
            std::string error;
            switch (c.fault) {
                case Fault::ShortInLastChunk:
                    l.bytes.resize(l.bytes.size() - 10);
                    ASSERT_TRUE(dw::tools::writeFile(l.path, l.bytes, error));
                    break;
                case Fault::ShortInThirdChunk:
                    l.bytes.resize(p.chunkLength * 2 + 1);
                    ASSERT_TRUE(dw::tools::writeFile(l.path, l.bytes, error));
                    break;
                case Fault::Replaced:
                    l.bytes[l.bytes.size() / 2] ^= 0xFF;
                    ASSERT_TRUE(dw::tools::writeFile(l.path, l.bytes, error));
                    break;
                case Fault::Removed: std::filesystem::remove(l.path); break;
                case Fault::Refused: drive.failNth(p.chunkOpcode, 2, {0x05, 0x24, 0x00}); break;
                case Fault::Unreachable:
                    drive.mediumLoaded = false;
                    l.bench->pc.machine.failIoControl("\\\\.\\E:", dw::kIoctlScsiPassThroughDirect,
                                                      1117);
                    break;
            }
            const std::string name = std::string(p.name) + " case " + std::to_string(int(c.fault));
            const bool ok = upgrade(l);
            EXPECT_FALSE(ok) << name;
            const auto& record = l.bench->state.download;
            EXPECT_EQ(record.stop, c.stop) << name;
            // The 128 KB and 256 KB procedures stop at their preparation, before any chunk.
            const bool beforeFirst =
                c.fault == Fault::Unreachable && (p.size == 0x20000 || p.size == 0x40000);
            const int32_t chunk = c.atLastChunk ? int32_t(p.chunks - 1)
                                  : beforeFirst ? -1
                                                : c.chunk;
            EXPECT_EQ(record.chunk, chunk) << name;
            EXPECT_EQ(outcome(l, ok), c.text) << name;
            EXPECT_EQ(drive.commits, 0) << name;
        }
    }
}

TEST(DownloadProcedures, aCommandThatCouldNotBeSentIsNotTheDrivesRefusal) {
    struct Case {
        int32_t letter;
        int32_t result;
    } cases[] = {{26, dw::kResultNoDriveLetter}, {-1, dw::kResultNoDriveLetter}};
    for (const auto& c : cases) {
        auto l = load(kProcedures[3]);
        l.bench->state.currentDevice.driveLetter = c.letter;
        l.bench->state.currentDevice.sense[2] = 0x02;  // an earlier failure's sense
        const bool ok = upgrade(l);
        EXPECT_EQ(l.bench->state.download.stop, dw::DownloadStop::NotDelivered) << c.letter;
        EXPECT_EQ(l.bench->state.download.result, c.result) << c.letter;
        EXPECT_EQ(outcome(l, ok), "Upgrade failed! The command could not be sent to the drive.");
        EXPECT_TRUE(l.bench->drive->received().empty()) << c.letter;
    }
    auto l = load(kProcedures[3]);
    l.bench->state.currentDevice.targetId = -1;
    EXPECT_FALSE(upgrade(l));
    EXPECT_EQ(l.bench->state.download.result, dw::kResultNotSent);
    EXPECT_EQ(l.bench->state.download.stop, dw::DownloadStop::NotDelivered);
}

TEST(DownloadProcedures, aSizeWithoutProcedureAndASuccessReadAsSuch) {
    auto l = load(kProcedures[3]);
    l.bench->state.procedureIndex = 5;
    const bool refused = upgrade(l);
    EXPECT_EQ(l.bench->state.download.stop, dw::DownloadStop::NoProcedure);
    EXPECT_EQ(outcome(l, refused), "Upgrade failed! No download procedure fits the file's size.");

    l.bench->state.procedureIndex = 3;
    const bool done = upgrade(l);
    EXPECT_EQ(l.bench->state.download.stop, dw::DownloadStop::None);
    EXPECT_EQ(outcome(l, done), "Upgrade succesfull");
}
