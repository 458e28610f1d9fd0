// The ASPI transport: its three ways of completing a request, the statuses it passes on, and
// the host adapter inquiry. What every request carries is tried beside pass-through.
#include "firmware/command_builders.h"
#include "test_support.h"

using namespace testing_support;
using Completion = sim::AspiLayer::Completion;

// Without an event the transport polls, yielding without sleeping; with one it waits only for
// a pending request. The event is reset before use and after its wait, and closed. The block
// starts as an error, so that a layer that never writes its status leaves a failure.
TEST(AspiRequests, eachCompletionGivesTheFinalStatus) {
    const std::tuple<Completion, bool, int, int> cases[] = {
        // events fail, waits, resets
        {Completion::Synchronous, false, 0, 1},
        {Completion::Deferred, false, 1, 2},
        {Completion::Signalled, false, 1, 2},  // pending, with the event already set
        {Completion::Deferred, true, 0, 0}};
    for (const auto& [completion, eventsFail, waits, resets] : cases) {
        AspiPc pc;
        pc.machine.aspi().adapters.resize(2);
        pc.machine.aspi().attach(pc.machine.addDrive("DVDR   KV-825A", "2.00"), 1, 0);
        pc.machine.aspi().completion = completion;
        pc.machine.eventsFail = eventsFail;
        dw::DeviceEntry devices[] = {AspiPc::entry(1, 0), AspiPc::entry(1, 5), AspiPc::entry(4, 0)};
        const std::string what = std::to_string(int(completion)) + " " + std::to_string(eventsFail);
        EXPECT_EQ(dw::TestUnitReady(pc.transport, devices[0]), 4) << what;  // no medium
        EXPECT_EQ(dw::RezeroUnit(pc.transport, devices[0]), 1) << what;
        EXPECT_EQ(std::tuple(pc.machine.eventWaits, pc.machine.eventResets),
                  std::tuple(2 * waits, 2 * resets))
            << what;
        EXPECT_GE(pc.machine.sleeps, eventsFail ? 6 : 0) << what;
        EXPECT_EQ(pc.machine.tickCount(), 1000u) << what;
        EXPECT_EQ(pc.machine.eventsCreated - pc.machine.eventsClosed +
                      pc.machine.aspi().pendingRequests(),
                  0)
            << what;
        EXPECT_EQ(pc.machine.aspi().requests().back().presetStatus, dw::aspi::kError) << what;
        EXPECT_EQ(dw::RezeroUnit(pc.transport, devices[1]), 0x82) << what;  // no device
        EXPECT_EQ(dw::RezeroUnit(pc.transport, devices[2]), 0x81) << what;  // no adapter
    }
}

// Any status but completion is a failure, passed on as it came (pending as no status at all).
TEST(AspiRequests, onlyCompletionReadsAsSuccess) {
    AspiPc pc;
    pc.machine.aspi().attach(pc.machine.addDrive("DVDR   KV-825A", "2.00"), 0, 0);
    auto device = AspiPc::entry(0, 0);
    dw::InquiryStrings s;
    for (int status = 0; status < 256; ++status) {
        pc.machine.aspi().forcedStatus = static_cast<uint8_t>(status);
        const bool complete = status == dw::aspi::kComplete;
        EXPECT_EQ(dw::RezeroUnit(pc.transport, device), complete ? 1
                                                        : status ? status
                                                                 : dw::kResultNoStatus);
        EXPECT_EQ(pc.transport.inquiry(device, s) & 0xFF, complete ? 1 : 0) << status;
    }
}

TEST(AspiRequests, adapterInquiryCopiesTheIdentifiersWithinTheCall) {
    AspiPc pc;
    auto& adapter = pc.machine.aspi().adapters.emplace_back();
    adapter.managerId = "ASPI for WIN32xx";  // all 16 characters used
    adapter.adapterId = "KORVANE-IDE";
    adapter.hostScsiId = 7;
    adapter.unique[15] = 0x42;
    dw::AdapterInfo info;
    std::memset(static_cast<void*>(&info), 'x', sizeof info);
    EXPECT_EQ(pc.transport.queryAdapter(0, info), 1);
    EXPECT_EQ(std::string(info.managerId) + "|" + info.adapterId, "ASPI for WIN32xx|KORVANE-IDE");
    EXPECT_EQ(hex({info.unique, info.unique + 16}),
              "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 42");
    EXPECT_EQ(info.hostScsiId + pc.machine.eventsCreated, 7);  // completes within the call
    EXPECT_EQ(pc.transport.queryAdapter(1, info), 0x81);
}
