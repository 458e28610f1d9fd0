// The pass-through transport: command requests through drive letters, the two INQUIRY paths
// and the adapter inquiry of a SCSI port.
#include <cstring>

#include "firmware/command_builders.h"
#include "test_support.h"

using namespace testing_support;

namespace {

struct PassThroughFixture : ::testing::Test {
    PassThroughPc pc;
    sim::KorvaneDrive* drive = nullptr;
    dw::DeviceEntry device = PassThroughPc::entry(1, 0, 1, 0, 4);  // port 1, target 1, E:

    void SetUp() override {
        pc.addAdapter(0);
        pc.addAdapter(1);
        drive = &pc.machine.addDrive("DVDR   KV-829A", "1.10");
        pc.machine.attach(*drive, 1, 0, 1, 0, 4);
    }
};

}  // namespace

TEST_F(PassThroughFixture, goodStatusIsOneAndCheckConditionIsTwoWithSense) {
    drive->mediumLoaded = true;
    EXPECT_EQ(dw::TestUnitReady(pc.transport, device), 1);

    drive->mediumLoaded = false;
    device.sense[14] = 0xAA;  // only 14 bytes are stored
    EXPECT_EQ(dw::TestUnitReady(pc.transport, device), 2);
    EXPECT_EQ(device.sense[0], 0x70);
    EXPECT_EQ(device.sense[2], 0x02);
    EXPECT_EQ(device.sense[12], 0x3A);
    EXPECT_EQ(device.sense[13], 0x00);
    EXPECT_EQ(device.sense[14], 0xAA);
}

TEST_F(PassThroughFixture, senseOfAFailureOutlivesALaterSuccess) {
    drive->failNth(0x01, 1, {0x04, 0x44, 0x00});
    EXPECT_NE(dw::RezeroUnit(pc.transport, device), 1);
    EXPECT_EQ(dw::RezeroUnit(pc.transport, device), 1);
    EXPECT_EQ(device.sense[2], 0x04);
    EXPECT_EQ(device.sense[12], 0x44);
}

TEST_F(PassThroughFixture, commandsGoThroughTheDriveLetterWhateverThePort) {
    EXPECT_EQ(dw::RezeroUnit(pc.transport, device), 1);
    ASSERT_EQ(pc.machine.openedDevices().size(), 1u);
    EXPECT_EQ(pc.machine.openedDevices()[0], "\\\\.\\E:");
    EXPECT_EQ(pc.machine.passThroughRequests().back().deviceName, "\\\\.\\E:");
    EXPECT_EQ(pc.machine.passThroughRequests().back().targetId, 1);
    EXPECT_EQ(pc.machine.openHandleCount(), 0);  // opened and closed per command
}

TEST_F(PassThroughFixture, requestCarriesTheSystemLayoutAndSenseOffset) {
    dw::RezeroUnit(pc.transport, device);
    const auto& request = pc.machine.passThroughRequests().back();
    EXPECT_EQ(request.length, sizeof(dw::ScsiPassThroughDirect));
    EXPECT_EQ(request.senseInfoOffset, offsetof(dw::PassThroughRequest, sense));
    EXPECT_EQ(request.senseInfoLength, 32);
}

TEST_F(PassThroughFixture, addressingFaultsAreResultsNotSends) {
    struct Case {
        int hostAdapter, target, letter;
        int32_t result;
    } cases[] = {{-1, 1, 4, 0}, {1, -1, 4, 0}, {1, 1, -1, -1}, {1, 1, 26, -1}};
    for (const auto& c : cases) {
        auto d = PassThroughPc::entry(c.hostAdapter, 0, c.target, 0, c.letter);
        EXPECT_EQ(dw::TestUnitReady(pc.transport, d), c.result)
            << c.hostAdapter << "/" << c.target << "/" << c.letter;
    }
    EXPECT_TRUE(pc.machine.openedDevices().empty());
    EXPECT_TRUE(drive->received().empty());
}

