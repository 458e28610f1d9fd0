// The pass-through transport: command requests through drive letters, system errors, kept
// handles, the INQUIRY of the port driver's copy and the adapter inquiry of a SCSI port.
#include "firmware/command_builders.h"
#include "test_support.h"

using namespace testing_support;

namespace {

// Two ports; the drive under test on port 1, target 1, at E:; another on port 0, target 0, D:.
struct PassThroughFixture : ::testing::Test {
    PassThroughPc pc;
    sim::KorvaneDrive& drive = pc.machine.addDrive("DVDR   KV-829A", "1.10");
    dw::DeviceEntry device = PassThroughPc::entry(1, 0, 1, 0, 4);
    dw::InquiryStrings s;

    void SetUp() override {
        pc.addAdapter(0);
        pc.addAdapter(1);
        pc.machine.attach(drive, 1, 0, 1, 0, 4);
        pc.machine.attach(pc.machine.addDrive("CD-R   KV-W6025A", "1.00"), 0, 0, 0, 0, 3);
    }
    int32_t inquiry(dw::DeviceEntry d) { return pc.transport.inquiry(d, s); }
    int32_t rezero(dw::DeviceEntry& d) { return dw::RezeroUnit(pc.transport, d); }
};

}  // namespace

// Opened and closed per command (the request's layout the simulated system checks); a status byte
// other than GOOD is the failure (1, which is no SCSI status, is kept apart); a drive that does not
// answer is the system's time-out.
TEST_F(PassThroughFixture, aCommandGoesThroughTheDriveLetterAndItsStatusIsTheResult) {
    const int cases[][2] = {{0, 1}, {1, dw::kResultNoStatus}, {8, 8}, {0x18, 0x18}};
    for (const auto& [status, result] : cases) {
        drive.forcedStatus = status;
        EXPECT_EQ(rezero(device), result) << status;
    }
    const auto& r = pc.machine.passThroughRequests().back();
    EXPECT_EQ(r.deviceName + " target " + std::to_string(r.targetId), "\\\\.\\E: target 1");
    EXPECT_EQ(pc.machine.openedDevices().size() + pc.machine.openHandleCount(), 4u);
    drive.forcedStatus.reset();
    drive.stopAnsweringAfter(0);
    EXPECT_EQ(dw::systemErrorOf(rezero(device)), dw::winerr::kSemTimeout);
}

// Nothing is opened for them.
TEST_F(PassThroughFixture, anAddressingFaultIsAResultAndNothingIsSent) {
    const int cases[][4] = {{-1, 1, 4, 0}, {1, -1, 4, 0}, {1, 1, -1, -1}, {1, 1, 26, -1}};
    for (const auto& [port, target, letter, result] : cases) {
        auto d = PassThroughPc::entry(port, 0, target, 0, letter);
        EXPECT_EQ(rezero(d), result) << port << "/" << target << "/" << letter;
    }
    EXPECT_TRUE(pc.machine.openedDevices().empty());
    EXPECT_TRUE(drive.received().empty());
}

// 1 is what a driver without pass-through support answers; 257 shares its low byte.
TEST_F(PassThroughFixture, aSystemErrorNeverReadsAsSuccessAndKeepsTheEarlierSense) {
    pc.transport.letterInquiry[4] = 1;  // INQUIRY through the letter, a real command
    device.sense[12] = 0x3A;            // left by an earlier failure
    for (const uint32_t error : {1u, 2u, 5u, 31u, 121u, 257u, 1117u}) {
        for (const bool atOpen : {true, false}) {
            pc.machine.failOpen("\\\\.\\E:", atOpen ? error : 0);
            pc.machine.failIoControl("\\\\.\\E:", dw::kIoctlScsiPassThroughDirect,
                                     atOpen ? 0 : error);
            EXPECT_EQ(dw::systemErrorOf(rezero(device)), error) << atOpen << " " << error;
            EXPECT_NE(inquiry(device) & 0xFF, 1) << atOpen << " " << error;
        }
    }
    EXPECT_EQ(device.sense[12], 0x3A);
    EXPECT_TRUE(drive.received().empty());
}

