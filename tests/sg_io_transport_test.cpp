// The SG_IO transport: how a command is framed for the kernel, the one result it makes of the
// kinds of failure, where sense data is kept, and the exclusive hold of an upgrade.
#include <cerrno>

#include "firmware/command_builders.h"
#include "firmware/upgrade_outcome.h"
#include "linux_support.h"
#include "resources/program_strings.h"

using namespace testing_support;
namespace st = dw::sgstatus;

TEST(SgIoResult, onlyASentCommandWithGoodStatusIsOneAndNoFailureLooksLikeIt) {
    auto system = [](int e) { return dw::commandResult(dw::CommandOutcome::failedWith(e)); };
    struct Case {
        const char* what;
        dw::SgIoOutcome outcome;  // sent, errno, status, host, driver, sense written
        int32_t result;
    } cases[] = {
        {"nothing sent", {false, 0, 0, 0, 0, 0}, 0},
        {"good", {true, 0, 0, 0, 0, 0}, 1},
        {"permission denied", {true, EACCES, 0, 0, 0, 0}, system(EACCES)},
        {"errno 1", {true, EPERM, 0, 0, 0, 0}, system(EPERM)},
        {"errno 254", {true, 254, 0, 0, 0, 0}, system(254)},
        {"errno 255: out of range", {true, 255, 0, 0, 0, 0}, system(EIO)},
        {"a negative errno", {true, -1, 0, 0, 0, 0}, system(EIO)},
        {"host timed out", {true, 0, 0, st::kDidTimeOut, 0, 0}, 0x01000300},
        {"host status wins over SCSI status", {true, 0, 2, st::kDidNoConnect, 8, 18}, 0x01000100},
        {"driver timed out", {true, 0, 0, 0, st::kDriverTimeout, 0}, 0x02000600},
        {"check condition with sense", {true, 0, 2, 0, st::kDriverSense, 18}, 2},
        {"busy", {true, 0, 8, 0, 0, 0}, 8},
        {"a reserved odd status", {true, 0, 1, 0, 0, 0}, 0x02000100},
        {"reservation conflict", {true, 0, 0x18, 0, 0, 0}, 0x18},
    };
    for (const auto& c : cases) {
        const int32_t result = dw::sgIoResult(c.outcome);
        EXPECT_EQ(result, c.result) << c.what;
        EXPECT_TRUE(result == 1 || (result & 0xFF) != 1) << c.what;
    }
}

namespace {

// A KV-829A at 2:0:0:0 (sg1, sr0), as the scan files it.
struct SgIoFixture : ::testing::Test {
    LinuxPc pc;
    sim::KorvaneDrive* drive = nullptr;
    dw::DeviceEntry device;

    void SetUp() override {
        pc.add("DVDR   KV-829A", {sim::LinuxAttachment::Sata, 2, 0, 0, 0, 1, 0});
        ASSERT_EQ(pc.scan().substr(0, 8), "#2 host2");
        drive = pc.drives[0].get();
        drive->clearReceived();
        device = pc.transport.adapters[2].buses[0].at(0);
    }
    // The last SG_IO call: node, CDB length (also as the drive got it), direction, time-out in
    // milliseconds, sense capacity.
    std::string lastCall() {
        const auto& c = pc.machine.sgIoCalls().back();
        return c.path + " " + std::to_string(c.cdbLength) + "/" +
               std::to_string(drive->received().back().cdb.size()) + " " +
               std::to_string(int(c.direction)) + " " + std::to_string(c.timeoutMs) + " " +
               std::to_string(c.senseCapacity);
    }
};

}  // namespace