// Errors a driver or the system may give; 1 is what a driver without pass-through support
// answers, 257 shares its low byte.
const uint32_t kSystemErrors[] = {1, 2, 5, 31, 121, 257, 1117};

TEST_F(PassThroughFixture, aSystemErrorNeverReadsAsSuccessAndKeepsTheEarlierSense) {
    for (const bool atOpen : {true, false}) {
        for (const uint32_t error : kSystemErrors) {
            PassThroughPc fresh;
            fresh.addAdapter(0);
            auto& d = fresh.machine.addDrive("DVDR   KV-829A", "1.10");
            fresh.machine.attach(d, 0, 0, 1, 0, 4);
            if (atOpen) {
                fresh.machine.failOpen("\\\\.\\E:", error);
            } else {
                fresh.machine.failIoControl("\\\\.\\E:", dw::kIoctlScsiPassThroughDirect, error);
            }
            fresh.transport.letterInquiry[4] = 1;  // INQUIRY through the letter, a real command
            auto entry = PassThroughPc::entry(0, 0, 1, 0, 4);
            entry.sense[2] = 0x02;
            entry.sense[12] = 0x3A;  // left by an earlier failure

            const int32_t result = dw::TestUnitReady(fresh.transport, entry);
            dw::InquiryStrings s;
            const int32_t inquiry = fresh.transport.inquiry(entry, s);
            const std::string where = (atOpen ? "open " : "ioctl ") + std::to_string(error);
            EXPECT_NE(result, 1) << where;
            EXPECT_NE(result & 0xFF, 1) << where;
            EXPECT_EQ(dw::systemErrorOf(result), error) << where;
            EXPECT_NE(inquiry & 0xFF, 1) << where;
            EXPECT_EQ(entry.sense[2], 0x02) << where;
            EXPECT_EQ(entry.sense[12], 0x3A) << where;
            EXPECT_TRUE(d.received().empty()) << where;
        }
    }
}

TEST_F(PassThroughFixture, anUnusableStatusByteIsAFailure) {
    struct Case {
        uint8_t status;
        int32_t result;
    } cases[] = {{0, 1}, {1, dw::kResultNoStatus}, {2, 2}, {8, 8}, {0x18, 0x18}};
    for (const auto& c : cases) {
        drive->forcedStatus = c.status;
        EXPECT_EQ(dw::TestUnitReady(pc.transport, device), c.result) << int(c.status);
    }
}

TEST_F(PassThroughFixture, aDriveThatDoesNotAnswerIsTheIoError) {
    drive->stopAnsweringAfter(0);
    const int32_t result = dw::RezeroUnit(pc.transport, device);
    EXPECT_EQ(dw::systemErrorOf(result), dw::winerr::kSemTimeout);
}

TEST_F(PassThroughFixture, keptHandleServesEveryCommandUntilClosed) {
    pc.transport.openDriveHandle(device);
    EXPECT_EQ(pc.transport.letterHandleOpen[4], 1);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(dw::RezeroUnit(pc.transport, device), 1);
    EXPECT_EQ(pc.machine.openedDevices().size(), 1u);
    EXPECT_EQ(pc.machine.openHandleCount(), 1);

    pc.transport.closeDriveHandle(device);
    EXPECT_EQ(pc.transport.letterHandleOpen[4], 0);
    EXPECT_EQ(pc.machine.openHandleCount(), 0);
    EXPECT_EQ(dw::RezeroUnit(pc.transport, device), 1);
    EXPECT_EQ(pc.machine.openedDevices().size(), 2u);
}

TEST_F(PassThroughFixture, reopeningAKeptHandleClosesTheOldOne) {
    pc.transport.openDriveHandle(device);
    pc.transport.openDriveHandle(device);
    EXPECT_EQ(pc.machine.openHandleCount(), 1);
    pc.transport.closeDriveHandle(device);
    EXPECT_EQ(pc.machine.openHandleCount(), 0);
}

