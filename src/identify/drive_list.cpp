// The interface probe and the list fill of the start-up, shared by both front ends.
#include "identify/drive_list.h"

#include <cstring>
#include <vector>

#include "identify/device_label.h"
#include "identify/identify_model.h"
#include "identify/vendor_read_info.h"

namespace dw {

void ProbeInterfaces(ScsiTransport& transport) {
    std::vector<HostAdapter> tree;
    transport.copyAdapters(tree);
    for (size_t a = 0; a < tree.size(); ++a) {
        for (size_t b = 0; b < tree[a].buses.size(); ++b) {
            const DeviceList& bus = tree[a].buses[b];
            for (size_t d = 0; d < bus.size(); ++d) {
                DeviceEntry entry = bus.at(d);
                const std::string product = entry.product;
                const bool family = product.find("825") != std::string::npos ||
                                    product.find("827") != std::string::npos ||
                                    product.find("829") != std::string::npos;
                if (!family || entry.busKind == BusKind::SerialAta) continue;
                uint8_t info[128] = {};
                if (VendorReadInfo(transport, entry, 0, sizeof info, info) != 1) continue;
                if (info[kInterfaceCodeOffset] == kInterfaceSerialAta) {
                    transport.setAdapterBusKind(a, BusKind::SerialAta);
                } else if (info[kInterfaceCodeOffset] == kInterfaceUsbBridge) {
                    std::memcpy(entry.product, "DVDR   KV-825U  ", kProductLength + 1);
                    transport.storeDevice(entry, b, d);
                    transport.setAdapterBusKind(a, BusKind::Usb);
                }
            }
        }
    }
}

void FillDeviceList(ScsiTransport& transport, DeviceList& list,
                    const std::function<void(const std::string&)>& addLabel) {
    std::vector<HostAdapter> tree;
    transport.copyAdapters(tree);
    for (auto& adapter : tree) {
        for (auto& bus : adapter.buses) {
            for (auto& entry : bus) {
                InquiryStrings strings;
                if ((transport.inquiry(entry, strings) & 0xFF) != 1) continue;
                if (!IsKnownModel(transport, entry)) continue;
                list.append(entry);
                addLabel(DeviceLabel(transport, entry));
            }
        }
    }
}

}  // namespace dw
