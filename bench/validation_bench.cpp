// The validation of a 1,028,096-byte image against a plain sequential read of the same file in
// 32 KB pieces through the same file functions: the checks may cost at most 1.3 times the read.
#include <fstream>

#include "bench_support.h"
#include "firmware/upgrade_file_validation.h"

namespace {

bench::Rig& rig() {
    static bench::Rig r("DVDR   KV-825A", 0xFB000);
    return r;
}

void Validation(benchmark::State& s) {
    auto& r = rig();
    for (auto _ : s) {
        const bool valid = dw::ValidateUpgradeFile(r.state, r.dialog);
        if (!valid) s.SkipWithError("the image was refused");
        benchmark::DoNotOptimize(valid);
    }
}
BENCHMARK(Validation)->Unit(benchmark::kMicrosecond);

void PlainRead(benchmark::State& s) {
    auto& r = rig();
    for (auto _ : s) {
        std::ifstream file(r.path, std::ios::binary);
        uint64_t total = 0;
        while (file) {
            file.read(reinterpret_cast<char*>(r.state.transferBuffer.data()),
                      std::streamsize(r.state.transferBuffer.size()));
            total += static_cast<uint64_t>(file.gcount());
        }
        benchmark::DoNotOptimize(total);
    }
}
BENCHMARK(PlainRead)->Unit(benchmark::kMicrosecond);

void DigestOnly(benchmark::State& s) { bench::digestOfImage(s, rig().path); }
BENCHMARK(DigestOnly)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    return bench::runWithRatio(argc, argv, "Validation", "PlainRead", "DigestOnly", 1.3);
}
