// The five download procedures and the dispatcher, seen through the drive's command record.
// The images are built from the documented format (reference_images.h), not by the program.
#include "firmware_support.h"
#include "linux_support.h"

using namespace testing_support;
using Stop = dw::DownloadStop;

namespace {

// The commands before the chunks, as documented: CDB / bytes moved.
const std::string kTur = "00 00 00 00 00 00 / 0", kRezero = "01 00 00 00 00 00 / 0",
                  kSense = "03 00 00 00 12 00 / 18", kEject = "1B 00 00 00 02 00 / 0",
                  kPrepare = "E1 04 FF 00 00 00 00 00 00 00 00 00 / 0",
                  kInquiry = "12 00 00 00 38 00 / 56";

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

// A drive of the procedure's row with a validated image, its record cleared.
struct Loaded : FirmwareBench {
    std::vector<uint8_t> bytes;
    explicit Loaded(const Procedure& p, const char* version = "2.07")
        : FirmwareBench(p.row), bytes(referenceImage({p.row, p.size, version})) {
        write(bytes);
        EXPECT_TRUE(validate()) << p.size << ": " << dialog.status;
        drive->clearReceived();
    }
};

// The outcomes' texts.
const std::string f = "Upgrade failed! ", succeeded = "Upgrade succesfull",
                  invalid = f + "Invalid parameter (code 052400)",
                  unsent = f + "The command could not be sent to the drive.",
                  incomplete = f + "The drive did not complete the command (error ",
                  lastIncomplete = f + "The drive did not complete the last command (error ",
                  mayHold = "); it may hold the new firmware.";

void be(auto& cdb, uint32_t v, int n) {
    while (n--) cdb.push_back(uint8_t(v >> 8 * n));
}

// A chunk as documented: WRITE BUFFER mode 4 (5 commits), buffer 0, 24-bit offset and length,
// 4 bytes more data; E2h mode 1 (0 commits), 32-bit address and length.
std::string chunkCommand(const Procedure& p, int32_t k) {
    const bool last = k + 1 == p.chunks(), wb = p.chunkOpcode == 0x3B;
    const uint32_t at = k * p.chunkLength, n = std::min(p.chunkLength, p.size - at);
    std::vector<uint8_t> cdb = {p.chunkOpcode};
    if (wb) be(cdb, last ? 0x0500 : 0x0400, 2), be(cdb, at, 3), be(cdb, n, 3), be(cdb, 0, 1);
    if (!wb) be(cdb, !last, 1), be(cdb, at, 4), be(cdb, n, 4), be(cdb, 0, 2);
    return hex(cdb) + " / " + std::to_string(n + (wb ? 4 : 0));
}

// A KV-829A's 1,004 KB upgrade through any transport, validated first; the Windows PC only
// keeps the time and the texts.
struct Through {
    sim::Machine clock;
    dw::UpgradeState state;
    RecordingUpgradeDialog dialog;
    TempFolder folder;
    std::vector<uint8_t> bytes = referenceImage({"DVDR   KV-829A", 0xFB000, "2.07"});
    Through(dw::ScsiTransport& transport, const dw::DeviceEntry& device) {
        std::string error;
        EXPECT_TRUE(dw::tools::writeFile(folder.file("new.bin"), bytes, error)) << error;
        aimUpgrade(state, transport, device, folder.file("new.bin"));
        EXPECT_TRUE(dw::ValidateUpgradeFile(state, dialog)) << dialog.status;
    }
    std::string upgrade() {
        return dw::UpgradeOutcomeText(dw::RunUpgrade(state, dialog, clock), state, clock);
    }
};

}  // namespace

