#include "identify/vendor_read_info.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "scsi/opcodes.h"

namespace dw {

namespace {

constexpr uint8_t kFormAddress = 0x00;
constexpr uint8_t kFormPiece = 0x01;
constexpr uint32_t kMaxFieldValue = 0xFFFF;  // length and piece index are 16-bit fields

void putBe16(ScsiCommand& command, size_t at, uint32_t value) {
    command.cdb[at] = static_cast<uint8_t>(value >> 8);
    command.cdb[at + 1] = static_cast<uint8_t>(value);
}

// The 829 and 827 families only answer the block piece by piece.
bool readsByPiece(const DeviceEntry& device) {
    const std::string_view product(device.product, strnlen(device.product, kProductLength));
    return product.find("829") != std::string_view::npos ||
           product.find("827") != std::string_view::npos;
}

int32_t readByAddress(ScsiTransport& transport, DeviceEntry& device, uint32_t address,
                      uint32_t length, uint8_t* data) {
    if (length > kMaxFieldValue) return 0;
    ScsiCommand command;
    command.cdb[0] = op::kVendorReadInfo;
    command.cdb[1] = kFormAddress;
    putBe16(command, 2, address >> 16);
    putBe16(command, 4, address & 0xFFFF);
    putBe16(command, 8, length);
    command.data = length == 0 ? nullptr : data;
    command.dataLength = length;
    return transport.execute(device, command);
}

int32_t readByPiece(ScsiTransport& transport, DeviceEntry& device, uint32_t length, uint8_t* data) {
    const uint32_t pieces = length / kInfoPieceSize + (length % kInfoPieceSize != 0 ? 1 : 0);
    if (pieces > kMaxFieldValue + 1) return 0;
    int32_t status = 0;
    for (uint32_t i = 0; i < pieces; ++i) {
        const uint32_t offset = i * kInfoPieceSize;
        const uint32_t pieceLength = std::min(kInfoPieceSize, length - offset);
        ScsiCommand command;
        command.cdb[0] = op::kVendorReadInfo;
        command.cdb[1] = kFormPiece;
        putBe16(command, 6, i);
        putBe16(command, 8, pieceLength);
        command.data = data + offset;
        command.dataLength = pieceLength;
        status = transport.execute(device, command);
        if (status != 1) break;
    }
    return status;
}

}  // namespace

int32_t VendorReadInfo(ScsiTransport& transport, DeviceEntry& device, uint32_t address,
                       uint32_t length, std::span<uint8_t> buffer) {
    // The drive writes `length` bytes; a shorter buffer would be overrun.
    if (buffer.size() < length) return 0;
    if (readsByPiece(device)) return readByPiece(transport, device, length, buffer.data());
    return readByAddress(transport, device, address, length, buffer.data());
}

}  // namespace dw
