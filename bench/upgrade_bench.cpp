// The host-side cost of a whole 1,004 KB upgrade against a simulated drive that answers at once
// (the virtual clock makes the waits free), against a bare loop that sends the same commands
// (the preparation and the 126 chunks) from memory: the procedure should cost at most 1.5 times the loop.
#include "bench_support.h"
#include "firmware/command_builders.h"
#include "firmware/download_procedures.h"
#include "firmware/upgrade_file_validation.h"

namespace {

bench::Rig& rig() {
    static bench::Rig r("DVDR   KV-825A", 0xFB000);
    return r;
}

void prepare() {
    auto& r = rig();
    if (!r.state.validatedFile.valid && !dw::ValidateUpgradeFile(r.state, r.dialog)) {
        std::fprintf(stderr, "the image was refused\n");
        std::exit(1);
    }
}

void Upgrade1004K(benchmark::State& s) {
    prepare();
    auto& r = rig();
    for (auto _ : s) {
        r.drive->clearReceived();
        const bool ok = dw::RunUpgrade(r.state, r.dialog, r.machine);
        if (!ok) s.SkipWithError("the upgrade failed");
    }
}
BENCHMARK(Upgrade1004K)->Unit(benchmark::kMicrosecond);

void BareCommands(benchmark::State& s) {
    prepare();
    auto& r = rig();
    auto& device = r.state.currentDevice;
    std::span<uint8_t> buffer(r.state.transferBuffer);
    for (auto _ : s) {
        r.drive->clearReceived();
        dw::TestUnitReady(r.transport, device);
        dw::RezeroUnit(r.transport, device);
        dw::RequestSense(r.transport, device, buffer);
        for (uint32_t k = 0; k < 125; ++k) dw::WriteBuffer(r.transport, device, 4, 0, k * 8192, 8192, buffer);
        dw::WriteBuffer(r.transport, device, 5, 0, 0xFA000, 4096, buffer);
    }
}
BENCHMARK(BareCommands)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    return bench::runWithRatio(argc, argv, "Upgrade1004K", "BareCommands", 1.5);
}
