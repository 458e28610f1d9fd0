// A SCSI command as a caller hands it to the transport, and the attributes the transport derives
// from its opcode (the same for both transports).
#pragma once

#include <array>
#include <cstdint>

namespace dw {

struct ScsiCommand {
    std::array<uint8_t, 12> cdb = {};  // the opcode first; bytes not set stay 0
    uint8_t* data = nullptr;           // where data is read into or taken from, may be null
    uint32_t dataLength = 0;           // 0 with a null buffer: no data phase
};

enum class DataDirection : uint8_t { None, In, Out };

// 6 bytes below 0x20, 10 bytes for 0x20..0x5F, 12 bytes from 0x60 on (16-byte CDBs are never
// sent: groups 4 and 5 and the vendor opcodes all go out as 12 bytes).
uint8_t cdbLengthFor(uint8_t opcode);

// True for the opcodes that move data from the host to the drive.
bool isDataOutOpcode(uint8_t opcode);

DataDirection directionFor(const ScsiCommand& command);

// Pass-through time-out in seconds: 30 for READ BUFFER CAPACITY (0x5C), 4800 for the rest.
uint32_t passThroughTimeoutFor(uint8_t opcode);

// SG_IO time-out in seconds: 60 for the identification and status commands (INQUIRY, TEST UNIT
// READY, REQUEST SENSE, REZERO UNIT, the vendor reads E3h and F1h), so that a drive that does
// not answer them holds the program a minute and not more; otherwise as under pass-through
// (4800 for the commands that carry or commit firmware and for START STOP UNIT).
uint32_t sgIoTimeoutFor(uint8_t opcode);

}  // namespace dw
