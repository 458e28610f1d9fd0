// The SG_IO transport: how a command is framed for the kernel, the one result it makes of the
// kinds of failure, where sense data is kept, and the exclusive hold of an upgrade.
#include <algorithm>
#include <cerrno>
#include <tuple>

#include "firmware/command_builders.h"
#include "identify/vendor_read_info.h"
#include "linux_support.h"

using namespace testing_support;
namespace st = dw::sgstatus;

// An errno the kernel gives only before it issues the command reads as not sent; any other may
// come after the command went out, as do the host adapter's and the driver's failures.
TEST(SgIoResult, onlyASentCommandWithGoodStatusIsOneAndNoFailureLooksLikeIt) {
    auto refused = [](int e) { return dw::commandResult(dw::CommandOutcome::refusedWith(e)); };
    auto failed = [](int e) { return dw::commandResult(dw::CommandOutcome::failedWith(e)); };
    const std::tuple<dw::SgIoOutcome, int32_t, bool, uint32_t> cases[] = {
        // sent, errno, status, host status, driver status, sense written, the open failed; the
        // result, whether it was not sent, the number a command that did not complete is told by
        {{false, 0, 0, 0, 0, 0}, 0, true, 0},                         // nothing sent
        {{true, 0, 0, 0, 0, 0}, 1, false, 0},                         // good
        {{true, EPERM, 0, 0, 0, 0}, refused(EPERM), true, 0},         // the command filter
        {{true, EINVAL, 0, 0, 0, 0}, refused(EINVAL), true, 0},       // a malformed request
        {{true, ENXIO, 0, 0, 0, 0}, refused(ENXIO), true, 0},         // in error recovery
        {{true, EIO, 0, 0, 0, 0, true}, refused(EIO), true, 0},       // the open failed
        {{true, EIO, 0, 0, 0, 0}, failed(EIO), false, EIO},           // after the command went out
        {{true, ENODEV, 0, 0, 0, 0}, failed(ENODEV), false, ENODEV},  // detached while it ran
        {{true, EFAULT, 0, 0, 0, 0}, failed(EFAULT), false, EFAULT},  // copying back its data
        {{true, 254, 0, 0, 0, 0}, failed(254), false, 254},           // the largest errno
        {{true, 255, 0, 0, 0, 0}, failed(EIO), false, EIO},           // out of range
        {{true, -1, 0, 0, 0, 0}, failed(EIO), false, EIO},            // a negative errno
        {{true, 0, 0, st::kDidTimeOut, 0, 0}, 0x01000300, false, 3},  // host timed out
        {{true, 0, 2, st::kDidNoConnect, 8, 18}, 0x01000100, false, 1},  // host status wins
        {{true, 0, 0, 0, st::kDriverTimeout, 0}, 0x02000600, false, 6},  // driver timed out
        {{true, 0, 2, 0, st::kDriverSense, 18}, 2, false, 0},    // check condition with sense
        {{true, 0, 1, 0, 0, 0}, dw::kResultNoStatus, false, 0},  // a reserved odd status
    };
    for (const auto& [outcome, wanted, notSent, code] : cases) {
        const int32_t result = dw::sgIoResult(outcome);
        EXPECT_EQ(result, wanted) << outcome.error << " " << outcome.status;
        EXPECT_TRUE(result == 1 || (result & 0xFF) != 1) << wanted;
        EXPECT_EQ(dw::wasNotSent(result), notSent) << wanted;
        EXPECT_EQ(dw::incompleteCode(result), code) << wanted;
        EXPECT_EQ(dw::didNotComplete(result), code != 0) << wanted;
    }
}

namespace {

// A KV-829A at 2:0:0:0 (sg1, sr0), as the scan files it.
struct SgIoDrive : LinuxPc {
    dw::DeviceEntry device;
    SgIoDrive() {
        add({sim::LinuxAttachment::Sata, 2, 0, 0, 0, 1, 0});
        EXPECT_EQ(scan(), "#2 host2 SATA | 2:0:0:0=1.00 sg1=sr0 sent 1");
        device = transport.adapters[2].buses[0].at(0);
    }
    // The last SG_IO call (node, CDB length, direction, time-out in ms and sense capacity),
    // and the descriptors open.
    std::string lastCall() {
        const auto& c = machine.sgIoCalls().back();
        return c.path + " " + std::to_string(c.cdbLength) + " " + std::to_string(int(c.direction)) +
               " " + std::to_string(c.timeoutMs) + " " + std::to_string(c.senseCapacity) + " " +
               std::to_string(machine.openDeviceCount());
    }
};

}  // namespace