// C: (and A:, B:) keeps no handle; a second open closes the first; F: fails to open: no handle.
TEST_F(PassThroughFixture, aKeptHandleServesEveryCommandUntilItIsClosed) {
    pc.machine.attach(pc.machine.addDrive("CD-R   KV-W6025A", "1.00"), 0, 0, 2, 0, 2);
    pc.machine.failOpen("\\\\.\\F:", dw::winerr::kAccessDenied);
    const int cases[][4] = {{2, 2, 0, 3},
                            {3, 0, 1, 2},
                            {5, 1, 0, 5}};  // letter, target, kept, opens
    for (const auto& [letter, target, kept, opens] : cases) {
        auto d = PassThroughPc::entry(0, 0, target, 0, letter);
        const size_t before = pc.machine.openedDevices().size();
        pc.transport.openDriveHandle(d);
        pc.transport.openDriveHandle(d);
        EXPECT_EQ(pc.transport.letterHandleOpen[letter] + pc.machine.openHandleCount(), 2 * kept);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(rezero(d) == 1, letter != 5) << letter;
        EXPECT_EQ(pc.machine.openedDevices().size() - before, size_t(opens)) << letter;
        pc.transport.closeDriveHandle(d);
        EXPECT_EQ(pc.transport.letterHandleOpen[letter] + pc.machine.openHandleCount(), 0);
    }
}

// No command is sent; control bytes become blanks, NULs stay.
TEST_F(PassThroughFixture, theDeviceMapGivesThePortDriversCopyOfTheDevicesOwnAddress) {
    drive.setVendor(std::string("KO\x01RV\xE9N\0", 8));
    drive.setProduct(std::string("DVDR\x1F  KV-829A\x7F", 15));
    EXPECT_EQ(inquiry(device), 1 + 0x05 * 256);
    EXPECT_EQ(std::string(s.vendor) + "|" + s.product + "|" + s.revision,
              "KO RV N|DVDR   KV-829A  |1.10");
    const int cases[][5] = {{1, 0, 1, 0, 1}, {0, 0, 0, 0, 1}, {0, 0, 1, 0, 0}, {1, 0, 2, 0, 0},
                            {1, 0, 1, 1, 0}, {1, 1, 1, 0, 0}, {7, 0, 1, 0, 0}};  // and found
    for (const auto& [port, path, target, lun, found] : cases) {
        EXPECT_EQ(inquiry(PassThroughPc::entry(port, path, target, lun, 4)) & 0xFF, found)
            << port << "/" << path << "/" << target << "/" << lun;
    }
    EXPECT_EQ(drive.received().size() + pc.machine.openHandleCount(), 0u);
}

// The port driver's name from the registry, at most 16 characters, "Unknown" without one; the
// initiator 0 when the port gives no inquiry data. A port that does not open changes nothing.
TEST(PassThrough, adapterInquiryNamesThePortDriverFromTheDeviceMap) {
    for (const char* driver :
         {"aic78xx_very_long_name", "atapi", static_cast<const char*>(nullptr)}) {
        PassThroughPc pc;
        pc.addAdapter(0);
        pc.machine.port(0)->initiatorId = 6;
        const char* key = "HARDWARE\\DEVICEMAP\\Scsi\\Scsi Port 0";
        pc.machine.addRegistryKey(dw::Registry::kLocalMachine, key);
        if (driver)
            pc.machine.setRegistryString(dw::Registry::kLocalMachine, key, "Driver", driver);
        const std::string name = driver ? std::string(driver).substr(0, 16) : "Unknown";
        for (int form = 0; form < 3; ++form) {  // as it is, without inquiry data, not there
            dw::AdapterInfo info;
            std::memset(static_cast<void*>(&info), 'x', sizeof info);
            pc.machine.port(0)->inquiryDataFails = form == 1;
            if (form == 2) pc.transport.adapters[0].deviceName = "\\\\.\\SCSI9:";
            EXPECT_EQ(pc.transport.queryAdapter(0, info), 1);
            const std::string id = form == 2 ? std::string(info.adapterId, 17) : info.adapterId;
            EXPECT_EQ(id, form == 2 ? std::string(17, 'x') : name);
            EXPECT_EQ(info.hostScsiId, (std::array{6, 0, int('x')}[form])) << name;
            EXPECT_EQ(std::string(info.managerId) + hex({info.unique, info.unique + 16}),
                      "N/A" + hex(std::vector<uint8_t>(16)));
            EXPECT_EQ(pc.machine.openKeyCount() + pc.machine.openHandleCount(), 0) << name;
            EXPECT_EQ(pc.transport.queryAdapter(1, info) + pc.transport.queryAdapter(-1, info), 0);
        }
    }
}
