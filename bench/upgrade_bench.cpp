// The host-side cost of a whole 1,004 KB upgrade, against the least any safe download of that
// file must do: read it in its 8 KB chunks, send the same commands (the dispatcher's TEST UNIT
// READY, REZERO UNIT, REQUEST SENSE, 125 WRITE BUFFER chunks and the committing one) with no
// check of any kind, and take the digest of every chunk. The bare read-and-send loop is shown
// beside it. Both sides talk to the same simulated drive, which only answers (the virtual clock
// makes the waits free). The upgrade may cost at most 1.15 times the floor, measured in pairs
// (bench_support.h says how).
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

bool upgrade(bench::Rig& r) { return dw::RunUpgrade(r.state, r.dialog, r.machine); }

void Upgrade1004K(benchmark::State& s) {
    prepare();
    auto& r = rig();
    for (auto _ : s) {
        if (!upgrade(r)) s.SkipWithError("the upgrade failed");
    }
}
BENCHMARK(Upgrade1004K)->Apply([](auto* b) { bench::compared(b); });

// The bare download: each chunk read and handed to `use`, then sent; false when a read or a
// command failed.
template <typename Use>
bool readAndSend(bench::Rig& r, Use use) {
    auto& device = r.state.currentDevice;
    std::span<uint8_t> buffer(r.state.transferBuffer);
    std::FILE* file = std::fopen(r.path.c_str(), "rb");
    if (file == nullptr) return false;
    bool ok = true;
    dw::TestUnitReady(r.transport, device);
    dw::RezeroUnit(r.transport, device);
    dw::RequestSense(r.transport, device, buffer);
    for (uint32_t k = 0; k <= kFullChunks && ok; ++k) {
        const bool last = k == kFullChunks;
        const uint32_t length = last ? kLastLength : kChunk;
        ok = std::fread(buffer.data(), 1, length, file) == length;
        use(buffer.data(), length);
        ok = ok &&
             dw::WriteBuffer(r.transport, device, last ? 5 : 4, 0, k * kChunk, length, buffer) == 1;
    }
    std::fclose(file);
    return ok;
}

void ReadAndSend(benchmark::State& s) {
    prepare();
    auto& r = rig();
    for (auto _ : s) {
        if (!readAndSend(r, [](const uint8_t*, size_t) {})) {
            s.SkipWithError("the bare download failed");
        }
    }
}
BENCHMARK(ReadAndSend)->Apply([](auto* b) { bench::compared(b); });

// The floor: the bare download with the digest of every chunk.
bool readSendAndDigest(bench::Rig& r) {
    dw::ImageDigest digest;
    const bool ok = readAndSend(r, [&](const uint8_t* p, size_t n) { digest.update(p, n); });
    benchmark::DoNotOptimize(digest.value());
    return ok;
}

void ReadSendAndDigest(benchmark::State& s) {
    prepare();
    auto& r = rig();
    for (auto _ : s) {
        if (!readSendAndDigest(r)) s.SkipWithError("the bare download failed");
    }
}
BENCHMARK(ReadSendAndDigest)->Apply([](auto* b) { bench::compared(b); });

void UpgradeOverFloor(benchmark::State& s) {
    prepare();
    auto& r = rig();
    if (!upgrade(r) || !readSendAndDigest(r)) s.SkipWithError("a download failed");
    bench::pairedRatio(
        s, [&] { upgrade(r); }, [&] { readSendAndDigest(r); });
}
BENCHMARK(UpgradeOverFloor)->Apply([](auto* b) { bench::compared(b); });

}  // namespace

int main(int argc, char** argv) {
    return bench::runWithRatio(argc, argv,
                               {{"ReadAndSend", "bare read-and-send, no checks"},
                                {"ReadSendAndDigest",
                                 "bare read-and-send + XXH64 of every chunk (the floor)"},
                                {"Upgrade1004K", "whole upgrade"}},
                               "UpgradeOverFloor", "Upgrade1004K / ReadSendAndDigest");
}
