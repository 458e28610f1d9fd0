#include "scsi/sense_text.h"

#include <cstdio>
#include <cstring>

#include "resources/string_texts.h"

namespace dw {

namespace {

constexpr size_t kSenseHeaderLength = 8;

uint8_t responseCode(const DeviceEntry& device) { return device.sense[0] & 0x7F; }

bool isDescriptorFormat(const DeviceEntry& device) {
    return responseCode(device) == 0x72 || responseCode(device) == 0x73;
}

}  // namespace

bool HasSenseData(const DeviceEntry& device) {
    if (device.senseWritten < 0) return true;
    return device.senseWritten >= int32_t(kSenseHeaderLength) && responseCode(device) >= 0x70 &&
           responseCode(device) <= 0x73;
}

uint32_t SenseCode(const DeviceEntry& device) {
    if (isDescriptorFormat(device)) {
        return uint32_t(device.sense[1] & 0x0F) * 65536 + uint32_t(device.sense[2]) * 256 +
               device.sense[3];
    }
    return uint32_t(device.sense[2]) * 65536 + uint32_t(device.sense[12]) * 256 + device.sense[13];
}

uint32_t SenseTextId(const DeviceEntry& device) {
    const uint32_t code = SenseCode(device);
    switch (code >> 16) {
        case 0x01: return IDS_RECOVERED_ERROR;
        case 0x02:
            if (code == 0x020401) return IDS_READING_TOC;
            if (code >= 0x023A00 && code <= 0x023A02) return IDS_NO_DISC;
            return IDS_NOT_READY;
        case 0x03:
            switch (code) {
                case 0x030200: return IDS_SEEK_ERROR;
                case 0x030C09: return IDS_BUFFER_UNDERRUN;
                case 0x031105:
                case 0x031106: return IDS_UNCORRECTABLE_READ;
                case 0x037201: return IDS_LEAD_IN_ERROR;
                case 0x037202: return IDS_LEAD_OUT_ERROR;
                case 0x037303: return IDS_POWER_CALIBRATION;
                default: return IDS_MEDIUM_ERROR;
            }
        case 0x04: return code == 0x044700 ? IDS_BUS_ERROR : IDS_HARDWARE_ERROR;
        case 0x05:
            switch (code) {
                case 0x052000: return IDS_INVALID_COMMAND;
                case 0x052100: return IDS_ADDRESS_OUT_OF_RANGE;
                case 0x052102: return IDS_INVALID_ADDRESS;
                case 0x052400: return IDS_INVALID_PARAMETER;
                case 0x052500: return IDS_UNIT_NOT_SUPPORTED;
                case 0x052600: return IDS_INVALID_FIELD_IN_LIST;
                case 0x056400: return IDS_ILLEGAL_MODE;
                default: return IDS_ILLEGAL_REQUEST;
            }
        case 0x06: return code == 0x062900 ? IDS_DRIVE_RESET : IDS_UNIT_ATTENTION;
        case 0x0B: return IDS_COMMAND_ABORTED;
        default: return IDS_UNSPECIFIED_ERROR;
    }
}

const char* SenseText(ScsiTransport& transport, const DeviceEntry& device, StringTable& strings) {
    char* out = transport.errorText;
    std::memset(out, 0, kErrorTextSize);
    const std::string text = strings.loadString(SenseTextId(device));
    std::snprintf(out, kErrorTextSize, "%s (code %06lX)", text.c_str(),
                  static_cast<unsigned long>(SenseCode(device)));
    return out;
}

}  // namespace dw
