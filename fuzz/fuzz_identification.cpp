// Identification and the drive-list label of any INQUIRY strings on any attachment: the model
// found is a row of the table, and nothing reads outside the fixed fields.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstring>
#include <string>

#include "devices/device_entry.h"
#include "fuzz_support.h"
#include "identify/device_label.h"
#include "identify/identify_model.h"
#include "identify/model_table.h"

namespace {

// Fills a fixed field with any bytes, NULs included, and terminates it at its end.
template <size_t N>
void fill(FuzzedDataProvider& in, char (&field)[N]) {
    const std::string bytes = in.ConsumeBytesAsString(N - 1);
    std::memset(field, 0, N);
    std::memcpy(field, bytes.data(), bytes.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    fuzzing::PassThroughPc pc;
    pc.addPortAdapter();

    dw::DeviceEntry device;
    device.hostAdapter = 0;
    device.targetId = in.ConsumeIntegralInRange<int>(0, 15);
    device.busKind = static_cast<dw::BusKind>(in.ConsumeIntegralInRange<int>(-1, 5));
    fill(in, device.vendor);
    fill(in, device.product);
    fill(in, device.revision);
    // The drive answers INQUIRY with the same strings (blank-padded, as drives do).
    sim::KorvaneDrive& drive = pc.machine.addDrive(device.product, device.revision, device.vendor);
    pc.machine.attach(drive, 0, 0, device.targetId, 0, -1);

    dw::ModelFamily row{};
    if (dw::IdentifyModel(pc.transport, device, row)) {
        bool inTable = false;
        for (const auto& r : dw::ModelTable)
            inTable = inTable || std::strcmp(r.productId, row.productId) == 0;
        FUZZ_REQUIRE(inTable);
        FUZZ_REQUIRE(dw::IsKnownModel(pc.transport, device));
        FUZZ_REQUIRE(dw::ModelProductId(pc.transport, device) == row.productId);
    }
    const std::string label = dw::DeviceLabel(pc.transport, device);
    FUZZ_REQUIRE(label.size() < 64);
    (void)dw::ModelIdentText(pc.transport, device);
    (void)dw::ModelIdentOffset(pc.transport, device);
    return 0;
}
