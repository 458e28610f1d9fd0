// The five download procedures and the dispatcher, seen through the drive's command record.
// The images are built from the documented format (reference_images.h), not by the program.
#include "firmware_support.h"

using namespace testing_support;
using Stop = dw::DownloadStop;

namespace {

// The commands before the chunks, as documented: CDB / bytes moved.
const std::string kTur = "00 00 00 00 00 00 / 0", kRezero = "01 00 00 00 00 00 / 0",
                  kSense = "03 00 00 00 12 00 / 18", kEject = "1B 00 00 00 02 00 / 0",
                  kPrepare = "E1 04 FF 00 00 00 00 00 00 00 00 00 / 0";

struct Procedure {
    const char* row;
    std::vector<std::string> preparation;  // before the first chunk (no medium loaded)
    uint8_t checked, chunkOpcode;  // checked: the preparation command whose failure stops it
    uint32_t size, chunkLength;    // the last chunk, the committing one, takes what is left
    bool settles, refreshes;  // a 2 s wait after the committing chunk; a refresh after the others
    int32_t chunks() const { return int32_t((size + chunkLength - 1) / chunkLength); }
} const kProcedures[] = {
    {"CD-ROM KV-62TW", {kTur, kSense}, 0x03, 0x3B, 0x20000, 8192, false, true},
    {"CD-ROM KV-62TW", {kTur, kSense, kPrepare}, 0xE1, 0xE2, 0x40000, 32768, false, true},
    {"CD-R   KV-W6025A", {kRezero, kSense, kTur}, 0, 0x3B, 0x80000, 8192, true, false},
    {"DVDR   KV-829A", {kRezero, kSense}, 0, 0x3B, 0xF0000, 8192, true, false},
    {"DVDR   KV-825A", {kRezero, kSense}, 0, 0x3B, 0xFB000, 8192, true, false},
};

// A drive of the procedure's row (or another) with a validated image, its record cleared.
struct Loaded : FirmwareBench {
    std::vector<uint8_t> bytes;
    Loaded(const Procedure& p, const char* version = "2.07", const char* row = nullptr)
        : FirmwareBench(row ? row : p.row),
          bytes(referenceImage({row ? row : p.row, p.size, version})) {
        write(bytes);
        EXPECT_TRUE(validate()) << p.size << ": " << dialog.status;
        drive->clearReceived();
    }
};

void be(std::vector<uint8_t>& v, uint32_t x, int n) {
    while (n--) v.push_back(uint8_t(x >> 8 * n));
}

// A chunk as documented: WRITE BUFFER mode 4 (5 commits), buffer 0, 24-bit offset and length,
// 4 bytes more data; E2h mode 1 (0 commits), 32-bit address and length.
std::string chunk(const Procedure& p, int32_t k) {
    const bool last = k + 1 == p.chunks(), wb = p.chunkOpcode == 0x3B;
    const uint32_t n = std::min(p.chunkLength, p.size - k * p.chunkLength);
    std::vector<uint8_t> cdb = {p.chunkOpcode};
    if (wb)
        be(cdb, last ? 0x0500 : 0x0400, 2), be(cdb, k * p.chunkLength, 3), be(cdb, n, 3),
            be(cdb, 0, 1);
    if (!wb) be(cdb, !last, 1), be(cdb, k * p.chunkLength, 4), be(cdb, n, 4), be(cdb, 0, 2);
    return hex(cdb) + " / " + std::to_string(n + (wb ? 4 : 0));
}

}  // namespace

TEST(DownloadProcedures, eachProcedureSendsTheImageInItsCommandOrderAndCommitsIt) {
    for (const auto& p : kProcedures) {
        Loaded l(p);
        for (const bool loaded : {true, false}) {  // then the same file again at once
            l.drive->mediumLoaded = loaded;
            l.drive->clearReceived();
            l.pc.machine.setTickCount(0xFFFFFF00u);  // the settle wait holds across the wrap
            const int refreshes = l.dialog.refreshes;
            EXPECT_EQ(l.outcome(l.upgrade()), "Upgrade succesfull") << p.size;
            // TEST UNIT READY of the dispatcher (and its eject), the preparation, the chunks.
            std::vector<std::string> want = {kTur}, got;
            if (loaded) want.push_back(kEject);
            want.insert(want.end(), p.preparation.begin(), p.preparation.end());
            for (int32_t k = 0; k < p.chunks(); ++k) want.push_back(chunk(p, k));
            for (const auto& c : l.drive->received()) {
                got.push_back(hex(c.cdb) + " / " + std::to_string(c.transferLength));
            }
            EXPECT_EQ(got, want) << p.size << " loaded " << loaded;
            EXPECT_EQ(l.drive->commits, loaded ? 1 : 2) << p.size;
            EXPECT_TRUE(l.drive->committedImage == l.bytes) << p.size;
            EXPECT_EQ(l.pc.machine.tickCount() - 0xFFFFFF00u, p.settles ? 2000u : 0u) << p.size;
            EXPECT_EQ(l.dialog.refreshes - refreshes, p.refreshes ? p.chunks() : 0) << p.size;
        }
    }
}

