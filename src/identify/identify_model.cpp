#include "identify/identify_model.h"

#include <cstring>
#include <initializer_list>
#include <string_view>

namespace dw {

namespace {

std::string fieldText(const char* field, size_t width) {
    return std::string(field, strnlen(field, width));
}

bool has(const std::string& id, std::string_view part) {
    return id.find(part) != std::string::npos;
}

// Replaces the working id when it contains `part` and the drive is on the bus the rule is for;
// says whether it did.
bool rewriteIf(std::string& id, std::string_view part, bool onBus, const char* newId) {
    if (!onBus || !has(id, part)) return false;
    id = newId;
    return true;
}

struct Rewrite {
    std::string_view part;
    bool onBus;
    const char* newId;
};

// Within a chain only the first rule that applies is used: the shorter code ("821", "829") is
// also contained in the ids the earlier rules of the chain write.
void rewriteFirstOf(std::string& id, std::initializer_list<Rewrite> chain) {
    for (const Rewrite& rule : chain) {
        if (rewriteIf(id, rule.part, rule.onBus, rule.newId)) return;
    }
}

// A KORVANE drive reports the same product id on every bus, while the table has a row per
// attachment. Each rule sees the id as the rules before it left it.
std::string rewrittenProductId(const DeviceEntry& device) {
    const bool usb = device.busKind == BusKind::Usb;
    const bool ieee1394 = device.busKind == BusKind::Ieee1394;
    const bool serialAta = device.busKind == BusKind::SerialAta;
    const std::string stored = fieldText(device.product, kProductLength);
    std::string id = stored;

    // A KV-62TS whose revision does not have "0" as its third character is the later xxTS.
    if (id == "CD-ROM KV-62TS  " && device.revision[2] != '0') id = "CD-ROM KV-xxTS";
    rewriteIf(id, "S37T", usb, "CD-R   KV-S37TU");
    rewriteIf(id, "W3850", usb, "CD-R   KV-W3850U");
    rewriteIf(id, "S3850", usb, "CD-R   KV-S3850TU");
    rewriteIf(id, "6025", usb, "CD-R   KV-W6025U");
    rewriteIf(id, "5936", usb, "CD-R   KV-W5936U");
    rewriteIf(id, "309T", usb, "CD-R   KV-309U");
    rewriteIf(id, "SUPERBA", usb, "CD-R   SUPERBA-U");
    rewriteIf(id, "630", usb || ieee1394, "DVDR   KV-630UF");
    rewriteFirstOf(id, {{"821A2", usb, "DVDR   KV-821UF2"},
                        {"821A2", ieee1394, "DVDR   KV-821UF2"},
                        {"821", usb, "DVDR   KV-821UF"},
                        {"821", ieee1394, "DVDR   KV-821UF"}});
    rewriteIf(id, "852", usb || ieee1394, "DVDR   KV-852UF");
    // The start-up probe stores this product id for an 825 that reports a USB interface.
    rewriteIf(id, "825", usb, stored == "DVDR   KV-825U  " ? "DVDR   KV-825U" : "DVDR   KV-825UF");
    rewriteIf(id, "825", ieee1394, "DVDR   KV-825UF");
    rewriteIf(id, "825", serialAta, "DVDR   KV-825SA");
    rewriteFirstOf(id, {{"829AL", ieee1394, "DVDR   KV-829UFL"},
                        {"829AL", usb, "DVDR   KV-829UFL"},
                        {"829", ieee1394, "DVDR   KV-829UF"},
                        {"829", usb, "DVDR   KV-829UF"},
                        {"829", serialAta, "DVDR   KV-829SA"}});
    return id;
}

}  // namespace

bool IdentifyModel(ScsiTransport& transport, DeviceEntry& device, ModelFamily& row) {
    row = ModelFamily{};
    InquiryStrings fresh;
    if ((transport.inquiry(device, fresh) & 0xFF) != 1) return false;

    // The fresh answer decides the vendor only; the product id is the one stored at discovery
    // (or by the start-up probe), which the fresh answer would undo.
    const bool korvane =
        fieldText(fresh.vendor, kVendorLength).find("KORVANE") != std::string::npos;
    const std::string workingId =
        korvane ? rewrittenProductId(device) : fieldText(device.product, kProductLength);

    const ModelFamily* match = matchModelRow(workingId);
    if (match == nullptr) return false;
    row = *match;
    return true;
}

bool IsKnownModel(ScsiTransport& transport, DeviceEntry& device) {
    ModelFamily row;
    return IdentifyModel(transport, device, row);
}

std::string ModelProductId(ScsiTransport& transport, DeviceEntry& device) {
    ModelFamily row;
    IdentifyModel(transport, device, row);
    return row.productId;
}

std::string ModelIdentText(ScsiTransport& transport, DeviceEntry& device) {
    ModelFamily row;
    IdentifyModel(transport, device, row);
    return row.identity.identText;
}

uint32_t ModelIdentOffset(ScsiTransport& transport, DeviceEntry& device) {
    ModelFamily row;
    IdentifyModel(transport, device, row);
    return row.identity.identOffset;
}

uint32_t ModelChecksumEnd(ScsiTransport& transport, DeviceEntry& device) {
    ModelFamily row;
    IdentifyModel(transport, device, row);
    return row.identity.checksumEnd;
}

}  // namespace dw
