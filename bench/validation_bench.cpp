// The validation of a 1,028,096-byte image against the least any safe validation must do: read
// the file once and take its digest. The floor reads the same file in the same 32 KB pieces
// through the same file functions and feeds each piece to the same digest; the plain read alone
// is shown beside it. The validation may cost at most 1.15 times the floor, measured in pairs
// (bench_support.h says how).
#include <fstream>

#include "bench_support.h"
#include "firmware/upgrade_file_validation.h"

namespace {

bench::Rig& rig() {
    static bench::Rig r("DVDR   KV-825A", 0xFB000);
    return r;
}

bool validate(bench::Rig& r) {
    const bool valid = dw::ValidateUpgradeFile(r.state, r.dialog);
    benchmark::DoNotOptimize(valid);
    return valid;
}

// Reads the rig's image in transfer-buffer pieces, handing each piece to `use`.
template <typename Use>
uint64_t readImage(bench::Rig& r, Use use) {
    std::ifstream file(r.path, std::ios::binary);
    uint8_t* piece = r.state.transferBuffer.data();
    uint64_t total = 0;
    while (file) {
        file.read(reinterpret_cast<char*>(piece), std::streamsize(r.state.transferBuffer.size()));
        const auto n = static_cast<size_t>(file.gcount());
        use(piece, n);
        total += n;
    }
    return total;
}

// The floor: the plain read with the digest of every piece.
void readAndDigest(bench::Rig& r) {
    dw::ImageDigest digest;
    readImage(r, [&](const uint8_t* p, size_t n) { digest.update(p, n); });
    benchmark::DoNotOptimize(digest.value());
}

void Validation(benchmark::State& s) {
    auto& r = rig();
    for (auto _ : s) {
        if (!validate(r)) s.SkipWithError("the image was refused");
    }
}
BENCHMARK(Validation)->Apply([](auto* b) { bench::compared(b); });

void PlainRead(benchmark::State& s) {
    auto& r = rig();
    for (auto _ : s) benchmark::DoNotOptimize(readImage(r, [](const uint8_t*, size_t) {}));
}
BENCHMARK(PlainRead)->Apply([](auto* b) { bench::compared(b); });

void ReadAndDigest(benchmark::State& s) {
    auto& r = rig();
    for (auto _ : s) readAndDigest(r);
}
BENCHMARK(ReadAndDigest)->Apply([](auto* b) { bench::compared(b); });

void ValidationOverFloor(benchmark::State& s) {
    auto& r = rig();
    if (!validate(r)) s.SkipWithError("the image was refused");
    bench::pairedRatio(
        s, [&] { validate(r); }, [&] { readAndDigest(r); });
}
BENCHMARK(ValidationOverFloor)->Apply([](auto* b) { bench::compared(b); });

}  // namespace

int main(int argc, char** argv) {
    return bench::runWithRatio(argc, argv,
                               {{"PlainRead", "plain read of the file"},
                                {"ReadAndDigest", "plain read + XXH64 of every piece (the floor)"},
                                {"Validation", "validation"}},
                               "ValidationOverFloor", "Validation / ReadAndDigest");
}
