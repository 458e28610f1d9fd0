#include "firmware/command_builders.h"

#include "scsi/opcodes.h"

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

constexpr uint32_t kSenseDataLength = 18;
constexpr uint8_t kLoadEject = 0x02;  // START STOP UNIT: LoEj = 1, Start = 0
// E1h: byte 1 names the download, byte 2 its target.
constexpr uint8_t kPrepareDownload = 0x04;
constexpr uint8_t kPrepareTarget = 0xFF;

// A buffer that cannot hold what the transport would move is refused: nothing is sent.
bool fits(std::span<uint8_t> buffer, uint64_t needed) { return buffer.size() >= needed; }

}  // namespace

int32_t TestUnitReady(ScsiTransport& transport, DeviceEntry& device) {
    return sendWithoutData(transport, device, {op::kTestUnitReady});
}

int32_t RezeroUnit(ScsiTransport& transport, DeviceEntry& device) {
    return sendWithoutData(transport, device, {op::kRezeroUnit});
}

int32_t RequestSense(ScsiTransport& transport, DeviceEntry& device, std::span<uint8_t> buffer) {
    if (!fits(buffer, kSenseDataLength)) return 0;
    ScsiCommand command;
    command.cdb = {op::kRequestSense, 0x00, 0x00, 0x00, kSenseDataLength, 0x00};
    command.data = buffer.data();
    command.dataLength = kSenseDataLength;
    return transport.execute(device, command);
}

int32_t EjectMedium(ScsiTransport& transport, DeviceEntry& device) {
    return sendWithoutData(transport, device,
                           {op::kStartStopUnit, 0x00, 0x00, 0x00, kLoadEject, 0x00});
}

int32_t WriteBuffer(ScsiTransport& transport, DeviceEntry& device, uint8_t mode, uint8_t bufferId,
                    uint32_t offset, uint32_t length, std::span<uint8_t> buffer) {
    if (!fits(buffer, uint64_t(length) + kWriteBufferExtra)) return 0;
    ScsiCommand command;
    command.cdb[0] = op::kWriteBuffer;
    command.cdb[1] = mode & 0x07;
    command.cdb[2] = bufferId;
    putBe24(command, 3, offset);
    putBe24(command, 6, length);
    command.data = buffer.data();
    command.dataLength = length + kWriteBufferExtra;
    return transport.execute(device, command);
}

int32_t VendorPrepareDownload(ScsiTransport& transport, DeviceEntry& device) {
    return sendWithoutData(transport, device,
                           {op::kVendorPrepareDownload, kPrepareDownload, kPrepareTarget});
}

int32_t VendorWriteMemory(ScsiTransport& transport, DeviceEntry& device, uint8_t modeByte,
                          uint32_t address, uint32_t length, std::span<uint8_t> buffer) {
    if (!fits(buffer, length)) return 0;
    ScsiCommand command;
    command.cdb[0] = op::kVendorWriteMemory;
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
    command.cdb[0] = op::kVendorReadMemory;
    putBe32(command, 2, address);
    putBe32(command, 6, length);
    command.data = buffer.data();
    command.dataLength = length;
    return transport.execute(device, command);
}

}  // namespace dw