// What the program cannot send, or sees wrong, stops the download there: nothing more goes out,
// nothing is committed, and the outcome says why. Only a committing chunk, refused or not, is
// followed by the settle wait.
TEST(DownloadProcedures, aStoppedDownloadSendsNothingMoreNeverCommitsAndSaysWhy) {
    enum Fault { Short, Third, Changed, Removed, Refused, Prepare, Unreached, NoLetter, NoSize };
    const char *shorter = "The upgrade file is shorter than when it was checked.",
               *invalid = "Invalid parameter (code 052400)";
    const struct {
        Fault fault;
        Stop stop;
        int32_t chunk, commands;  // chunk -2: the committing one; commands in all, -1: to the stop
        const char* text;
    } cases[] = {
        {Short, Stop::FileShorter, -2, -1, shorter},
        {Third, Stop::FileShorter, 2, -1, shorter},
        {Changed, Stop::FileChanged, -2, -1, "The upgrade file changed after it was checked."},
        {Removed, Stop::FileUnopenable, -1, 1, "The upgrade file could not be opened."},
        {Refused, Stop::DriveRefused, 0, -1, invalid},
        {Refused, Stop::DriveRefused, -2, -1, invalid},
        {Prepare, Stop::DriveRefused, -1, -1, invalid},
        {Unreached, Stop::NotDelivered, 0, 0, "The command did not reach the drive (error 1117)."},
        {NoLetter, Stop::NotDelivered, 0, 0, "The command could not be sent to the drive."},
        {NoSize, Stop::NoProcedure, -1, 1, "No download procedure fits the file's size."},
    };
    for (const auto& p : kProcedures) {
        for (const auto& c : cases) {
            if (c.fault == Prepare && p.checked == 0) continue;
            Loaded l(p);
            int32_t chunk = c.chunk == -2 ? p.chunks() - 1 : c.chunk;
            // The small procedures stop at their preparation when it cannot be sent.
            if ((c.fault == Unreached || c.fault == NoLetter) && p.checked) chunk = -1;
            const auto begin = l.bytes.begin();
            if (c.fault == Short) l.write({begin, l.bytes.end() - 10});
            if (c.fault == Third) l.write({begin, begin + 2 * p.chunkLength + 1});
            if (c.fault == Changed)
                l.write(referenceImage({p.row, p.size, "2.07", Flaw::None, 99}));
            if (c.fault == Removed) std::filesystem::remove(l.path);
            if (c.fault == Refused) l.drive->failNth(p.chunkOpcode, chunk + 1, {5, 0x24, 0});
            if (c.fault == Prepare) l.drive->failAll(p.checked, {5, 0x24, 0});
            if (c.fault == NoLetter) l.state.currentDevice.driveLetter = 26;
            if (c.fault == NoSize) l.state.procedureIndex = 5;
            auto& machine = l.pc.machine;
            if (c.fault == Unreached)
                machine.failIoControl("\\\\.\\E:", dw::kIoctlScsiPassThroughDirect, 1117);
            const std::string name = std::to_string(p.size) + " case " + std::to_string(&c - cases);
            l.state.currentDevice.sense[2] = 0x02;  // an earlier failure's sense
            machine.setTickCount(0);
            EXPECT_EQ(l.outcome(l.upgrade()), std::string("Upgrade failed! ") + c.text) << name;
            EXPECT_EQ(l.state.download.stop, c.stop) << name;
            EXPECT_EQ(l.state.download.chunk, chunk) << name;
            EXPECT_EQ(l.drive->commits, 0) << name;
            // The record ends with the refused command or the last chunk sent before the stop.
            const size_t sent = std::max(chunk, 0) + (c.stop == Stop::DriveRefused && chunk >= 0);
            const size_t all = c.commands >= 0 ? c.commands : 1 + p.preparation.size() + sent;
            EXPECT_EQ(l.drive->received().size(), all) << name;
            const bool last = c.stop == Stop::DriveRefused && chunk == p.chunks() - 1;
            EXPECT_EQ(machine.tickCount(), p.settles && last ? 2000u : 0u) << name;
        }
    }
}

TEST(DownloadProcedures, a6025AtRevision5a02TakesASecondPassWhoseResultCounts) {
    const struct {
        const char *row, *version;
        int failing, commits;  // failing: this WRITE BUFFER fails
        uint32_t passes;
    } cases[] = {
        {"CD-R   KV-W6025A", "5a02", 0, 2, 2},
        {"CD-R   KV-W6025A", "5a03", 0, 1, 1},
        {"CD-R   KV-W2321A", "5a02", 0, 1, 1},        // another model never takes one
        {"CD-R   KV-W6025A", "5a02", 64 + 10, 1, 2},  // in the second pass
    };
    for (const auto& c : cases) {
        Loaded l(kProcedures[2], c.version, c.row);
        if (c.failing) l.drive->failNth(0x3B, c.failing, {0x03, 0x0C, 0x09});
        EXPECT_EQ(l.upgrade(), c.failing == 0) << c.row << " " << c.version;
        EXPECT_EQ(l.drive->commits, c.commits) << c.row << " " << c.version;
        EXPECT_EQ(l.state.passCounter, c.passes) << c.row << " " << c.version;
    }
}

TEST(DownloadProcedures, theSettleWaitSleepsOnlyWhatIsLeft) {
    sim::Machine clock;
    clock.setTickCount(100);
    dw::waitSince(clock, 0xFFFFFF00u, 2000);  // 356 ms have passed, across the wrap
    EXPECT_EQ(clock.tickCount(), 0xFFFFFF00u + 2000u);
}
