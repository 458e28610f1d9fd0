// The host-side cost of a whole 1,004 KB upgrade, against what any download of that file must
// do: read it in its 8 KB chunks and send the same commands (the dispatcher's TEST UNIT READY,
// REZERO UNIT, REQUEST SENSE, 125 WRITE BUFFER chunks and the committing one). Both sides talk
// to the same simulated drive, which only answers (the virtual clock makes the waits free).
// The procedure may cost at most 1.3 times the baseline.
#include <cstdio>

#include "bench_support.h"
#include "firmware/command_builders.h"
#include "firmware/download_procedures.h"
#include "firmware/upgrade_file_validation.h"

namespace {

constexpr uint32_t kChunk = 8192;
constexpr uint32_t kFullChunks = 125;
constexpr uint32_t kLastLength = 4096;

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
        const bool ok = dw::RunUpgrade(r.state, r.dialog, r.machine);
        if (!ok) s.SkipWithError("the upgrade failed");
    }
}
BENCHMARK(Upgrade1004K)->Unit(benchmark::kMicrosecond);

void ReadAndSend(benchmark::State& s) {
    prepare();
    auto& r = rig();
    auto& device = r.state.currentDevice;
    std::span<uint8_t> buffer(r.state.transferBuffer);
    for (auto _ : s) {
        std::FILE* file = std::fopen(r.path.c_str(), "rb");
        if (file == nullptr) {
            s.SkipWithError("cannot open the image");
            break;
        }
        bool ok = true;
        dw::TestUnitReady(r.transport, device);
        dw::RezeroUnit(r.transport, device);
        dw::RequestSense(r.transport, device, buffer);
        for (uint32_t k = 0; k <= kFullChunks && ok; ++k) {
            const bool last = k == kFullChunks;
            const uint32_t length = last ? kLastLength : kChunk;
            ok = std::fread(buffer.data(), 1, length, file) == length &&
                 dw::WriteBuffer(r.transport, device, last ? 5 : 4, 0, k * kChunk, length,
                                 buffer) == 1;
        }
        std::fclose(file);
        if (!ok) s.SkipWithError("the baseline download failed");
    }
}
BENCHMARK(ReadAndSend)->Unit(benchmark::kMicrosecond);

void DigestOnly(benchmark::State& s) { bench::digestOfImage(s, rig().path); }
BENCHMARK(DigestOnly)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    return bench::runWithRatio(argc, argv, "Upgrade1004K", "ReadAndSend", "DigestOnly", 1.3);
}
