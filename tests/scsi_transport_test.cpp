// The SCSI transports, seen from the drive's side and from the system's: what both make of a
// command (the CDB length and data direction the opcode gives, the status and sense of a
// failure, the INQUIRY strings); then what is pass-through's own (drive letters, system errors,
// kept handles, the port driver's copy, the adapter inquiry of a port) and ASPI's own (its ways
// of completing, the statuses it passes on, the host adapter inquiry).
#include <set>

#include "firmware/command_builders.h"
#include "test_support.h"

using namespace testing_support;
using Completion = sim::AspiLayer::Completion;

namespace {

// The same drive behind pass-through (transport 0: port 1, target 2, E:, on an IEEE 1394
// adapter, so that INQUIRY goes through the letter) and ASPI (transport 1: adapter 1, target 2);
// pass-through has another drive on port 0, target 0, at D:.
struct BothTransports : ::testing::Test {
    PassThroughPc pt;
    AspiPc aspi;
    sim::KorvaneDrive* drives[2] = {&pt.machine.addDrive("DVDR   KV-825A", "2.00"),
                                    &aspi.machine.addDrive("DVDR   KV-825A", "2.00")};
    dw::DeviceEntry devices[2] = {PassThroughPc::entry(1, 0, 2, 0, 4), devices[0]};
    dw::ScsiTransport* transports[2] = {&pt.transport, &aspi.transport};
    dw::InquiryStrings s;
    dw::AdapterInfo info;

    void SetUp() override {
        pt.addAdapter(0);
        pt.addAdapter(1).busKind = dw::BusKind::Ieee1394;
        pt.machine.attach(*drives[0], 1, 0, 2, 0, 4);
        pt.machine.attach(pt.machine.addDrive("CD-R   KV-W6025A", "1.00"), 0, 0, 0, 0, 3);
        aspi.machine.aspi().adapters.resize(2);
        aspi.machine.aspi().attach(*drives[1], 1, 2);
    }
    int32_t inquiry(dw::DeviceEntry d) { return pt.transport.inquiry(d, s); }
    int32_t rezero(dw::DeviceEntry& d) { return dw::RezeroUnit(pt.transport, d); }
};

}  // namespace

// Groups 0 and 1-2 go out as 6 and 10 bytes, every other opcode as 12 (never 16). Exactly the
// eighteen data-out opcodes send their buffer; only no buffer and no length mean no data phase.
// The ASPI block asks for an event.
TEST_F(BothTransports, theOpcodeDecidesTheCdbLengthAndTheDataDirection) {
    const std::set<int> out = {0x04, 0x0A, 0x15, 0x1D, 0x2A, 0x3B, 0x54, 0x55, 0x5D,
                               0xA3, 0xAA, 0xB6, 0xBF, 0xD5, 0xE2, 0xE5, 0xF0, 0xFD};
    uint8_t buffer[36] = {};
    for (int op = 0; op < 256; ++op) {
        const int direction = out.count(op) ? 2 : 1;  // None, In, Out
        const size_t cdbLength = op < 0x20 ? 6 : op < 0x60 ? 10 : 12;
        for (int form = 0; form < 3; ++form) {  // with data, a buffer of no length, neither
            dw::ScsiCommand command;
            command.cdb[0] = static_cast<uint8_t>(op);
            command.data = form < 2 ? buffer : nullptr;
            command.dataLength = form == 0 ? sizeof buffer : 0;
            const int sent = form < 2 ? direction : 0;
            SCOPED_TRACE(std::to_string(op) + " " + std::to_string(form));
            for (int t = 0; t < 2; ++t) {
                transports[t]->execute(devices[t], command);
                const auto& seen = drives[t]->received().back();
                EXPECT_EQ(std::tuple(seen.cdb.size(), int(seen.direction), seen.transferLength),
                          std::tuple(cdbLength, sent, command.dataLength));
            }
            const auto& pass = pt.machine.passThroughRequests().back();
            const auto& srb = aspi.machine.aspi().requests().back();
            EXPECT_EQ(std::tuple(int(pass.dataIn), pass.timeOutValue, int(srb.flags),
                                 int(srb.senseLength)),
                      std::tuple((std::array{2, 1, 0}[sent]), op == 0x5C ? 30u : 4800u,
                                 (std::array{0x40, 0x48, 0x50}[sent]), 14));
        }
    }
}