TEST(SgIoTransport, anUpgradeHoldsTheNodeExclusivelyAndOtherCommandsOpenItEach) {
    SgIoDrive pc;
    dw::RezeroUnit(pc.transport, pc.device);
    EXPECT_EQ(pc.lastCall(), "/dev/sg1 6 0 60000 32 0");  // the node opened and closed
    EXPECT_EQ(pc.transport.holdDeviceExclusively(pc.device).error, 0);
    EXPECT_EQ(pc.transport.holdDeviceExclusively(pc.device).error, 0);  // again: first closed
    dw::ScsiCommand capacity;
    capacity.cdb[0] = 0x5C;  // READ BUFFER CAPACITY: no data asked, a short time-out
    pc.transport.execute(pc.device, capacity);
    EXPECT_EQ(pc.lastCall(), "/dev/sg1 10 0 30000 32 2");  // through the node held, sr0 claimed
    EXPECT_TRUE(pc.machine.opens().back().exclusive);
    pc.transport.closeDriveHandle(pc.device);
    EXPECT_EQ(pc.machine.openDeviceCount(), 0);
    pc.machine.holdElsewhere("/dev/sg1");
    EXPECT_EQ(pc.transport.holdDeviceExclusively(pc.device).error, EBUSY);
    EXPECT_EQ(dw::RezeroUnit(pc.transport, pc.device), 1);  // commands still open the node each
    EXPECT_FALSE(pc.machine.opens().back().exclusive);
}

TEST(SgIoTransport, senseIsKeptOnlyFromADriveThatAnsweredWithAFailure) {
    SgIoDrive pc;
    pc.device.sense[14] = 0xAA;
    EXPECT_EQ(dw::TestUnitReady(pc.transport, pc.device), 2);  // no medium: 02/3A/00
    EXPECT_EQ(hex({pc.device.sense, pc.device.sense + 15}),
              "70 00 02 00 00 00 00 0A 00 00 00 00 3A 00 AA");
    pc.machine.refuseCommand(0x01, EPERM);  // the kernel's command filter, behind the block node
    pc.transport.sgIoDevices[0].node = "/dev/sr0";
    EXPECT_EQ(dw::systemErrorOf(dw::RezeroUnit(pc.transport, pc.device)), uint32_t(EPERM));
    pc.transport.sgIoDevices[0].node = "/dev/sg1";
    pc.drives[0]->stopAnsweringAfter(0);
    EXPECT_EQ(dw::TestUnitReady(pc.transport, pc.device), 0x01000300);  // DID_TIME_OUT
    pc.machine.failPath("/dev/sg1", EACCES);
    EXPECT_EQ(dw::systemErrorOf(dw::TestUnitReady(pc.transport, pc.device)), uint32_t(EACCES));
    EXPECT_EQ(pc.device.sense[12], 0x3A);  // none of the three got an answer from it
    pc.device.targetId = 5;                // a device the scan did not file is not sent to
    EXPECT_EQ(dw::TestUnitReady(pc.transport, pc.device), 0);
}

// Descriptor 0 is a node like any other (a program started with standard input closed gets it);
// a command the gate holds back is not sent and is no success.
TEST(SgIoTransport, descriptorZeroServesAndAGatedCommandIsNotSent) {
    SgIoDrive pc;
    for (int hold = 0; hold < 3; ++hold) {  // a command, the hold, the hold again
        pc.machine.nextDescriptor = 0;
        EXPECT_EQ(hold ? pc.transport.holdDeviceExclusively(pc.device).error + 1
                       : dw::RezeroUnit(pc.transport, pc.device),
                  1)
            << hold;
    }
    EXPECT_EQ(dw::RezeroUnit(pc.transport, pc.device), 1);
    EXPECT_EQ(pc.machine.openDeviceCount() + pc.machine.devicePath(0).size(), 2u + 8u);
    pc.transport.commandGate = [](const dw::ScsiCommand&) { return false; };
    EXPECT_EQ(dw::RezeroUnit(pc.transport, pc.device) + pc.drives[0]->received().size(), 3u);
}

