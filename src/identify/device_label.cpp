#include "identify/device_label.h"

#include <cstring>
#include <string_view>

#include "identify/vendor_read_info.h"

namespace dw {

namespace {

// "CD-ROM ", "CD-R   ", "DVDR   ", or the first seven of "DVD-ROM ".
constexpr size_t kDeviceTypeLength = 7;

// The label format with "%d" replaced by the target ID and "%s" by `text`.
std::string formatLabel(std::string_view format, int32_t targetId, std::string_view text = {}) {
    std::string label;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == 'd') {
            label += std::to_string(targetId);
            ++i;
        } else if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == 's') {
            label += text;
            ++i;
        } else {
            label += format[i];
        }
    }
    return label;
}

// The drive confirms Serial ATA with interface code 1 or 5 in its information block.
bool confirmsSerialAta(ScsiTransport& transport, DeviceEntry& device) {
    uint8_t block[128] = {};
    if (VendorReadInfo(transport, device, 0, sizeof block, block) != 1) return false;
    return block[kInterfaceCodeOffset] == 1 || block[kInterfaceCodeOffset] == 5;
}

}  // namespace

std::string DeviceLabel(ScsiTransport& transport, DeviceEntry& device) {
    InquiryStrings fresh;
    std::string p;
    if ((transport.inquiry(device, fresh) & 0xFF) == 1) {
        p.assign(fresh.product, strnlen(fresh.product, kProductLength));
    }
    const auto has = [&p](std::string_view part) { return p.find(part) != std::string::npos; };
    const bool usb = device.busKind == BusKind::Usb;
    const bool ieee1394 = device.busKind == BusKind::Ieee1394;
    const bool serialAta = device.busKind == BusKind::SerialAta;
    const int32_t id = device.targetId;

    // Without the device-type part; trailing blanks stay. A shorter P leaves nothing.
    const std::string model = p.size() > kDeviceTypeLength ? p.substr(kDeviceTypeLength) : "";
    const std::string plain = formatLabel("ID:%d  %s", id, model);
    const std::string_view stored(device.product, strnlen(device.product, kProductLength));

    if (has("S37T") && usb) return formatLabel("ID:%d   KV-S37TU", id);
    if (has("W3850") && usb) return formatLabel("ID:%d   KV-W3850U", id);
    if (has("S3850") && usb) return formatLabel("ID:%d   KV-S3850TU", id);
    if (has("6025") && usb) return formatLabel("ID:%d   KV-W6025U", id);
    if (has("5936") && usb) return formatLabel("ID:%d   KV-W5936U", id);
    if (has("309") && usb) return formatLabel("ID:%d  KV-309U", id);
    if (has("SUPERBA") && usb) return formatLabel("ID:%d  SUPERBA-U", id);
    if (has("630") && (usb || ieee1394)) return formatLabel("ID:%d  KV-630UF", id);
    if (has("630")) return formatLabel("ID:%d  KV-630A", id);
    if (has("821A2") && (usb || ieee1394)) return formatLabel("ID:%d  KV-821UF2", id);
    if (has("821") && (usb || ieee1394)) return formatLabel("ID:%d  KV-821UF", id);
    if (has("852") && (usb || ieee1394)) return formatLabel("ID:%d  KV-852UF", id);
    if (has("825") && usb) {
        // The start-up probe stores this product id for an 825 that reports a USB interface.
        return formatLabel(stored == "DVDR   KV-825U  " ? "ID:%d  KV-825U" : "ID:%d  KV-825UF", id);
    }
    if (has("825") && ieee1394) return formatLabel("ID:%d  KV-825UF", id);
    if (has("825") && serialAta) {
        return confirmsSerialAta(transport, device) ? formatLabel("ID:%d  KV-825SA", id) : plain;
    }
    if (has("829AL") && ieee1394) return formatLabel("ID:%d  KV-829UFL", id);
    if (has("829AL") && usb) return formatLabel("ID:%d  KV-829UFL", id);
    if (has("829") && ieee1394) return formatLabel("ID:%d  KV-829UF", id);
    if (has("829") && usb) return formatLabel("ID:%d  KV-829UF", id);
    if (has("829") && serialAta) {
        return confirmsSerialAta(transport, device) ? formatLabel("ID:%d  KV-829SA", id) : plain;
    }
    return plain;
}

}  // namespace dw