// Only 14 bytes of sense are stored, and a later success leaves them. A failed INQUIRY through
// the drive letter passes its result on; ASPI's is 0. Without a transport nothing is sent.
TEST_F(BothTransports, aFailureBringsItsStatusAndSenseAndInquiryReadsTheDrive) {
    for (int t = 0; t < 2; ++t) {
        devices[t].sense[14] = 0xAA;
        EXPECT_EQ(dw::TestUnitReady(*transports[t], devices[t]), t == 0 ? 2 : 4) << t;
        EXPECT_EQ(transports[t]->inquiry(devices[t], s), 1 + 0x05 * 256) << t;
        EXPECT_EQ(hex(drives[t]->received().back().cdb), "12 00 00 00 38 00") << t;
        EXPECT_EQ(std::string(s.vendor) + s.product + s.revision, "KORVANE DVDR   KV-825A  2.00");
        EXPECT_EQ(hex({devices[t].sense, devices[t].sense + 15}),
                  "70 00 02 00 00 00 00 0A 00 00 00 00 3A 00 AA");
        drives[t]->failAll(0x12, {0x05, 0x24, 0x00});
        EXPECT_EQ(transports[t]->inquiry(devices[t], s), t == 0 ? 2 : 0) << t;
        transports[t]->kind = dw::TransportKind::None;
        EXPECT_EQ(transports[t]->execute(devices[t], dw::ScsiCommand{}) +
                      transports[t]->inquiry(devices[t], s) + transports[t]->queryAdapter(1, info),
                  0);
        EXPECT_EQ(drives[t]->received().size(), 3u) << t;
    }
}

// Any status but completion is a failure, passed on as it came; the statuses with which the
// layer answers a request itself (invalid command, adapter, device or request block, and a
// request still pending) read as not sent, and the drive's sense is not taken from them.
TEST_F(BothTransports, onlyCompletionReadsAsSuccessOverAspi) {
    drives[1]->mediumLoaded = true;
    const std::set<int> ownAnswers = {0x00, 0x80, 0x81, 0x82, 0xE0};
    for (int status = 0; status < 256; ++status) {
        aspi.machine.aspi().forcedStatus = static_cast<uint8_t>(status);
        const bool complete = status == dw::aspi::kComplete, own = ownAnswers.count(status) != 0;
        const int32_t result = complete ? 1 : own ? 0x200 + status : status;
        devices[1].sense[12] = 0x77;
        EXPECT_EQ(dw::RezeroUnit(aspi.transport, devices[1]), result);
        EXPECT_EQ(dw::wasNotSent(result), own) << status;
        EXPECT_EQ(devices[1].sense[12], own || complete ? 0x77 : 0) << status;
        EXPECT_EQ(aspi.transport.inquiry(devices[1], s) & 0xFF, complete ? 1 : 0) << status;
    }
}

// Without an event the transport polls, yielding without sleeping; with one it waits only for
// a pending request ("signalled": pending, with the event already set). The event is reset
// before use and after its wait, and closed. Each row: the completion, whether events fail, the
// waits and the resets of a command.
TEST_F(BothTransports, eachAspiCompletionGivesTheFinalStatus) {
    const std::tuple<Completion, bool, int, int> cases[] = {{Completion::Synchronous, false, 0, 1},
                                                            {Completion::Deferred, false, 1, 2},
                                                            {Completion::Signalled, false, 1, 2},
                                                            {Completion::Deferred, true, 0, 0}};
    auto& m = aspi.machine;
    for (const auto& [completion, eventsFail, waits, resets] : cases) {
        m.aspi().completion = completion;
        m.eventsFail = eventsFail;
        m.eventWaits = m.eventResets = m.sleeps = 0;
        EXPECT_EQ(dw::TestUnitReady(aspi.transport, devices[1]), 4) << waits << resets;
        EXPECT_EQ(dw::RezeroUnit(aspi.transport, devices[1]), 1) << waits << resets;
        EXPECT_EQ(std::tuple(m.eventWaits, m.eventResets, m.sleeps >= (eventsFail ? 6 : 0),
                             m.eventsCreated - m.eventsClosed + m.aspi().pendingRequests(),
                             m.tickCount()),
                  std::tuple(2 * waits, 2 * resets, true, 0, 1000u));
    }
}

