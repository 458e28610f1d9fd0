// What both transports make of a command, seen from the drive's side: the CDB length and data
// direction the opcode gives, the status and sense of a failure and the INQUIRY strings; then
// what is the ASPI transport's own: its ways of completing, the statuses it passes on, and the
// host adapter inquiry.
#include <set>

#include "firmware/command_builders.h"
#include "test_support.h"

using namespace testing_support;
using Completion = sim::AspiLayer::Completion;

namespace {

// The same drive behind pass-through (transport 0: port 1, target 2, E:, on an IEEE 1394
// adapter, so that INQUIRY goes through the letter) and ASPI (transport 1: adapter 1, target 2).
struct BothTransports : ::testing::Test {
    PassThroughPc pt;
    AspiPc aspi;
    sim::KorvaneDrive* drives[2] = {&pt.machine.addDrive("DVDR   KV-825A", "2.00"),
                                    &aspi.machine.addDrive("DVDR   KV-825A", "2.00")};
    dw::DeviceEntry devices[2] = {PassThroughPc::entry(1, 0, 2, 0, 4), devices[0]};
    dw::ScsiTransport* transports[2] = {&pt.transport, &aspi.transport};
    dw::InquiryStrings s;

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
// The ASPI block asks for an event.
TEST_F(BothTransports, theOpcodeDecidesTheCdbLengthAndTheDataDirection) {
    const std::set<int> out = {0x04, 0x0A, 0x15, 0x1D, 0x2A, 0x3B, 0x54, 0x55, 0x5D,
                               0xA3, 0xAA, 0xB6, 0xBF, 0xD5, 0xE2, 0xE5, 0xF0, 0xFD};
    uint8_t buffer[36] = {};
    for (int op = 0; op < 256; ++op) {
        const int direction = out.count(op) ? 2 : 1;  // None, In, Out
        const size_t cdbLength = op < 0x20 ? 6 : op < 0x60 ? 10 : 12;
        dw::ScsiCommand command;
        command.cdb[0] = static_cast<uint8_t>(op);
        for (int form = 0; form < 3; ++form) {  // with data, a buffer of no length, neither
            command.data = form < 2 ? buffer : nullptr;
            command.dataLength = form == 0 ? sizeof buffer : 0;
            const int sent = form < 2 ? direction : 0;
            for (int t = 0; t < 2; ++t) {
                transports[t]->execute(devices[t], command);
                const auto& seen = drives[t]->received().back();
                EXPECT_EQ(std::tuple(seen.cdb.size(), int(seen.direction), seen.transferLength),
                          std::tuple(cdbLength, sent, command.dataLength))
                    << t << " " << op << " " << form;
            }
            const auto& request = pt.machine.passThroughRequests().back();
            const auto& srb = aspi.machine.aspi().requests().back();
            EXPECT_EQ(std::tuple(int(request.dataIn), request.timeOutValue, int(srb.flags)),
                      std::tuple((std::array{2, 1, 0}[sent]), op == 0x5C ? 30u : 4800u,
                                 (std::array{0x40, 0x48, 0x50}[sent])))
                << op << " " << form;
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
                  "70 00 02 00 00 00 00 0A 00 00 00 00 3A 00 AA");
    }
}

// A failed INQUIRY through the drive letter passes its result on; ASPI's is 0. Without a
// transport nothing is sent.
TEST_F(BothTransports, inquiryReadsTheDriveAndReportsItsDeviceType) {
    for (int t = 0; t < 2; ++t) {
        EXPECT_EQ(transports[t]->inquiry(devices[t], s), 1 + 0x05 * 256) << t;
        EXPECT_EQ(std::string(s.vendor) + s.product + s.revision, "KORVANE DVDR   KV-825A  2.00");
        EXPECT_EQ(hex(drives[t]->received().back().cdb), "12 00 00 00 38 00") << t;
        drives[t]->failAll(0x12, {0x05, 0x24, 0x00});
        EXPECT_EQ(transports[t]->inquiry(devices[t], s), t == 0 ? 2 : 0) << t;
        transports[t]->kind = dw::TransportKind::None;
        dw::AdapterInfo info;
        EXPECT_EQ(transports[t]->execute(devices[t], dw::ScsiCommand{}) +
                      transports[t]->inquiry(devices[t], s) + transports[t]->queryAdapter(1, info),
                  0);
        EXPECT_EQ(drives[t]->received().size(), 2u) << t;
    }
}

// Any status but completion is a failure, passed on as it came (pending as no status at all);
// an unknown device or adapter is the layer's status.
TEST_F(BothTransports, onlyCompletionReadsAsSuccessOverAspi) {
    drives[1]->mediumLoaded = true;
    for (int status = 0; status < 256; ++status) {
        aspi.machine.aspi().forcedStatus = static_cast<uint8_t>(status);
        const bool complete = status == dw::aspi::kComplete;
        const int32_t result = complete ? 1 : status ? status : dw::kResultNoStatus;
        EXPECT_EQ(dw::RezeroUnit(aspi.transport, devices[1]), result);
        EXPECT_EQ(aspi.transport.inquiry(devices[1], s) & 0xFF, complete ? 1 : 0) << status;
    }
    aspi.machine.aspi().forcedStatus.reset();
    for (const auto& [adapter, target, result] : {std::tuple{1, 5, 0x82}, std::tuple{4, 2, 0x81}}) {
        auto d = PassThroughPc::entry(adapter, 0, target, 0, -1);
        EXPECT_EQ(dw::RezeroUnit(aspi.transport, d), result);
    }
}

// Without an event the transport polls, yielding without sleeping; with one it waits only for
// a pending request. The event is reset before use and after its wait, and closed.
TEST_F(BothTransports, eachAspiCompletionGivesTheFinalStatus) {
    const std::tuple<Completion, bool, int, int> cases[] = {
        {Completion::Synchronous, false, 0, 1},
        {Completion::Deferred, false, 1, 2},
        {Completion::Signalled, false, 1, 2},  // pending, with the event already set
        {Completion::Deferred, true, 0, 0}};   // events fail, waits, resets
    auto& m = aspi.machine;
    for (const auto& [completion, eventsFail, waits, resets] : cases) {
        m.aspi().completion = completion;
        m.eventsFail = eventsFail;
        m.eventWaits = m.eventResets = m.sleeps = 0;
        EXPECT_EQ(dw::TestUnitReady(aspi.transport, devices[1]), 4) << waits << resets;
        EXPECT_EQ(dw::RezeroUnit(aspi.transport, devices[1]), 1) << waits << resets;
        EXPECT_EQ(std::tuple(m.eventWaits, m.eventResets), std::tuple(2 * waits, 2 * resets));
        EXPECT_GE(m.sleeps, eventsFail ? 6 : 0);
        EXPECT_EQ(m.eventsCreated - m.eventsClosed + m.aspi().pendingRequests(), 0);
        EXPECT_EQ(m.tickCount(), 1000u);
    }
}

TEST_F(BothTransports, aspiAdapterInquiryCopiesTheIdentifiersWithinTheCall) {
    auto& adapter = aspi.machine.aspi().adapters[1];
    adapter.managerId = "ASPI for WIN32xx";  // all 16 characters used
    adapter.unique[15] = 0x42;
    dw::AdapterInfo info;
    std::memset(static_cast<void*>(&info), 'x', sizeof info);
    EXPECT_EQ(aspi.transport.queryAdapter(1, info), 1);
    EXPECT_EQ(std::string(info.managerId) + "|" + info.adapterId + "|" +
                  hex({info.unique + 15, info.unique + 16}) + "|" +
                  std::to_string(info.hostScsiId + aspi.machine.eventsCreated),
              "ASPI for WIN32xx|ATAPI|42|7");
    EXPECT_EQ(aspi.transport.queryAdapter(2, info), 0x81);
}
