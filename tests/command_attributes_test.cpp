// What both transports make of a command, seen from the drive's side: the CDB length and data
// direction the opcode gives, the status and sense of a failure, and the INQUIRY strings.
#include <set>

#include "firmware/command_builders.h"
#include "test_support.h"

using namespace testing_support;

namespace {

// The same drive behind pass-through (transport 0: port 1, target 2, E:, on an IEEE 1394
// adapter, so that INQUIRY goes through the letter) and ASPI (transport 1: adapter 1, target 2).
struct BothTransports : ::testing::Test {
    PassThroughPc pt;
    AspiPc aspi;
    sim::KorvaneDrive* drives[2] = {&pt.machine.addDrive("DVDR   KV-825A", "2.00"),
                                    &aspi.machine.addDrive("DVDR   KV-825A", "2.00")};
    dw::DeviceEntry devices[2] = {PassThroughPc::entry(1, 0, 2, 0, 4), AspiPc::entry(1, 2)};
    dw::ScsiTransport* transports[2] = {&pt.transport, &aspi.transport};

    void SetUp() override {
        pt.addAdapter(0);
        pt.addAdapter(1).busKind = dw::BusKind::Ieee1394;
        pt.machine.attach(*drives[0], 1, 0, 2, 0, 4);
        aspi.machine.aspi().adapters.resize(2);
        aspi.machine.aspi().attach(*drives[1], 1, 2);
    }
};

}  // namespace

// Groups 0 and 1-2 go out as 6 and 10 bytes, every other opcode as 12 (never 16). Exactly the
// eighteen data-out opcodes send their buffer; only no buffer and no length mean no data phase
// (a length without a buffer is not sent).
TEST_F(BothTransports, theOpcodeDecidesTheCdbLengthAndTheDataDirection) {
    const std::set<int> out = {0x04, 0x0A, 0x15, 0x1D, 0x2A, 0x3B, 0x54, 0x55, 0x5D,
                               0xA3, 0xAA, 0xB6, 0xBF, 0xD5, 0xE2, 0xE5, 0xF0, 0xFD};
    uint8_t buffer[36] = {};
    for (int op = 0; op < 256; ++op) {
        const int direction = out.count(op) ? 2 : 1;  // None, In, Out
        const size_t cdbLength = op < 0x20 ? 6 : op < 0x60 ? 10 : 12;
        dw::ScsiCommand command;
        command.cdb[0] = static_cast<uint8_t>(op);
        command.dataLength = 4;
        EXPECT_EQ(int(dw::directionFor(command)), direction) << op;
        for (int form = 0; form < 3; ++form) {  // with data, a buffer of no length, neither
            command.data = form < 2 ? buffer : nullptr;
            command.dataLength = form == 0 ? sizeof buffer : 0;
            const int sent = form < 2 ? direction : 0;
            for (int t = 0; t < 2; ++t) {
                transports[t]->execute(devices[t], command);
                const auto& seen = drives[t]->received().back();
                EXPECT_EQ(seen.cdb.size(), cdbLength) << t << " " << op;
                EXPECT_EQ(int(seen.direction), sent) << t << " " << op << " " << form;
                EXPECT_EQ(seen.transferLength, command.dataLength) << t << " " << op;
            }
            const auto& request = pt.machine.passThroughRequests().back();
            const auto& srb = aspi.machine.aspi().requests().back();
            EXPECT_EQ(request.dataIn, (std::array{2, 1, 0}[sent])) << op;
            EXPECT_EQ(request.timeOutValue, op == 0x5C ? 30u : 4800u) << op;
            EXPECT_EQ(srb.flags, (std::array{0x40, 0x48, 0x50}[sent])) << op;  // with event notify
            EXPECT_EQ(request.senseInfoLength + srb.senseLength, 32 + 14) << op;
        }
    }
}

// Only 14 bytes of sense are stored, and a later success leaves them.
TEST_F(BothTransports, aFailureBringsItsStatusAndSenseAndTheSenseOutlivesASuccess) {
    for (int t = 0; t < 2; ++t) {
        devices[t].sense[14] = 0xAA;
        EXPECT_EQ(dw::TestUnitReady(*transports[t], devices[t]), t == 0 ? 2 : 4) << t;
        drives[t]->mediumLoaded = true;
        EXPECT_EQ(dw::TestUnitReady(*transports[t], devices[t]), 1) << t;
        EXPECT_EQ(hex({devices[t].sense, devices[t].sense + 15}),
                  "70 00 02 00 00 00 00 0A 00 00 00 00 3A 00 AA")
            << t;
    }
}

// A failed INQUIRY through the drive letter passes its result on; ASPI's is 0.
TEST_F(BothTransports, inquiryReadsTheDriveAndReportsItsDeviceType) {
    for (int t = 0; t < 2; ++t) {
        dw::InquiryStrings s;
        EXPECT_EQ(transports[t]->inquiry(devices[t], s), 1 + 0x05 * 256) << t;
        EXPECT_EQ(std::string(s.vendor) + s.product + s.revision, "KORVANE DVDR   KV-825A  2.00");
        EXPECT_EQ(hex(drives[t]->received().back().cdb), "12 00 00 00 38 00") << t;
        EXPECT_EQ(drives[t]->received().back().transferLength, 56u) << t;
        devices[t].targetId = -1;
        EXPECT_EQ(transports[t]->inquiry(devices[t], s), 0) << t;
        devices[t].targetId = 2;
        drives[t]->failAll(0x12, {0x05, 0x24, 0x00});
        EXPECT_EQ(transports[t]->inquiry(devices[t], s), t == 0 ? 2 : 0) << t;
        EXPECT_EQ(drives[t]->received().size(), 2u) << t;
    }
    sim::Machine none;  // no transport: nothing is sent
    dw::ScsiTransport transport(none);
    dw::InquiryStrings s;
    dw::AdapterInfo info;
    EXPECT_EQ(transport.execute(devices[0], dw::ScsiCommand{}) + transport.inquiry(devices[0], s) +
                  transport.queryAdapter(0, info),
              0);
    EXPECT_TRUE(none.openedDevices().empty());
}