TEST_F(BothTransports, aspiAdapterInquiryCopiesTheIdentifiersWithinTheCall) {
    aspi.machine.aspi().adapters[1].managerId = "ASPI for WIN32xx";  // all 16 characters used
    aspi.machine.aspi().adapters[1].adapterId = "ATAPI CD-ROM BUS";
    std::memset(static_cast<void*>(&info), 'x', sizeof info);
    EXPECT_EQ(aspi.transport.queryAdapter(1, info), 1);
    EXPECT_EQ(std::string(info.managerId) + "|" + info.adapterId + "|" +
                  hex({info.unique, info.unique + 1}) + "|" + std::to_string(info.hostScsiId) +
                  "|" +
                  std::to_string(aspi.machine.eventsCreated +
                                 aspi.machine.aspi().requests()[0].flags),
              "ASPI for WIN32xx|ATAPI CD-ROM BUS|00|7|0");  // no flags; completes within the call
    EXPECT_EQ(aspi.transport.queryAdapter(2, info), 0x81);
}

// Opened and closed per command (the request's layout the simulated system checks); a status byte
// other than GOOD is the failure (1, which is no SCSI status, is kept apart); a drive that does not
// answer is the system's time-out. An addressing fault is a result, and nothing is sent.
TEST_F(BothTransports, aCommandGoesThroughTheDriveLetterAndItsStatusIsTheResult) {
    const int cases[][2] = {{0, 1}, {1, dw::kResultNoStatus}, {8, 8}, {0x18, 0x18}};
    for (const auto& [status, result] : cases) {
        drives[0]->forcedStatus = status;
        EXPECT_EQ(rezero(devices[0]), result) << status;
    }
    const auto& r = pt.machine.passThroughRequests().back();
    EXPECT_EQ(r.deviceName + " target " + std::to_string(r.targetId), "\\\\.\\E: target 2");
    EXPECT_EQ(pt.machine.openedDevices().size() + pt.machine.openHandleCount(), 4u);
    drives[0]->forcedStatus.reset();
    drives[0]->stopAnsweringAfter(0);
    EXPECT_EQ(dw::systemErrorOf(rezero(devices[0])), dw::winerr::kSemTimeout);
    const int faults[][4] = {{-1, 1, 4, 0}, {1, -1, 4, 0}, {1, 1, -1, -1}, {1, 1, 26, -1}};
    for (const auto& [port, target, letter, result] : faults) {
        auto d = PassThroughPc::entry(port, 0, target, 0, letter);
        EXPECT_EQ(rezero(d), result) << port << "/" << target << "/" << letter;
    }
    EXPECT_EQ(pt.machine.openedDevices().size(), 5u);  // nothing opened for an addressing fault
}

// 1 is what a driver without pass-through support answers; 257 shares its low byte.
TEST_F(BothTransports, aSystemErrorNeverReadsAsSuccessAndKeepsTheEarlierSense) {
    devices[0].sense[12] = 0x3A;  // left by an earlier failure
    for (const uint32_t error : {1u, 2u, 5u, 31u, 121u, 257u, 1117u}) {
        for (const bool atOpen : {true, false}) {
            pt.machine.failOpen("\\\\.\\E:", atOpen ? error : 0);
            pt.machine.failIoControl("\\\\.\\E:", dw::kIoctlScsiPassThroughDirect,
                                     atOpen ? 0 : error);
            const int32_t result = rezero(devices[0]);
            EXPECT_EQ(dw::systemErrorOf(result), error) << atOpen << " " << error;
            // A failed open sent nothing, nor did a request refused for access; any other
            // failed I/O request may have reached the drive.
            const bool unsent = atOpen || error == dw::winerr::kAccessDenied;
            EXPECT_EQ(dw::wasNotSent(result), unsent) << error;
            EXPECT_EQ(dw::incompleteCode(result), unsent ? 0 : error) << error;
        }
    }
    EXPECT_EQ(devices[0].sense[12], 0x3A);
    EXPECT_TRUE(drives[0]->received().empty());
    // A failure that leaves no error code is a general failure.
    EXPECT_EQ(dw::systemErrorOf(dw::commandResult(dw::CommandOutcome::failedWith(0))), 31u);
}

