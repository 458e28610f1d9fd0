// The operation codes the program sends, and the standard INQUIRY every INQUIRY path uses.
#pragma once

#include <array>
#include <cstdint>

namespace dw {

namespace op {
inline constexpr uint8_t kTestUnitReady = 0x00;
inline constexpr uint8_t kRezeroUnit = 0x01;
inline constexpr uint8_t kRequestSense = 0x03;
inline constexpr uint8_t kInquiry = 0x12;
inline constexpr uint8_t kStartStopUnit = 0x1B;
inline constexpr uint8_t kWriteBuffer = 0x3B;
inline constexpr uint8_t kReadBufferCapacity = 0x5C;
// The maker's vendor commands.
inline constexpr uint8_t kVendorPrepareDownload = 0xE1;
inline constexpr uint8_t kVendorWriteMemory = 0xE2;
inline constexpr uint8_t kVendorReadMemory = 0xE3;
inline constexpr uint8_t kVendorReadInfo = 0xF1;
}  // namespace op

// Standard INQUIRY with an allocation length of 56 bytes: vendor at 8, product at 16, revision
// at 32.
inline constexpr uint8_t kInquiryLength = 56;
inline constexpr std::array<uint8_t, 12> kInquiryCdb = {op::kInquiry, 0, 0, 0, kInquiryLength, 0};
inline constexpr int kInquiryVendorAt = 8;
inline constexpr int kInquiryProductAt = 16;
inline constexpr int kInquiryRevisionAt = 32;

}  // namespace dw
