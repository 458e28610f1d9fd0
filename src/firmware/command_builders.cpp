#include "firmware/command_builders.h"

namespace dw {

namespace {

void putBe32(ScsiCommand& c, size_t at, uint32_t v) {
    c.cdb[at] = static_cast<uint8_t>(v >> 24);
    c.cdb[at + 1] = static_cast<uint8_t>(v >> 16);
    c.cdb[at + 2] = static_cast<uint8_t>(v >> 8);
    c.cdb[at + 3] = static_cast<uint8_t>(v);
}

void putBe24(ScsiCommand& c, size_t at, uint32_t v) {
    c.cdb[at] = static_cast<uint8_t>(v >> 16);
    c.cdb[at + 1] = static_cast<uint8_t>(v >> 8);
    c.cdb[at + 2] = static_cast<uint8_t>(v);
}

int32_t sendWithoutData(ScsiTransport& transport, DeviceEntry& device,
                        std::array<uint8_t, 12> cdb) {
    ScsiCommand command;
    command.cdb = cdb;
    return transport.execute(device, command);
}

// A buffer that cannot hold what the transport would move is refused: nothing is sent.
bool fits(std::span<uint8_t> buffer, uint64_t needed) { return buffer.size() >= needed; }

}  // namespace

int32_t TestUnitReady(ScsiTransport& transport, DeviceEntry& device) {
    return sendWithoutData(transport, device, {0x00});
}

int32_t RezeroUnit(ScsiTransport& transport, DeviceEntry& device) {
    return sendWithoutData(transport, device, {0x01});
}

int32_t RequestSense(ScsiTransport& transport, DeviceEntry& device, std::span<uint8_t> buffer) {
    if (!fits(buffer, 18)) return 0;
    ScsiCommand command;
    command.cdb = {0x03, 0x00, 0x00, 0x00, 0x12, 0x00};
    command.data = buffer.data();
    command.dataLength = 18;
    return transport.execute(device, command);
}

int32_t EjectMedium(ScsiTransport& transport, DeviceEntry& device) {
    return sendWithoutData(transport, device, {0x1B, 0x00, 0x00, 0x00, 0x02, 0x00});
}

int32_t WriteBuffer(ScsiTransport& transport, DeviceEntry& device, uint8_t mode, uint8_t bufferId,
                    uint32_t offset, uint32_t length, std::span<uint8_t> buffer) {
    if (!fits(buffer, uint64_t(length) + 4)) return 0;
    ScsiCommand command;
    command.cdb[0] = 0x3B;
    command.cdb[1] = mode & 0x07;
    command.cdb[2] = bufferId;
    putBe24(command, 3, offset);
    putBe24(command, 6, length);
    command.data = buffer.data();
    command.dataLength = length + 4;
    return transport.execute(device, command);
}

int32_t VendorPrepareDownload(ScsiTransport& transport, DeviceEntry& device) {
    return sendWithoutData(transport, device, {0xE1, 0x04, 0xFF});
}

int32_t VendorWriteMemory(ScsiTransport& transport, DeviceEntry& device, uint8_t modeByte,
                          uint32_t address, uint32_t length, std::span<uint8_t> buffer) {
    if (!fits(buffer, length)) return 0;
    ScsiCommand command;
    command.cdb[0] = 0xE2;
    command.cdb[1] = modeByte;
    putBe32(command, 2, address);
    putBe32(command, 6, length);
    command.data = buffer.data();
    command.dataLength = length;
    return transport.execute(device, command);
}

int32_t VendorReadMemory(ScsiTransport& transport, DeviceEntry& device, uint32_t address,
                         uint32_t length, std::span<uint8_t> buffer) {
    if (!fits(buffer, length)) return 0;
    ScsiCommand command;
    command.cdb[0] = 0xE3;
    putBe32(command, 2, address);
    putBe32(command, 6, length);
    command.data = buffer.data();
    command.dataLength = length;
    return transport.execute(device, command);
}

}  // namespace dw