// C: (and A:, B:) keeps no handle; a second open closes the first; F: fails to open: no handle.
// Each row: the letter, the target, whether a handle is kept, and the opens of three commands.
TEST_F(BothTransports, aKeptHandleServesEveryCommandUntilItIsClosed) {
    pt.machine.attach(pt.machine.addDrive("CD-R   KV-W6025A", "1.00"), 0, 0, 2, 0, 2);
    pt.machine.failOpen("\\\\.\\F:", dw::winerr::kAccessDenied);
    const int cases[][4] = {{2, 2, 0, 3}, {3, 0, 1, 2}, {5, 2, 0, 5}};
    for (const auto& [letter, target, kept, opens] : cases) {
        auto d = PassThroughPc::entry(0, 0, target, 0, letter);
        const size_t before = pt.machine.openedDevices().size();
        pt.transport.openDriveHandle(d);
        pt.transport.openDriveHandle(d);
        EXPECT_EQ(pt.transport.letterHandleOpen[letter] + pt.machine.openHandleCount(), 2 * kept);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(rezero(d) == 1, letter != 5) << letter;
        EXPECT_EQ(pt.machine.openedDevices().size() - before, size_t(opens)) << letter;
        pt.transport.closeDriveHandle(d);
        EXPECT_EQ(pt.transport.letterHandleOpen[letter] + pt.machine.openHandleCount(), 0);
    }
}

// No command is sent; control bytes become blanks, NULs stay.
TEST_F(BothTransports, theDeviceMapGivesThePortDriversCopyOfTheDevicesOwnAddress) {
    pt.transport.adapters[1].busKind = dw::BusKind::Atapi;
    drives[0]->setVendor(std::string("\x01O\x01RV\xE9N\0", 8));
    drives[0]->setProduct(std::string("DVDR\x1F  KV-829A\x7F", 15));
    EXPECT_EQ(inquiry(devices[0]), 1 + 0x05 * 256);
    EXPECT_EQ(std::string(s.vendor) + "|" + s.product, " O RV N|DVDR   KV-829A  ");
    const int cases[][5] = {{1, 0, 2, 0, 1}, {0, 0, 0, 0, 1}, {0, 0, 2, 0, 0}, {1, 0, 1, 0, 0},
                            {1, 0, 2, 1, 0}, {1, 1, 2, 0, 0}, {7, 0, 2, 0, 0}};  // and found
    for (const auto& [port, path, target, lun, found] : cases) {
        EXPECT_EQ(inquiry(PassThroughPc::entry(port, path, target, lun, 4)) & 0xFF, found)
            << port << "/" << path << "/" << target << "/" << lun;
    }
    EXPECT_EQ(drives[0]->received().size() + pt.machine.openHandleCount(), 0u);
}

// The port driver's name from the registry, at most 16 characters, "Unknown" without one; the
// initiator 0 when the port gives no inquiry data. A port that does not open changes nothing.
TEST(PassThrough, adapterInquiryNamesThePortDriverFromTheDeviceMap) {
    for (const char* driver :
         {"aic78xx_very_long_name", "atapi", static_cast<const char*>(nullptr)}) {
        PassThroughPc pt;
        pt.addAdapter(0);
        pt.machine.port(0)->initiatorId = 6;
        const char* key = "HARDWARE\\DEVICEMAP\\Scsi\\Scsi Port 0";
        pt.machine.addRegistryKey(dw::Registry::kLocalMachine, key);
        if (driver)
            pt.machine.setRegistryString(dw::Registry::kLocalMachine, key, "Driver", driver);
        const std::string name = driver ? std::string(driver).substr(0, 16) : "Unknown";
        for (int form = 0; form < 3; ++form) {  // as it is, without inquiry data, not there
            dw::AdapterInfo info;
            std::memset(static_cast<void*>(&info), 'x', sizeof info);
            pt.machine.port(0)->inquiryDataFails = form == 1;
            if (form == 2) pt.transport.adapters[0].deviceName = "\\\\.\\SCSI9:";
            EXPECT_EQ(pt.transport.queryAdapter(0, info), 1);
            const std::string id = form == 2 ? std::string(info.adapterId, 17) : info.adapterId;
            EXPECT_EQ(id, form == 2 ? std::string(17, 'x') : name);
            EXPECT_EQ(info.hostScsiId, (std::array{6, 0, int('x')}[form])) << name;
            EXPECT_EQ(std::string(info.managerId) + hex({info.unique, info.unique + 16}) +
                          std::to_string(pt.machine.openKeyCount() + pt.machine.openHandleCount()),
                      "N/A" + hex(std::vector<uint8_t>(16)) + "0");
            EXPECT_EQ(pt.transport.queryAdapter(1, info) + pt.transport.queryAdapter(-1, info), 0);
        }
    }
}