// Each procedure sends the image in its order of commands and commits it, waiting after the
// committing chunk where it must, the tick count wrapping meanwhile. What the program cannot send,
// or sees wrong, stops the download there: nothing more goes out, nothing is committed, and the
// outcome says why. Only a committing chunk that was sent is followed by the settle wait. A
// command whose I/O request failed may have reached the drive, the committing one included, and
// is not told as one that could not be sent; neither changes the sense the drive left before.
TEST(DownloadProcedures, eachProcedureSendsTheImageInItsOrderOrStopsAndSaysWhy) {
    enum Fault {
        Ok,
        Short,
        Third,
        Changed,
        Gone,
        Dir,
        Refused,
        Prep,
        Lost,
        NoLetter,
        NoSize,
        Unopened,
        BadHandle,
        Denied,
        Late,
        LateCommit,
        ResetCommit
    };
    const std::string shorter = f + "The upgrade file is shorter than when it was checked.";
    const struct {
        Fault fault;
        Stop stop;
        int32_t chunk, commands;  // chunk -2: the committing one; commands in all, -1: to the stop
        std::string text;
    } cases[] = {
        {Ok, Stop::None, -1, 1000, succeeded},  // with a medium loaded, ejected first
        {Short, Stop::FileShorter, -2, -1, shorter},
        {Third, Stop::FileShorter, 2, -1, shorter},
        {Changed, Stop::FileChanged, -2, -1, f + "The upgrade file changed after it was checked."},
        {Gone, Stop::FileUnopenable, -1, 1, f + "The upgrade file could not be opened."},
        {Dir, Stop::FileUnreadable, 0, -1, f + "The upgrade file could not be read."},
        {Refused, Stop::DriveRefused, 0, -1, invalid},
        {Refused, Stop::DriveRefused, -2, -1, invalid},
        {Prep, Stop::DriveRefused, -1, -1, invalid},
        {Lost, Stop::NotCompleted, 0, 0, incomplete + "1117)."},
        {NoLetter, Stop::NotSent, 0, 0, unsent},
        {NoSize, Stop::NoProcedure, -1, 1, f + "No download procedure fits the file's size."},
        {Unopened, Stop::NotSent, 0, 0, unsent},
        {BadHandle, Stop::NotSent, 0, 0, unsent},
        {Denied, Stop::NotSent, 0, 0, unsent},
        {Late, Stop::NotCompleted, 2, -1, incomplete + "121)."},
        {LateCommit, Stop::NotCompleted, -2, -1, lastIncomplete + "1167" + mayHold},
        {ResetCommit, Stop::NotCompleted, -2, -1, lastIncomplete + "1117" + mayHold},
    };
    for (const auto& p : kProcedures) {
        for (const auto& c : cases) {
            if (c.fault == Prep && p.checked == 0) continue;
            Loaded l(p);
            int32_t chunk = c.chunk == -2 ? p.chunks() - 1 : c.chunk;
            // The small procedures stop at their preparation when it cannot be sent.
            const bool nothingGoesThrough = c.fault == Lost || c.fault == NoLetter ||
                                            c.fault == Unopened || c.fault == BadHandle ||
                                            c.fault == Denied;
            if (nothingGoesThrough && p.checked) chunk = -1;
            // The drive took the failed command: refused, or its answer lost.
            const bool tookIt = c.fault == Refused || c.fault >= Late;
            auto& machine = l.pc.machine;
            l.drive->mediumLoaded = c.fault == Ok;
            if (c.fault == Short) l.bytes.resize(p.size - 10), l.write(l.bytes);
            if (c.fault == Third) l.bytes.resize(2 * p.chunkLength + 1), l.write(l.bytes);
            if (c.fault == Changed) l.bytes[p.size / 2] ^= 1, l.write(l.bytes);
            if (c.fault == Gone || c.fault == Dir) std::filesystem::remove(l.path);
            if (c.fault == Dir) std::filesystem::create_directory(l.path);  // opens, reads not
            if (c.fault == Refused) l.drive->failNth(p.chunkOpcode, chunk + 1, {5, 0x24, 0});
            if (c.fault == Prep) l.drive->failAll(p.checked, {5, 0x24, 0});
            if (c.fault == NoLetter) l.state.currentDevice.driveLetter = 26;
            if (c.fault == NoSize) l.state.procedureIndex = 5;
            if (c.fault == Lost)
                machine.failIoControl("\\\\.\\E:", dw::kIoctlScsiPassThroughDirect, 1117);
            if (c.fault == Denied)  // another program's exclusive lock, say
                machine.failIoControl("\\\\.\\E:", dw::kIoctlScsiPassThroughDirect, 5);
            if (c.fault == Unopened) machine.failOpen("\\\\.\\E:", dw::winerr::kAccessDenied);
            if (c.fault == BadHandle) {  // a kept handle that is no longer valid
                l.pc.transport.letterHandle[4] = 0x4444;
                l.pc.transport.letterHandleOpen[4] = 1;
            }
            const uint32_t late = c.fault == Late         ? dw::winerr::kSemTimeout
                                  : c.fault == LateCommit ? dw::winerr::kDeviceNotConnected
                                                          : dw::winerr::kIoDevice;
            if (c.fault >= Late)
                machine.failAfterDrive("\\\\.\\E:", p.chunkOpcode, chunk + 1, late);
            l.state.currentDevice.sense[12] = 0x77;  // left by an earlier command
            const std::string name = std::to_string(p.size) + " case " + std::to_string(&c - cases);
            machine.setTickCount(0xFFFFFF00u);
            const int refreshes = l.dialog.refreshes;
            const bool ok = l.upgrade();
            EXPECT_EQ(l.outcome(ok), c.text) << name;
            EXPECT_EQ(l.state.download.stop, c.stop) << name;
            EXPECT_EQ(l.state.download.chunk, chunk) << name;
            const bool committing = chunk == p.chunks() - 1 &&
                                    (c.stop == Stop::DriveRefused || c.stop == Stop::NotCompleted);
            EXPECT_EQ(l.state.download.committing, committing) << name;
            const bool committed = ok || (committing && c.fault >= Late);
            EXPECT_EQ(l.drive->commits == 1 && l.drive->committedImage == l.bytes, committed)
                << name;
            // Without an answer the sense is the dispatcher's TEST UNIT READY's (no medium), or
            // the earlier one when nothing went through.
            if (c.stop == Stop::NotSent || c.stop == Stop::NotCompleted) {
                EXPECT_EQ(l.state.currentDevice.sense[12], nothingGoesThrough ? 0x77 : 0x3A)
                    << name;
            }
            // The dispatcher's TEST UNIT READY (and eject), the preparation, the chunks; after a
            // stop, up to the refused command or the last chunk sent.
            std::vector<std::string> want = {kTur}, got;
            if (c.fault == Ok) want.push_back(kEject);
            want.insert(want.end(), p.preparation.begin(), p.preparation.end());
            for (int32_t k = 0; k < p.chunks(); ++k) want.push_back(chunkCommand(p, k));
            // The 6025 asked for its revision through its letter: a second pass or not.
            if (c.fault == Ok && p.size == 0x80000) want.push_back(kInquiry);
            for (const auto& r : l.drive->received())
                got.push_back(hex(r.cdb) + " / " + std::to_string(r.transferLength));
            const size_t sent = std::max(chunk, 0) + (tookIt && chunk >= 0);
            const size_t all = c.commands >= 0 ? c.commands : 1 + p.preparation.size() + sent;
            want.resize(std::min(want.size(), all));
            EXPECT_EQ(got, want) << name;
            const bool last = ok || (tookIt && chunk == p.chunks() - 1);
            EXPECT_EQ(machine.tickCount() - 0xFFFFFF00u, p.settles && last ? 2000u : 0u) << name;
            // The small procedures refresh the dialog after each chunk but the committing one,
            // and at the end.
            EXPECT_EQ(ok * (l.dialog.refreshes - refreshes), ok * p.refreshes * p.chunks()) << name;
        }
    }
}

