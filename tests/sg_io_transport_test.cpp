// The SG_IO transport: how a command is framed for the kernel, the one result it makes of the
// kinds of failure, where sense data is kept, and the exclusive hold of an upgrade.
#include <cerrno>

#include "firmware/command_builders.h"
#include "firmware/download_procedures.h"
#include "firmware/upgrade_file_validation.h"
#include "firmware/upgrade_outcome.h"
#include "firmware_support.h"
#include "linux_support.h"
#include "reference_images.h"
#include "resources/program_strings.h"

using namespace testing_support;
using Direction = dw::SgIoRequest::Direction;

namespace {

int32_t systemError(int error) {
    return dw::commandResult(dw::CommandOutcome::failedWith(static_cast<uint32_t>(error)));
}

}  // namespace

TEST(SgIoResult, onlyASentCommandWithGoodStatusIsOneAndNoFailureLooksLikeIt) {
    struct Case {
        const char* what;
        dw::SgIoOutcome outcome;
        int32_t result;
    } cases[] = {
        {"nothing sent", {false, 0, 0, 0, 0, 0}, 0},
        {"good", {true, 0, 0, 0, 0, 0}, 1},
        {"permission denied", {true, EACCES, 0, 0, 0, 0}, systemError(EACCES)},
        {"operation not permitted (errno 1)", {true, EPERM, 0, 0, 0, 0}, systemError(EPERM)},
        {"an errno out of range", {true, 300, 0, 0, 0, 0}, systemError(EIO)},
        {"host timed out", {true, 0, 0, dw::sgstatus::kDidTimeOut, 0, 0}, 0x01000300},
        {"host status wins over SCSI status",
         {true, 0, 2, dw::sgstatus::kDidNoConnect, 8, 18},
         0x01000100},
        {"driver timed out", {true, 0, 0, 0, dw::sgstatus::kDriverTimeout, 0}, 0x02000600},
        {"check condition with sense", {true, 0, 2, 0, dw::sgstatus::kDriverSense, 18}, 2},
        {"busy", {true, 0, 8, 0, 0, 0}, 8},
        {"a reserved odd status", {true, 0, 1, 0, 0, 0}, 0x02000100},
        {"reservation conflict", {true, 0, 0x18, 0, 0, 0}, 0x18},
    };
    for (const auto& c : cases) {
        const int32_t result = dw::sgIoResult(c.outcome);
        EXPECT_EQ(result, c.result) << c.what;
        if (c.result != 1) {
            EXPECT_NE(result & 0xFF, 1) << c.what;
        }
    }
}

namespace {

struct SgIoFixture : ::testing::Test {
    LinuxPc pc;
    sim::LinuxPlacement where{sim::LinuxAttachment::Sata, 2, 0, 0, 0, 1, 0};
    sim::KorvaneDrive* drive = nullptr;
    dw::DeviceEntry device;

    void SetUp() override {
        drive = &pc.addDrive("DVDR   KV-829A", "1.00", where);
        device = pc.file(where);
    }
};

}  // namespace

TEST_F(SgIoFixture, framesEachCommandByItsOpcode) {
    std::vector<uint8_t> buffer(8192 + 4);
    struct Case {
        const char* what;
        std::function<int32_t()> send;
        uint8_t cdbLength;
        Direction direction;
        uint32_t timeoutMs;
    } cases[] = {
        {"TEST UNIT READY", [&] { return dw::TestUnitReady(pc.transport, device); }, 6,
         Direction::None, 4800000},
        {"REQUEST SENSE", [&] { return dw::RequestSense(pc.transport, device, buffer); }, 6,
         Direction::FromDevice, 4800000},
        {"WRITE BUFFER",
         [&] { return dw::WriteBuffer(pc.transport, device, 4, 0, 0, 8192, buffer); }, 10,
         Direction::ToDevice, 4800000},
        {"vendor read E3h",
         [&] { return dw::VendorReadMemory(pc.transport, device, 0x100, 4, buffer); }, 12,
         Direction::FromDevice, 4800000},
        {"READ BUFFER CAPACITY",
         [&] {
             dw::ScsiCommand command;
             command.cdb[0] = 0x5C;
             return pc.transport.execute(device, command);
         },
         10, Direction::None, 30000},
    };
    for (const auto& c : cases) {
        c.send();
        const auto& call = pc.machine.sgIoCalls().back();
        EXPECT_EQ(call.path, "/dev/sg1") << c.what;
        EXPECT_EQ(call.cdbLength, c.cdbLength) << c.what;
        EXPECT_EQ(call.direction, c.direction) << c.what;
        EXPECT_EQ(call.timeoutMs, c.timeoutMs) << c.what;
        EXPECT_EQ(call.senseCapacity, 32) << c.what;
        EXPECT_EQ(drive->received().back().cdb.size(), c.cdbLength) << c.what;
    }
    EXPECT_EQ(pc.machine.openDeviceCount(), 0);  // a node opened and closed per command
}

