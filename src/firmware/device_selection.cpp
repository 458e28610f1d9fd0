// The commands of a drive's selection and the read of its firmware version.
#include "firmware/device_selection.h"

#include <cstring>

#include "firmware/command_builders.h"
#include "identify/identify_model.h"

namespace dw {

namespace {

// The KV-R535C keeps its firmware revision in drive memory, not in its INQUIRY answer.
constexpr uint32_t kR535cVersionAddress = 0x100198;

}  // namespace

void SelectDevice(UpgradeState& state, DeviceEntry entry) {
    ScsiTransport& transport = *state.transport;
    uint8_t scratch[18];
    TestUnitReady(transport, entry);
    RequestSense(transport, entry, scratch);
    // The current device keeps the sense bytes those two left behind.
    state.currentDevice = entry;
}

void GetFirmwareVersion(ScsiTransport& transport, DeviceEntry entry, char* text) {
    char version[kFirmwareVersionSize] = "?.??";
    uint8_t scratch[18];
    TestUnitReady(transport, entry);
    RequestSense(transport, entry, scratch);
    InquiryStrings strings;
    // The drive's own answer: after an upgrade the port driver's copy still holds the old one.
    if ((transport.currentInquiry(entry, strings) & 0xFF) == 1) {
        std::memcpy(version, strings.revision, 4);
        version[4] = '\0';
    }
    if (ModelProductId(transport, entry) == "CD-R   KV-R535C") {
        VendorReadMemory(transport, entry, kR535cVersionAddress, kRevisionLength,
                         std::span<uint8_t>(reinterpret_cast<uint8_t*>(version), kRevisionLength));
        version[kRevisionLength] = '\0';
    }
    std::memcpy(text, version, kFirmwareVersionSize);
}

}  // namespace dw