TEST_F(PassThroughFixture, aDriveAtCKeepsNoHandleAndStillWorks) {
    auto& atC = pc.machine.addDrive("CD-R   KV-W6025A", "1.00");
    pc.machine.attach(atC, 0, 0, 0, 0, 2);
    auto c = PassThroughPc::entry(0, 0, 0, 0, 2);
    pc.transport.openDriveHandle(c);
    EXPECT_EQ(pc.transport.letterHandleOpen[2], 0);
    EXPECT_EQ(pc.machine.openHandleCount(), 0);
    EXPECT_EQ(dw::RezeroUnit(pc.transport, c), 1);
    EXPECT_EQ(dw::RezeroUnit(pc.transport, c), 1);
    EXPECT_EQ(pc.machine.openedDevices().size(), 2u);
}

TEST_F(PassThroughFixture, aFailedKeptOpenLeavesNoHandle) {
    pc.machine.failOpen("\\\\.\\E:", dw::winerr::kAccessDenied);
    pc.transport.openDriveHandle(device);
    EXPECT_EQ(pc.transport.letterHandleOpen[4], 0);
    EXPECT_EQ(dw::systemErrorOf(dw::RezeroUnit(pc.transport, device)), dw::winerr::kAccessDenied);
}

// --- INQUIRY -------------------------------------------------------------------------------

TEST_F(PassThroughFixture, deviceMapInquiryReadsThePortDriversCopyWithoutACommand) {
    dw::InquiryStrings s;
    EXPECT_EQ(pc.transport.inquiry(device, s), 1 + 0x05 * 256);
    EXPECT_STREQ(s.vendor, "KORVANE ");
    EXPECT_STREQ(s.product, "DVDR   KV-829A  ");
    EXPECT_STREQ(s.revision, "1.10");
    EXPECT_TRUE(drive->received().empty());
    EXPECT_EQ(pc.machine.openHandleCount(), 0);
}

TEST_F(PassThroughFixture, deviceMapInquiryMatchesOnlyTheDevicesOwnPortAndAddress) {
    struct Case {
        int port, path, target, lun;
        bool found;
    } cases[] = {{1, 0, 1, 0, true},  {0, 0, 1, 0, false}, {1, 0, 2, 0, false},
                 {1, 0, 1, 1, false}, {1, 1, 1, 0, false}, {7, 0, 1, 0, false}};
    for (const auto& c : cases) {
        auto d = PassThroughPc::entry(c.port, c.path, c.target, c.lun, 4);
        dw::InquiryStrings s;
        EXPECT_EQ(pc.transport.inquiry(d, s) & 0xFF, c.found ? 1 : 0)
            << c.port << "/" << c.path << "/" << c.target << "/" << c.lun;
    }
}

TEST_F(PassThroughFixture, deviceMapInquiryStopsAtTheFirstMissingPort) {
    pc.machine.addPort(3);                         // after the gap at 2: never looked at
    auto d = PassThroughPc::entry(1, 0, 9, 0, 4);  // no such device: every port is walked
    dw::InquiryStrings s;
    EXPECT_EQ(pc.transport.inquiry(d, s), 0);
    EXPECT_TRUE(pc.machine.wasOpened("\\\\.\\SCSI2:"));
    EXPECT_FALSE(pc.machine.wasOpened("\\\\.\\SCSI3:"));
}

TEST_F(PassThroughFixture, controlCharactersBecomeBlanksOnlyOnTheDeviceMapPath) {
    drive->setVendor("KO\x07RV\xE9NE");
    drive->setProduct(std::string("DVDR\x1F  KV-829A\x7F", 15));

    dw::InquiryStrings map;
    ASSERT_EQ(pc.transport.inquiry(device, map) & 0xFF, 1);
    EXPECT_STREQ(map.vendor, "KO RV NE");
    EXPECT_STREQ(map.product, "DVDR   KV-829A  ");

    pc.transport.letterInquiry[4] = 1;  // now through the drive letter
    dw::InquiryStrings direct;
    ASSERT_EQ(pc.transport.inquiry(device, direct) & 0xFF, 1);
    EXPECT_STREQ(direct.vendor, "KO\x07RV\xE9NE");
    EXPECT_EQ(direct.product[4], '\x1F');
    EXPECT_EQ(drive->receivedWithOpcode(0x12).size(), 1u);
    EXPECT_EQ(drive->received().back().cdb, (std::vector<uint8_t>{0x12, 0, 0, 0, 0x38, 0}));
}

