// The ASPI transport: the execute-command block, its three ways of completing, and the host
// adapter inquiry.
#include "firmware/command_builders.h"
#include "test_support.h"

using namespace testing_support;
using Completion = sim::AspiLayer::Completion;

namespace {

struct AspiFixture : ::testing::Test {
    AspiPc pc;
    sim::KorvaneDrive* drive = nullptr;
    dw::DeviceEntry device = AspiPc::entry(1, 2);

    void SetUp() override {
        pc.machine.aspi().adapters.resize(2);
        drive = &pc.machine.addDrive("DVDR   KV-825A", "2.00");
        pc.machine.aspi().attach(*drive, 1, 2);
    }
};

}  // namespace

TEST_F(AspiFixture, theBlockCarriesTheDeviceAndTheDerivedFields) {
    uint8_t sense[18];
    ASSERT_EQ(dw::RequestSense(pc.transport, device, sense), 1);
    const auto& r = pc.machine.aspi().requests().back();
    EXPECT_EQ(r.command, 2);
    EXPECT_EQ(r.presetStatus, 4);
    EXPECT_EQ(r.hostAdapter, 1);
    EXPECT_EQ(r.target, 2);
    EXPECT_EQ(r.lun, 0);
    EXPECT_EQ(r.bufferLength, 18u);
    EXPECT_EQ(r.senseLength, 14);
    EXPECT_EQ(r.cdbLength, 6);
    EXPECT_EQ(r.flags, 0x08 | 0x40);
    EXPECT_TRUE(r.hadEvent);
}

TEST_F(AspiFixture, eachCompletionGivesTheFinalStatusAndClosesItsEvent) {
    struct Case {
        const char* name;
        Completion completion;
        bool eventsFail;
        int waits;
        bool eventFlag;
    } cases[] = {
        {"synchronous", Completion::Synchronous, false, 0, true},
        {"event", Completion::Deferred, false, 1, true},
        {"pending with the event already set", Completion::Signalled, false, 1, true},
        {"polling", Completion::Deferred, true, 0, false},
    };
    for (const auto& c : cases) {
        AspiPc fresh;
        auto& d = fresh.machine.addDrive("DVDR   KV-825A", "2.00");
        fresh.machine.aspi().attach(d, 0, 0);
        fresh.machine.aspi().completion = c.completion;
        fresh.machine.eventsFail = c.eventsFail;
        auto e = AspiPc::entry(0, 0);

        EXPECT_EQ(dw::RezeroUnit(fresh.transport, e), 1) << c.name;
        EXPECT_EQ(fresh.machine.eventWaits, c.waits) << c.name;
        EXPECT_EQ(fresh.machine.eventsCreated, fresh.machine.eventsClosed) << c.name;
        EXPECT_EQ(fresh.machine.aspi().pendingRequests(), 0) << c.name;
        EXPECT_EQ((fresh.machine.aspi().requests().back().flags & 0x40) != 0, c.eventFlag)
            << c.name;
        if (c.eventsFail) {
            EXPECT_GE(fresh.machine.sleeps, 3) << c.name;
        }

        d.mediumLoaded = false;
        EXPECT_EQ(dw::TestUnitReady(fresh.transport, e), 4) << c.name;
        EXPECT_EQ(e.sense[2], 0x02) << c.name;
        EXPECT_EQ(e.sense[12], 0x3A) << c.name;
    }
}

TEST_F(AspiFixture, theEventIsResetBeforeUseAndAfterTheWait) {
    pc.machine.aspi().completion = Completion::Deferred;
    EXPECT_EQ(dw::RezeroUnit(pc.transport, device), 1);
    EXPECT_EQ(pc.machine.eventResets, 2);
    EXPECT_EQ(pc.machine.eventWaits, 1);
}

