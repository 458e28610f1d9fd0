// What the transport derives from the opcode, seen from the drive's side of both transports.
#include <set>

#include "scsi/scsi_command.h"
#include "test_support.h"

using namespace testing_support;
using dw::DataDirection;

namespace {

struct AttributeCase {
    uint8_t opcode;
    bool withData;
    uint8_t cdbLength;
    DataDirection direction;
};

const AttributeCase kAttributeCases[] = {
    {0x00, false, 6, DataDirection::None},  // TEST UNIT READY
    {0x1B, false, 6, DataDirection::None},  // START STOP UNIT
    {0x12, true, 6, DataDirection::In},     // INQUIRY
    {0x04, true, 6, DataDirection::Out},    // the first opcode of the data-out table
    {0x1F, true, 6, DataDirection::In},     // last 6-byte opcode
    {0x20, true, 10, DataDirection::In},    // first 10-byte opcode
    {0x3B, true, 10, DataDirection::Out},   // WRITE BUFFER
    {0x5C, true, 10, DataDirection::In},    // READ BUFFER CAPACITY
    {0x5F, true, 10, DataDirection::In},    // last 10-byte opcode
    {0x60, true, 12, DataDirection::In},    // first 12-byte opcode
    {0xA8, true, 12, DataDirection::In},    // group 5 goes out as 12 bytes
    {0xAA, true, 12, DataDirection::Out},
    {0x88, true, 12, DataDirection::In},  // group 4: never a 16-byte CDB
    {0xE1, false, 12, DataDirection::None},
    {0xE2, true, 12, DataDirection::Out},
    {0xE3, true, 12, DataDirection::In},  // vendor read: data in despite the vendor range
    {0xF1, true, 12, DataDirection::In},
    {0xFD, true, 12, DataDirection::Out},
};

std::string caseName(const AttributeCase& c) {
    char name[16];
    std::snprintf(name, sizeof name, "opcode %02X", c.opcode);
    return name;
}

}  // namespace

TEST(CommandAttributes, exactlyTheEighteenDataOutOpcodesSendData) {
    const std::set<int> out = {0x04, 0x0A, 0x15, 0x1D, 0x2A, 0x3B, 0x54, 0x55, 0x5D,
                               0xA3, 0xAA, 0xB6, 0xBF, 0xD5, 0xE2, 0xE5, 0xF0, 0xFD};
    for (int op = 0; op < 256; ++op) {
        EXPECT_EQ(dw::isDataOutOpcode(static_cast<uint8_t>(op)), out.count(op) == 1)
            << "opcode " << op;
    }
}

TEST(CommandAttributes, aBufferlessCommandHasNoDataPhaseWhateverItsOpcode) {
    for (uint8_t op : {0x00, 0x1B, 0x3B, 0xE2, 0xE3}) {
        dw::ScsiCommand c;
        c.cdb[0] = op;
        EXPECT_EQ(dw::directionFor(c), DataDirection::None) << int(op);
    }
    // Only no buffer and no length together mean no data phase.
    uint8_t byte = 0;
    struct Case {
        uint8_t op;
        uint8_t* data;
        uint32_t length;
        DataDirection direction;
    } cases[] = {{0x3B, &byte, 0, DataDirection::Out},
                 {0xE3, &byte, 0, DataDirection::In},
                 {0x3B, nullptr, 4, DataDirection::Out}};
    for (const auto& k : cases) {
        dw::ScsiCommand c;
        c.cdb[0] = k.op;
        c.data = k.data;
        c.dataLength = k.length;
        EXPECT_EQ(dw::directionFor(c), k.direction) << int(k.op) << " " << k.length;
    }
}

TEST(CommandAttributes, passThroughDriveSeesDerivedLengthAndDirection) {
    PassThroughPc pc;
    pc.addAdapter(0);
    auto& drive = pc.machine.addDrive("DVDR   KV-829A", "1.00");
    pc.machine.attach(drive, 0, 0, 0, 0, 4);
    auto device = PassThroughPc::entry(0, 0, 0, 0, 4);

    uint8_t buffer[64] = {};
    for (const auto& c : kAttributeCases) {
        dw::ScsiCommand command;
        command.cdb[0] = c.opcode;
        command.cdb[4] = 36;
        if (c.withData) {
            command.data = buffer;
            command.dataLength = 36;
        }
        pc.transport.execute(device, command);
        ASSERT_FALSE(drive.received().empty());
        const auto& seen = drive.received().back();
        EXPECT_EQ(seen.cdb.size(), c.cdbLength) << caseName(c);
        EXPECT_EQ(seen.direction, c.direction) << caseName(c);
        EXPECT_EQ(seen.transferLength, c.withData ? 36u : 0u) << caseName(c);
        const auto& request = pc.machine.passThroughRequests().back();
        EXPECT_EQ(request.cdbLength, c.cdbLength) << caseName(c);
        EXPECT_EQ(request.senseInfoLength, 32) << caseName(c);
        EXPECT_EQ(request.timeOutValue, c.opcode == 0x5C ? 30u : 4800u) << caseName(c);
        const uint8_t dataIn = c.direction == DataDirection::Out  ? 0
                               : c.direction == DataDirection::In ? 1
                                                                  : 2;
        EXPECT_EQ(request.dataIn, dataIn) << caseName(c);
    }
    EXPECT_EQ(drive.received().size(), std::size(kAttributeCases));
}

TEST(CommandAttributes, aspiDriveSeesDerivedLengthAndDirection) {
    AspiPc pc;
    auto& drive = pc.machine.addDrive("DVDR   KV-829A", "1.00");
    pc.machine.aspi().attach(drive, 0, 1);
    auto device = AspiPc::entry(0, 1);

    uint8_t buffer[64] = {};
    for (const auto& c : kAttributeCases) {
        dw::ScsiCommand command;
        command.cdb[0] = c.opcode;
        command.cdb[4] = 36;
        if (c.withData) {
            command.data = buffer;
            command.dataLength = 36;
        }
        pc.transport.execute(device, command);
        ASSERT_FALSE(drive.received().empty());
        const auto& seen = drive.received().back();
        EXPECT_EQ(seen.cdb.size(), c.cdbLength) << caseName(c);
        EXPECT_EQ(seen.direction, c.direction) << caseName(c);
        const auto& request = pc.machine.aspi().requests().back();
        EXPECT_EQ(request.senseLength, 14) << caseName(c);
        EXPECT_EQ(request.flags & 0x18, c.direction == DataDirection::In    ? 0x08
                                        : c.direction == DataDirection::Out ? 0x10
                                                                            : 0x00)
            << caseName(c);
    }
}

TEST(CommandAttributes, noTransportSendsNothing) {
    sim::Machine machine;
    dw::ScsiTransport transport(machine);
    dw::DeviceEntry device;
    dw::ScsiCommand command;
    EXPECT_EQ(transport.execute(device, command), 0);
    dw::InquiryStrings strings;
    EXPECT_EQ(transport.inquiry(device, strings), 0);
    dw::AdapterInfo info;
    EXPECT_EQ(transport.queryAdapter(0, info), 0);
    EXPECT_TRUE(machine.openedDevices().empty());
}