// Groups 0 and 1-2 go out as 6 and 10 bytes, the others as 12; the data direction as the
// command has it. A drive that does not answer holds the program a minute on a command that only
// asks it something; the commands that carry or commit firmware, and the eject, keep the long wait.
TEST(SgIoTransport, framesEachCommandByItsOpcodeWithTheTimeOutOfWhatItDoes) {
    SgIoDrive pc;
    std::vector<uint8_t> b(32768 + 4);
    dw::ScsiCommand capacity;
    capacity.cdb[0] = 0x5C;
    dw::InquiryStrings strings;
    dw::DeviceEntry& d = pc.device;
    dw::ScsiTransport& t = pc.transport;
    const std::function<void()> sends[] = {
        [&] { t.inquiry(d, strings); },
        [&] { dw::TestUnitReady(t, d); },
        [&] { dw::RequestSense(t, d, b); },
        [&] { dw::RezeroUnit(t, d); },
        [&] { dw::VendorReadMemory(t, d, 0x100, 4, b); },
        [&] { dw::VendorReadInfo(t, d, 0, 128, b); },
        [&] { dw::WriteBuffer(t, d, 5, 0, 0, 8192, b); },
        [&] { dw::VendorWriteMemory(t, d, 0, 0x38000, 32768, b); },
        [&] { dw::EjectMedium(t, d); },
        [&] { dw::VendorPrepareDownload(t, d); },
        [&] { t.execute(d, capacity); },
    };
    std::string seen;
    for (const auto& send : sends) {
        send();
        const auto& call = pc.machine.sgIoCalls().back();
        char line[32];
        std::snprintf(line, sizeof line, "%02X:%d/%d=%u ", pc.drives[0]->received().back().cdb[0],
                      call.cdbLength, int(call.direction), call.timeoutMs / 1000);
        seen += line;
    }
    EXPECT_EQ(seen,  // the direction: 0 none, 1 out, 2 in
              "12:6/2=60 00:6/0=60 03:6/2=60 01:6/0=60 E3:12/2=60 F1:12/2=60 3B:10/1=4800 "
              "E2:12/1=4800 1B:6/0=4800 E1:12/0=4800 5C:10/0=30 ");
}

// A signal during the wait for the drive, whether its handler runs or it stops the program: the
// command reaches the drive once and its answer is taken. Today's SG_IO on an sg node gives the
// request up (EINTR) or, restarted after a stop, sends it again; behind sr0 the block layer waits.
TEST(SgIoTransport, aCommandIsSentOnceWhateverSignalComesDuringItsWait) {
    using sim::Interruption;
    for (const auto& [how, node] :
         {std::pair(Interruption::Handled, "/dev/sg1"), std::pair(Interruption::Stop, "/dev/sg1"),
          std::pair(Interruption::Handled, "/dev/sr0"),
          std::pair(Interruption::Stop, "/dev/sr0")}) {
        SgIoDrive pc;
        pc.transport.sgIoDevices[0].node = node;
        pc.machine.interruptWait(*pc.drives[0], 0x3B, 1, how);
        std::vector<uint8_t> chunk(8192 + 4);
        EXPECT_EQ(dw::WriteBuffer(pc.transport, pc.device, 4, 0, 0, 8192, chunk), 1) << node;
        EXPECT_EQ(pc.drives[0]->receivedWithOpcode(0x3B).size(), 1u) << node << int(how);
    }
}

