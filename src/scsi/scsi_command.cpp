#include "scsi/scsi_command.h"

#include "scsi/opcodes.h"

namespace dw {

namespace {

// Pass-through time-outs: READ BUFFER CAPACITY answers at once; a download may take long.
constexpr uint32_t kShortTimeoutSeconds = 30;
constexpr uint32_t kTimeoutSeconds = 4800;
// SG_IO: a command that only asks the drive something.
constexpr uint32_t kQuestionTimeoutSeconds = 60;

// Indexed by opcode: 1 where the command's data goes from the host to the drive.
constexpr std::array<uint8_t, 256> makeOutCommandTable() {
    std::array<uint8_t, 256> table = {};
    for (uint8_t opcode : {0x04, 0x0A, 0x15, 0x1D, 0x2A, 0x3B, 0x54, 0x55, 0x5D, 0xA3, 0xAA, 0xB6,
                           0xBF, 0xD5, 0xE2, 0xE5, 0xF0, 0xFD}) {
        table[opcode] = 1;
    }
    return table;
}

constexpr std::array<uint8_t, 256> OutCommandTable = makeOutCommandTable();

}  // namespace

uint8_t cdbLengthFor(uint8_t opcode) {
    if (opcode < 0x20) return 6;
    if (opcode < 0x60) return 10;
    return 12;
}

bool isDataOutOpcode(uint8_t opcode) { return OutCommandTable[opcode] != 0; }

DataDirection directionFor(const ScsiCommand& command) {
    if (command.data == nullptr && command.dataLength == 0) return DataDirection::None;
    return isDataOutOpcode(command.cdb[0]) ? DataDirection::Out : DataDirection::In;
}

uint32_t passThroughTimeoutFor(uint8_t opcode) {
    return opcode == op::kReadBufferCapacity ? kShortTimeoutSeconds : kTimeoutSeconds;
}

uint32_t sgIoTimeoutFor(uint8_t opcode) {
    switch (opcode) {
        case op::kInquiry:
        case op::kTestUnitReady:
        case op::kRequestSense:
        case op::kRezeroUnit:
        case op::kVendorReadMemory:
        case op::kVendorReadInfo: return kQuestionTimeoutSeconds;
        default: return passThroughTimeoutFor(opcode);
    }
}

}  // namespace dw