// Its result is the upgrade's: a chunk of the second pass fails it. The revision is the drive's
// own answer, not the copy its port driver took at boot.
TEST(DownloadProcedures, a6025AtRevision5a02TakesASecondPassWhoseResultCounts) {
    for (const char* row : {"CD-R   KV-W6025A", "CD-R   KV-W2321A"}) {  // only the 6025 does
        for (const char* version : {"5a02", "5a03"}) {
            for (const bool failing : {false, true}) {
                Procedure p = kProcedures[2];
                p.row = row;
                Loaded l(p, version);
                const bool twice = row[11] == '6' && version[3] == '2';
                if (failing) l.drive->failNth(0x3B, 64 + 10, {0x03, 0x0C, 0x09});  // 2nd pass
                EXPECT_EQ(l.upgrade(), !(twice && failing)) << row << " " << version;
                EXPECT_EQ(l.drive->commits, twice && !failing ? 2 : 1) << row << " " << version;
                EXPECT_EQ(l.drive->receivedWithOpcode(0x3B).size(),
                          twice ? failing ? 74u : 128u : 64u)
                    << row << " " << version;
            }
        }
    }
}

// Over ASPI and SG_IO too: a request the ASPI layer answers itself (or leaves pending), and an
// SG_IO the kernel turns down, were not sent, and the drive's earlier sense stays; an SG_IO
// whose answer is lost after the drive took the command did not complete, and the committing
// one may have left the new firmware in the drive. The number told is the errno, or the host or
// driver status. What the kernel says of a chunk is read whole: a chunk the drive answers GOOD
// but takes only in part (a residual beyond the 4 bytes WRITE BUFFER hands over beyond it) stops
// the download as a refused one does, before the committing chunk; taken so, the committing chunk
// leaves firmware the drive may hold incomplete. Sense data counts only as far as the kernel
// wrote it and with a response code of 70h to 73h; without it the status is named; descriptor
// format has its key, ASC and ASCQ at its own offsets. Through the sg node and through sr.
TEST(DownloadProcedures, overAspiAndSgIoEachWayAChunkFailsIsToldApart) {
    const std::string answered = f + "The drive answered ", none = " without sense data.",
                      check = answered + "CHECK CONDITION" + none,
                      part = f +
                             "The drive took only part of a chunk; the committing command "
                             "was not sent.",
                      last = f +
                             "The drive took only part of the last chunk; it may hold "
                             "incomplete firmware.";
    using Bytes = std::vector<uint8_t>;
    const Bytes noCode = {0x00, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x24},
                fixedValid = {0xF0, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x24},
                descriptor = {0x72, 0x05, 0x24, 0x00, 0, 0, 0, 0},
                deferred = {0xF3, 0x03, 0x0C, 0x09, 0, 0, 0, 0};
    enum Way { Aspi, Kernel, Lost, Sg, Sr };  // Sg, Sr: the drive takes part, or answers
    const struct {
        Way way;
        int nth;   // the failing chunk, from 1; 126 commits
        int code;  // the ASPI status, the errno the kernel refuses with, the bytes the drive
                   // takes (8192, the last 4096) or, under 256, the status it answers with
        sim::LostAnswer lost;
        Bytes sense;  // sent with that status
        Stop stop;
        std::string text;
    } cases[] = {
        {Aspi, 3, 0x80, {}, {}, Stop::NotSent, unsent},
        {Aspi, 3, 0x81, {}, {}, Stop::NotSent, unsent},
        {Aspi, 3, 0x82, {}, {}, Stop::NotSent, unsent},
        {Aspi, 3, 0xE0, {}, {}, Stop::NotSent, unsent},
        {Aspi, 3, 0x00, {}, {}, Stop::NotSent, unsent},    // pending after its wait
        {Aspi, 126, 0x00, {}, {}, Stop::NotSent, unsent},  // the committing chunk
        {Kernel, 1, EPERM, {}, {}, Stop::NotSent, unsent},
        {Lost, 3, 0, {3, 0, 0}, {}, Stop::NotCompleted, incomplete + "3)."},  // DID_TIME_OUT
        {Lost, 3, 0, {0, 0, ENODEV}, {}, Stop::NotCompleted, incomplete + "19)."},
        // Once write() took the request, any errno comes after it, even one SG_IO gives before.
        {Lost, 3, 0, {0, 0, ENXIO}, {}, Stop::NotCompleted, incomplete + "6)."},
        {Lost,
         126,
         0,
         {8, 0, 0},
         {},
         Stop::NotCompleted,
         lastIncomplete + "8" + mayHold},  // DID_RESET
        // DRIVER_TIMEOUT
        {Lost, 126, 0, {0, 6, 0}, {}, Stop::NotCompleted, lastIncomplete + "6" + mayHold},
        {Lost, 126, 0, {0, 0, EIO}, {}, Stop::NotCompleted, lastIncomplete + "5" + mayHold},
        {Sg, 3, 8192, {}, {}, Stop::None, succeeded},  // 4 bytes left: as ever
        {Sg, 3, 8191, {}, {}, Stop::DriveTookPart, part},
        {Sr, 3, 4096, {}, {}, Stop::DriveTookPart, part},
        {Sg, 126, 2048, {}, {}, Stop::DriveTookPart, last},
        {Sg, 3, 0x02, {}, {}, Stop::DriveRefused, check},
        {Sr, 3, 0x02, {}, {}, Stop::DriveRefused, check},
        {Sg, 3, 0x08, {}, {}, Stop::DriveRefused, answered + "BUSY" + none},
        {Sr, 3, 0x18, {}, {}, Stop::DriveRefused, answered + "RESERVATION CONFLICT" + none},
        // Without a response code of sense data the key and codes where fixed format has them
        // say nothing.
        {Sg, 3, 0x02, {}, noCode, Stop::DriveRefused, check},
        {Sr, 3, 0x02, {}, noCode, Stop::DriveRefused, check},
        {Sg, 3, 0x02, {}, descriptor, Stop::DriveRefused, f + "Invalid parameter (code 052400)"},
        {Sr, 126, 0x02, {}, deferred, Stop::DriveRefused, f + "Buffer underrun (code 030C09)"},
        {Sr, 3, 0x02, {}, fixedValid, Stop::DriveRefused, f + "Invalid parameter (code 052400)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("case " + std::to_string(&c - cases));
        AspiPc aspi;
        LinuxPc lpc;
        sim::KorvaneDrive* drive = &aspi.machine.addDrive("DVDR   KV-829A", "1.00");
        dw::ScsiTransport* transport = &aspi.transport;
        dw::DeviceEntry device = AspiPc::entry(0, 1);
        if (c.way == Aspi) {
            aspi.machine.aspi().attach(*drive, 0, 1);
            aspi.machine.aspi().answerItself(0, 1, 0x3B, c.nth, uint8_t(c.code));
        } else {
            // The kernel's command filter stands only behind a block node: no sg node there.
            const bool sr = c.way == Kernel || c.way == Sr;
            lpc.add({sim::LinuxAttachment::Sata, 2, 0, 0, 0, sr ? -1 : 1, 0});
            lpc.scan();
            drive = lpc.drives[0].get();
            transport = &lpc.transport;
            device = lpc.transport.adapters[2].buses[0].at(0);
            if (c.way == Kernel) lpc.machine.refuseCommand(0x3B, c.code);
            if (c.way == Lost) lpc.machine.loseAnswer(*drive, 0x3B, c.nth, c.lost);
            if (c.code > 255) drive->takeOnlyNth(0x3B, c.nth, c.code);
            if (c.way >= Sg && c.code < 256) drive->answerNth(0x3B, c.nth, c.code, c.sense);
        }
        Through t(*transport, device);
        drive->clearReceived();
        t.state.currentDevice.sense[12] = 0x77;
        EXPECT_EQ(t.upgrade(), c.text);
        const bool stopped = c.stop != Stop::None, taken = c.way == Lost || c.code > 255;
        EXPECT_EQ(std::tuple(t.state.download.stop, t.state.download.chunk,
                             t.state.download.committing),
                  std::tuple(c.stop, stopped ? c.nth - 1 : -1, stopped && c.nth == 126));
        // The sense is the dispatcher's TEST UNIT READY's (no medium), the last the drive gave.
        if (c.way < Sg) {
            EXPECT_EQ(t.state.currentDevice.sense[12], 0x3A);
        }
        const size_t chunks = c.way == Kernel ? 0 : !stopped ? 126 : c.nth - (c.way == Aspi);
        EXPECT_EQ(drive->receivedWithOpcode(0x3B).size(), chunks);
        EXPECT_EQ(drive->commits, !stopped || (c.nth == 126 && taken));
    }
}

// What the signal handling rests on: of everything the procedures send (the chunks and their
// preparation), only the chunk that makes the drive keep the image counts as committing (the
// opcode is the CDB's first byte, the mode its second). Commands no procedure sends but that look
// alike (the bytes swapped, WRITE BUFFER's other modes, E2h's other modes) do not. Answered GOOD,
// those carrying firmware and the preparation may have changed the drive; no other command has.
TEST(DownloadProcedures, onlyTheChunkThatMakesTheDriveKeepTheImageCommits) {
    const struct {
        std::vector<uint8_t> cdb;
        bool commits, changes;
    } lookalikes[] = {
        {{0x3B, 0x05}, true, true},   {{0x3B, 0x04}, false, true},  {{0x3B, 0x07}, false, true},
        {{0x3B, 0x02}, false, true},  {{0x05, 0x3B}, false, false}, {{0x04, 0x3B}, false, false},
        {{0xE2, 0x00}, true, true},   {{0xE2, 0x01}, false, true},  {{0xE2, 0x05}, false, true},
        {{0x00, 0xE2}, false, false}, {{0xE1, 0x00}, false, true},  {{0xE3, 0x00}, false, false},
        {{0x3C, 0x05}, false, false}, {{0x00, 0x00}, false, false}, {{0xE1, 0x04}, false, true},
        {{0x01, 0x00}, false, false}, {{0x03, 0x00}, false, false}, {{0x12, 0x00}, false, false},
        {{0x1B, 0x00}, false, false},
    };
    for (const auto& c : lookalikes) {
        dw::ScsiCommand command;
        std::copy(c.cdb.begin(), c.cdb.end(), command.cdb.begin());
        EXPECT_EQ(dw::IsCommittingCommand(command), c.commits) << hex(c.cdb);
        EXPECT_EQ(dw::MayHaveChangedTheDrive(command, 1), c.changes) << hex(c.cdb);
    }
}