TEST_F(SgIoFixture, framesEachCommandByItsOpcodeAndOpensTheNodeForIt) {
    std::vector<uint8_t> buffer(8192 + 4);
    dw::ScsiCommand capacity;
    capacity.cdb[0] = 0x5C;  // READ BUFFER CAPACITY: no data asked, a short time-out
    dw::TestUnitReady(pc.transport, device);
    EXPECT_EQ(lastCall(), "/dev/sg1 6/6 0 4800000 32");
    dw::RequestSense(pc.transport, device, buffer);
    EXPECT_EQ(lastCall(), "/dev/sg1 6/6 2 4800000 32");
    dw::WriteBuffer(pc.transport, device, 4, 0, 0, 8192, buffer);
    EXPECT_EQ(lastCall(), "/dev/sg1 10/10 1 4800000 32");
    dw::VendorReadMemory(pc.transport, device, 0x100, 4, buffer);
    EXPECT_EQ(lastCall(), "/dev/sg1 12/12 2 4800000 32");
    pc.transport.execute(device, capacity);
    EXPECT_EQ(lastCall(), "/dev/sg1 10/10 0 30000 32");
    EXPECT_EQ(pc.machine.openDeviceCount(), 0);
}

TEST_F(SgIoFixture, senseIsKeptOnlyFromADriveThatAnsweredWithAFailure) {
    device.sense[14] = 0xAA;
    EXPECT_EQ(dw::TestUnitReady(pc.transport, device), 2);  // no medium: 02/3A/00
    EXPECT_EQ(hex({device.sense, device.sense + 15}),
              "70 00 02 00 00 00 00 0A 00 00 00 00 3A 00 AA");
    drive->mediumLoaded = true;
    EXPECT_EQ(dw::TestUnitReady(pc.transport, device), 1);  // a success keeps it
    pc.machine.refuseCommand(0x01, EPERM);                  // the kernel's command filter
    EXPECT_EQ(dw::systemErrorOf(dw::RezeroUnit(pc.transport, device)), uint32_t(EPERM));
    drive->stopAnsweringAfter(1);
    dw::UpgradeState state;  // a download stopped by a command that timed out
    state.transport = &pc.transport;
    state.download = {dw::DownloadStop::NotDelivered, 0, dw::TestUnitReady(pc.transport, device)};
    dw::ProgramStrings strings;
    EXPECT_EQ(dw::UpgradeOutcomeText(false, state, strings),
              "Upgrade failed! The drive did not answer the command.");
    pc.machine.failPath("/dev/sg1", EACCES);
    EXPECT_EQ(dw::systemErrorOf(dw::TestUnitReady(pc.transport, device)), uint32_t(EACCES));
    EXPECT_EQ(device.sense[12], 0x3A);
    EXPECT_EQ(drive->received().size(), 3u);  // the refused and the unopened never reached it
    for (int target : {5, -1}) {
        dw::DeviceEntry other = device;  // a device the scan did not file is not sent to
        other.targetId = target;
        EXPECT_EQ(dw::TestUnitReady(pc.transport, other), 0) << target;
    }
    EXPECT_EQ(pc.machine.sgIoCalls().size(), 5u);  // the scan's INQUIRY and four that got to it
}

TEST_F(SgIoFixture, anUpgradeHoldsTheNodeExclusivelyAndSendsThroughIt) {
    EXPECT_EQ(pc.transport.holdDeviceExclusively(device), 0);
    EXPECT_EQ(pc.transport.holdDeviceExclusively(device), 0);  // again: the first is closed
    dw::TestUnitReady(pc.transport, device);
    EXPECT_TRUE(pc.machine.opens().back().exclusive);
    EXPECT_EQ(pc.machine.openDeviceCount(), 1);
    pc.transport.closeDriveHandle(device);
    EXPECT_EQ(pc.machine.openDeviceCount(), 0);
    pc.machine.holdElsewhere("/dev/sg1");
    EXPECT_EQ(pc.transport.holdDeviceExclusively(device), EBUSY);
    EXPECT_EQ(dw::RezeroUnit(pc.transport, device), 1);  // commands still open the node each
    EXPECT_FALSE(pc.machine.opens().back().exclusive);
}