// The port driver keeps the INQUIRY data it read at boot until its bus is rescanned, so after a
// firmware change only the drive itself tells the new revision, through its CD-ROM drive letter.
// A drive whose letter is no CD-ROM letter keeps the port driver's copy: nothing is sent.
TEST_F(BothTransports, afterAFirmwareChangeOnlyTheDriveLetterTellsTheNewRevision) {
    pt.transport.adapters[1].busKind = dw::BusKind::Atapi;
    pt.machine.setDriveType(4, dw::DriveTypes::kCdrom);
    sim::KorvaneDrive& unlettered = pt.machine.addDrive("DVDR   KV-829A", "1.00");
    pt.machine.attach(unlettered, 0, 0, 1, 0, 5);  // F: is no CD-ROM letter
    const auto f = PassThroughPc::entry(0, 0, 1, 0, 5);
    auto read = [&](dw::DeviceEntry d, bool current) {
        dw::InquiryStrings r;
        (current ? pt.transport.currentInquiry(d, r) : pt.transport.inquiry(d, r));
        return std::string(r.revision);
    };
    EXPECT_EQ(read(devices[0], false) + read(f, false), "2.001.00");  // the PC has booted
    drives[0]->setRevision("2.10");
    unlettered.setRevision("1.10");
    EXPECT_EQ(read(devices[0], false) + " " + read(devices[0], true), "2.00 2.10");
    EXPECT_EQ(read(f, true), "1.00");
    EXPECT_EQ(drives[0]->receivedWithOpcode(0x12).size() + unlettered.received().size(), 1u);
    // A rescan of port 1 makes its driver read its drive's data again; port 0 keeps its copy.
    const auto port = pt.machine.createFile("\\\\.\\SCSI1:", 0, 0, dw::kOpenExisting, 0);
    EXPECT_TRUE(pt.machine.deviceIoControl(port.handle, 0x0004101C, {}, {}).ok);
    pt.machine.closeHandle(port.handle);
    EXPECT_EQ(read(devices[0], false) + read(f, false), "2.101.00");
}

// While one program's kept handle holds the drive, the class driver refuses every request of
// other handles (access denied), their lock included; unlocking, or closing the handle, frees
// it. A driver without exclusive access (XP) holds nothing and refuses nobody.
TEST(PassThrough, aDriveHeldExclusivelyAnswersItsHolderAlone) {
    using Lock = dw::DriveLock;
    for (const bool supported : {true, false}) {
        sim::Machine pc;
        pc.exclusiveAccessSupported = supported;
        dw::ScsiTransport ours(pc), theirs(pc);
        ours.kind = theirs.kind = dw::TransportKind::PassThrough;
        pc.addPort(0);
        pc.attach(pc.addDrive("DVDR   KV-829A", "1.00"), 0, 0, 1, 0, 4);
        auto e = PassThroughPc::entry(0, 0, 1, 0, 4);
        const Lock held = supported ? Lock::Held : Lock::NotTaken;
        // What a command of each program gets: 1, or the system's error.
        auto answers = [&] {
            std::string r;
            for (auto* t : {&ours, &theirs}) {
                const int32_t result = dw::RezeroUnit(*t, e);
                r += result == 1 ? "1 " : std::to_string(dw::systemErrorOf(result)) + " ";
            }
            return r;
        };
        EXPECT_EQ(ours.lockDrive(e, "Drivewright"), Lock::NotTaken);  // no kept handle yet
        ours.openDriveHandle(e);
        theirs.openDriveHandle(e);
        EXPECT_EQ(ours.lockDrive(e, "Drivewright"), held);
        EXPECT_EQ(answers(), supported ? "1 5 " : "1 1 ");
        EXPECT_EQ(theirs.lockDrive(e, "Other"), supported ? Lock::InUse : Lock::NotTaken);
        ours.unlockDrive(e);
        EXPECT_EQ(answers(), "1 1 ");
        EXPECT_EQ(theirs.lockDrive(e, "Other"), held);
        EXPECT_EQ(answers(), supported ? "5 1 " : "1 1 ");
        theirs.closeDriveHandle(e);
        EXPECT_EQ(answers(), "1 1 ");
        ours.closeDriveHandle(e);
        std::string locks;
        for (const auto& c : pc.ioControls())
            if (c.find("lock") != std::string::npos) locks += c + ",";
        EXPECT_EQ(locks, supported ? "E: lock,E: lock refused 5,E: unlock,E: lock,"
                                   : "E: lock refused 1,E: lock refused 1,E: lock refused 1,");
    }
}