// The simulated kernel as sg.c has it: SG_IO on an sg node is issued again when the kernel
// restarts it after a stop; a request written stays queued until read, through an interrupted
// wait, and comes back with its pack_id.
TEST(SimulatedLinux, restartsSgIoAfterAStopAndKeepsAWrittenRequestUntilItIsRead) {
    SgIoDrive pc;
    const dw::LinuxApi::OpenResult sg = pc.machine.openDevice("/dev/sg1", {});
    uint8_t cdb[6] = {0x00};  // TEST UNIT READY
    dw::SgIoRequest request;
    request.cdb = cdb;
    request.cdbLength = 6;
    pc.machine.interruptWait(*pc.drives[0], 0x00, 1, sim::Interruption::Stop);
    pc.machine.interruptWait(*pc.drives[0], 0x00, 3, sim::Interruption::Handled);
    EXPECT_EQ(pc.machine.sgIo(sg.fd, request), 0);
    EXPECT_EQ(pc.drives[0]->receivedWithOpcode(0x00).size(), 2u);
    request.packId = 7;
    EXPECT_EQ(pc.machine.sgWrite(sg.fd, request), 0);
    request.packId = 0;
    EXPECT_EQ(pc.machine.waitReadable(sg.fd), EINTR);
    EXPECT_EQ(pc.machine.waitReadable(sg.fd), 0);
    EXPECT_EQ(pc.machine.sgRead(sg.fd, request), 0);
    EXPECT_EQ(request.packId, 7);
    EXPECT_EQ(pc.machine.sgRead(sg.fd, request), EAGAIN);
    EXPECT_EQ(pc.drives[0]->receivedWithOpcode(0x00).size(), 3u);
}

// What the kernel says is read whole. A short data-in leaves the rest of the buffer zeroed,
// whatever the kernel's buffer held there (a fresh one, or on the node held for an upgrade the
// last chunk's bytes); sense data is kept only as far as the kernel wrote it (the sg driver
// writes 8 bytes and its additional length after CHECK CONDITION, the block layer nothing
// without a valid response code). The residual and the count reach the record and the trace.
TEST(SgIoTransport, aShortDataInLeavesTheRestZeroedAndSenseIsKeptAsFarAsWritten) {
    const struct {
        int sg;  // -1: through /dev/sr0
        bool held, afterChunk;
        int32_t senseWritten;  // of CHECK CONDITION without sense data
    } cases[] = {{1, false, false, 8},
                 {1, true, true, 8},
                 {-1, true, true, 0},
                 {-1, false, false, 0}};
    for (const auto& c : cases) {
        const std::string name = std::to_string(&c - cases);
        LinuxPc pc;
        pc.add({sim::LinuxAttachment::Sata, 2, 0, 0, 0, c.sg, 0});
        pc.scan();
        dw::DeviceEntry device = pc.transport.adapters[2].buses[0].at(0);
        dw::SgIoOutcome traced;
        pc.transport.sgIoTrace = [&](const dw::SgIoTrace& t) { traced = t.outcome; };
        EXPECT_EQ(c.held ? pc.transport.holdDeviceExclusively(device).error : 0, 0) << name;
        std::vector<uint8_t> buffer(8192 + 4, 0x5A);
        if (c.afterChunk) dw::WriteBuffer(pc.transport, device, 4, 0, 0, 8192, buffer);
        std::fill(buffer.begin(), buffer.end(), 0xEE);
        dw::ScsiCommand inquiry;
        inquiry.cdb = {0x12, 0, 0, 0, 96, 0};
        inquiry.data = buffer.data();
        inquiry.dataLength = 96;
        EXPECT_EQ(pc.transport.execute(device, inquiry), 1) << name;
        EXPECT_EQ(std::string(buffer.begin() + 8, buffer.begin() + 15), "KORVANE") << name;
        EXPECT_EQ(std::count(buffer.begin() + 36, buffer.begin() + 96, 0), 60) << name;
        EXPECT_EQ(buffer[96], 0xEE) << name;  // nothing beyond the transfer
        EXPECT_EQ(std::tuple(traced.residual, pc.transport.lastResidual), std::tuple(60, 60))
            << name;

        pc.drives[0]->answerNth(0x00, 1, 0x02, {});
        device.sense[12] = 0x77;  // an earlier command's
        EXPECT_EQ(dw::TestUnitReady(pc.transport, device), 2) << name;
        EXPECT_EQ(hex({device.sense, device.sense + 14}), hex(std::vector<uint8_t>(14, 0))) << name;
        EXPECT_EQ(std::tuple(device.senseWritten, int32_t(traced.senseWritten)),
                  std::tuple(c.senseWritten, c.senseWritten))
            << name;
        EXPECT_EQ(dw::TestUnitReady(pc.transport, device), 2) << name;  // no medium: 18 bytes
        EXPECT_EQ(std::tuple(device.senseWritten, device.sense[12]), std::tuple(18, 0x3A)) << name;
    }
}