TEST_F(SgIoFixture, checkConditionIsTwoAndLeavesFourteenSenseBytes) {
    device.sense[14] = 0xAA;
    EXPECT_EQ(dw::TestUnitReady(pc.transport, device), 2);  // no medium
    EXPECT_EQ(device.sense[2], 0x02);
    EXPECT_EQ(device.sense[12], 0x3A);
    EXPECT_EQ(device.sense[14], 0xAA);  // only 14 are stored

    drive->mediumLoaded = true;
    EXPECT_EQ(dw::TestUnitReady(pc.transport, device), 1);
    EXPECT_EQ(device.sense[12], 0x3A);  // a success keeps what a failure left
}

TEST_F(SgIoFixture, aCommandThatNeverReachedTheDriveKeepsTheEarlierSense) {
    dw::TestUnitReady(pc.transport, device);  // 02/3A/00
    drive->stopAnsweringAfter(0);
    EXPECT_EQ(dw::RezeroUnit(pc.transport, device), 0x01000300);
    EXPECT_EQ(device.sense[12], 0x3A);

    pc.machine.refuseCommand(0x01, EPERM);  // the kernel's command filter
    EXPECT_EQ(dw::systemErrorOf(dw::RezeroUnit(pc.transport, device)), uint32_t(EPERM));
    EXPECT_EQ(device.sense[12], 0x3A);

    pc.machine.failPath("/dev/sg1", EACCES);
    EXPECT_EQ(dw::systemErrorOf(dw::RezeroUnit(pc.transport, device)), uint32_t(EACCES));
    EXPECT_EQ(device.sense[12], 0x3A);
}

TEST_F(SgIoFixture, aPermissionErrorSendsNothing) {
    pc.machine.failPath("/dev/sg1", EACCES);
    dw::InquiryStrings strings;
    EXPECT_NE(pc.transport.inquiry(device, strings) & 0xFF, 1);
    EXPECT_TRUE(drive->received().empty());
}

TEST_F(SgIoFixture, inquiryReadsTheDrivesOwnIdentification) {
    dw::InquiryStrings strings;
    EXPECT_EQ(pc.transport.inquiry(device, strings), 0x0501);
    EXPECT_STREQ(strings.vendor, "KORVANE ");
    EXPECT_STREQ(strings.product, "DVDR   KV-829A  ");
    EXPECT_STREQ(strings.revision, "1.00");
}

TEST_F(SgIoFixture, aDeviceWithoutANodeIsNotSent) {
    dw::DeviceEntry other = device;
    other.targetId = 5;
    EXPECT_EQ(dw::TestUnitReady(pc.transport, other), 0);
    other.targetId = -1;
    EXPECT_EQ(dw::TestUnitReady(pc.transport, other), 0);
    EXPECT_TRUE(pc.machine.opens().empty());
}

TEST_F(SgIoFixture, anUpgradeHoldsTheNodeExclusivelyAndSendsThroughIt) {
    EXPECT_EQ(pc.transport.holdDeviceExclusively(device), 0);
    dw::TestUnitReady(pc.transport, device);
    dw::RezeroUnit(pc.transport, device);
    ASSERT_EQ(pc.machine.opens().size(), 1u);
    EXPECT_TRUE(pc.machine.opens()[0].exclusive);
    EXPECT_EQ(pc.machine.openDeviceCount(), 1);
    pc.transport.closeDriveHandle(device);
    EXPECT_EQ(pc.machine.openDeviceCount(), 0);

    pc.machine.holdElsewhere("/dev/sg1");
    EXPECT_EQ(pc.transport.holdDeviceExclusively(device), EBUSY);
    EXPECT_EQ(dw::RezeroUnit(pc.transport, device), 1);  // commands still open the node each
}

TEST_F(SgIoFixture, aDownloadToADriveThatStopsAnsweringSaysSoNotItsOldSense) {
    TempFolder folder;
    const std::string path = folder.file("fw.bin");
    std::string error;
    ASSERT_TRUE(dw::tools::writeFile(path, referenceImage({"DVDR   KV-829A", 0xF0000}), error));
    dw::UpgradeState state;
    state.transport = &pc.transport;
    state.currentDevice = device;
    dw::InquiryStrings identity;
    ASSERT_EQ(pc.transport.inquiry(state.currentDevice, identity) & 0xFF, 1);
    dw::copyIdentification(identity, state.currentDevice);  // as the scan files it
    std::snprintf(state.upgradeFilePath, sizeof state.upgradeFilePath, "%s", path.c_str());
    RecordingUpgradeDialog dialog;
    ASSERT_TRUE(dw::ValidateUpgradeFile(state, dialog)) << dialog.status;

    struct : dw::Clock {
        uint32_t now = 0;
        uint32_t tickCount() override { return now; }
        void sleep(uint32_t ms) override { now += ms; }
    } clock;
    dw::ProgramStrings strings;
    dw::TestUnitReady(pc.transport, state.currentDevice);  // leaves 02/3A/00
    drive->stopAnsweringAfter(20);
    const bool ok = dw::RunUpgrade(state, dialog, clock);
    EXPECT_FALSE(ok);
    EXPECT_EQ(state.download.stop, dw::DownloadStop::NotDelivered);
    EXPECT_EQ(dw::UpgradeOutcomeText(ok, state, strings),
              "Upgrade failed! The drive did not answer the command.");
    EXPECT_EQ(drive->commits, 0);
}