TEST_F(PassThroughFixture, externalAdaptersAreAskedThroughTheDriveLetter) {
    for (dw::BusKind kind : {dw::BusKind::Usb, dw::BusKind::Ieee1394}) {
        drive->clearReceived();
        pc.transport.adapters[1].busKind = kind;
        dw::InquiryStrings s;
        EXPECT_EQ(pc.transport.inquiry(device, s), 1 + 0x05 * 256);
        EXPECT_EQ(drive->receivedWithOpcode(0x12).size(), 1u);
    }
}

TEST_F(PassThroughFixture, aFailedDriveLetterInquiryPassesItsResultOn) {
    pc.transport.letterInquiry[4] = 1;
    drive->failAll(0x12, {0x05, 0x24, 0x00});
    dw::InquiryStrings s;
    EXPECT_EQ(pc.transport.inquiry(device, s), 2);
}

TEST_F(PassThroughFixture, inquiryOnANegativeTargetSendsNothing) {
    auto d = PassThroughPc::entry(1, 0, -1, 0, 4);
    dw::InquiryStrings s;
    EXPECT_EQ(pc.transport.inquiry(d, s), 0);
    EXPECT_TRUE(pc.machine.openedDevices().empty());
}

// --- adapter inquiry -----------------------------------------------------------------------

TEST_F(PassThroughFixture, adapterInquiryNamesThePortDriverFromTheDeviceMap) {
    struct Case {
        bool hasValue;
        std::string driver;
        std::string expected;
    } cases[] = {
        {true, "atapi", "atapi"},
        {true, "aic78xx_very_long_name", "aic78xx_very_lon"},
        {true, "", ""},
        {false, "", "Unknown"},
    };
    for (const auto& c : cases) {
        sim::Machine machine;
        dw::ScsiTransport transport(machine);
        transport.kind = dw::TransportKind::PassThrough;
        auto& port = machine.addPort(0);
        port.initiatorId = 6;
        machine.addRegistryKey(dw::Registry::kLocalMachine,
                               "HARDWARE\\DEVICEMAP\\Scsi\\Scsi Port 0");
        if (c.hasValue) {
            machine.setRegistryString(dw::Registry::kLocalMachine,
                                      "HARDWARE\\DEVICEMAP\\Scsi\\Scsi Port 0", "Driver", c.driver);
        }
        dw::HostAdapter adapter;
        adapter.portNumber = 0;
        adapter.deviceName = dw::scsiPortDeviceName(0);
        transport.adapters.push_back(adapter);

        dw::AdapterInfo info;
        EXPECT_EQ(transport.queryAdapter(0, info), 1);
        EXPECT_EQ(std::string(info.adapterId), c.expected) << c.driver;
        EXPECT_STREQ(info.managerId, "N/A");
        EXPECT_EQ(info.hostScsiId, 6);
        EXPECT_EQ(machine.openKeyCount(), 0);
        EXPECT_EQ(machine.openHandleCount(), 0);
    }
}

TEST_F(PassThroughFixture, adapterInquiryOfAPortThatDoesNotOpenStillSucceeds) {
    pc.transport.adapters[0].deviceName = "\\\\.\\SCSI9:";
    dw::AdapterInfo info;
    std::strcpy(info.adapterId, "kept");
    info.hostScsiId = 3;
    EXPECT_EQ(pc.transport.queryAdapter(0, info), 1);
    EXPECT_STREQ(info.adapterId, "kept");
    EXPECT_EQ(info.hostScsiId, 3);
    EXPECT_STREQ(info.managerId, "N/A");
    EXPECT_EQ(pc.transport.queryAdapter(5, info), 0);  // no such adapter
}