TEST_F(AspiFixture, checkConditionIsStatusFourWithTheSenseArea) {
    drive->failNth(0x3B, 1, {0x05, 0x24, 0x00});
    uint8_t chunk[8196] = {};
    EXPECT_EQ(dw::WriteBuffer(pc.transport, device, 4, 0, 0, 8192, chunk), 4);
    EXPECT_EQ(device.sense[2], 0x05);
    EXPECT_EQ(device.sense[12], 0x24);
    EXPECT_EQ(device.sense[13], 0x00);

    EXPECT_EQ(dw::WriteBuffer(pc.transport, device, 4, 0, 0, 8192, chunk), 1);
    EXPECT_EQ(device.sense[2], 0x05);  // kept after the success
}

TEST_F(AspiFixture, otherLayerStatusesArePassedOn) {
    auto noDevice = AspiPc::entry(1, 5);
    EXPECT_EQ(dw::RezeroUnit(pc.transport, noDevice), 0x82);
    auto noAdapter = AspiPc::entry(4, 2);
    EXPECT_EQ(dw::RezeroUnit(pc.transport, noAdapter), 0x81);
}

TEST_F(AspiFixture, inquiryReadsTheDriveAndReportsItsDeviceType) {
    dw::InquiryStrings s;
    EXPECT_EQ(pc.transport.inquiry(device, s), 1 + 0x05 * 256);
    EXPECT_STREQ(s.vendor, "KORVANE ");
    EXPECT_STREQ(s.product, "DVDR   KV-825A  ");
    EXPECT_STREQ(s.revision, "2.00");
    const auto& seen = drive->received().back();
    EXPECT_EQ(seen.cdb, (std::vector<uint8_t>{0x12, 0, 0, 0, 0x38, 0}));
    EXPECT_EQ(seen.transferLength, 56u);
}

TEST_F(AspiFixture, aFailedInquiryIsZeroAndANegativeAddressSendsNothing) {
    drive->failAll(0x12, {0x05, 0x20, 0x00});
    dw::InquiryStrings s;
    EXPECT_EQ(pc.transport.inquiry(device, s), 0);
    const size_t before = pc.machine.aspi().requests().size();
    auto negative = AspiPc::entry(1, -1);
    EXPECT_EQ(pc.transport.inquiry(negative, s), 0);
    EXPECT_EQ(pc.machine.aspi().requests().size(), before);
}

TEST_F(AspiFixture, adapterInquiryCopiesTheIdentifiers) {
    auto& adapter = pc.machine.aspi().adapters[1];
    adapter.managerId = "ASPI for WIN32xx";  // all 16 characters used
    adapter.adapterId = "KORVANE-IDE";
    adapter.hostScsiId = 7;
    adapter.unique[3] = 0x42;
    dw::AdapterInfo info;
    EXPECT_EQ(pc.transport.queryAdapter(1, info), 1);
    EXPECT_STREQ(info.managerId, "ASPI for WIN32xx");
    EXPECT_STREQ(info.adapterId, "KORVANE-IDE");
    EXPECT_EQ(info.hostScsiId, 7);
    EXPECT_EQ(info.unique[3], 0x42);
    EXPECT_EQ(pc.machine.eventsCreated, 0);  // completes within the call
    EXPECT_EQ(pc.transport.queryAdapter(9, info), 0x81);
}

TEST_F(AspiFixture, onlyCompletionReadsAsSuccess) {
    drive->mediumLoaded = true;
    for (int status = 0; status < 256; ++status) {
        pc.machine.aspi().forcedStatus = static_cast<uint8_t>(status);
        device.sense[2] = 0;
        const int32_t result = dw::TestUnitReady(pc.transport, device);
        dw::InquiryStrings s;
        const int32_t inquiry = pc.transport.inquiry(device, s);
        if (status == dw::aspi::kComplete) {
            EXPECT_EQ(result, 1);
            EXPECT_EQ(inquiry & 0xFF, 1);
        } else {
            EXPECT_NE(result, 1) << status;
            EXPECT_NE(result & 0xFF, 1) << status;
            EXPECT_NE(result, 0) << status << ": it was sent";
            EXPECT_NE(inquiry & 0xFF, 1) << status;
        }
    }
}
