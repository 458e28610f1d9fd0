// What both benchmarks share: a simulated drive of a model, an image file for it, and a
// reporter that prints the ratio of two benchmarks' times at the end of the run and fails the
// run when it is over its limit.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "firmware/upgrade_dialog.h"
#include "firmware/upgrade_state.h"
#include "image_writer.h"
#include "sim/machine.h"
#include "util/image_digest.h"

namespace bench {

struct QuietDialog : dw::UpgradeDialog {
    void setStatusText(const std::string&) override {}
    void refresh() override {}
    void showWarning(const std::string&) override {}
};

// A pass-through PC with one drive of `product` at E:, an upgrade state over it, and a valid
// image of `size` bytes for it in the temporary folder.
struct Rig {
    sim::Machine machine;
    dw::ScsiTransport transport{machine};
    sim::KorvaneDrive* drive;
    dw::UpgradeState state;
    QuietDialog dialog;
    std::string path;

    Rig(const char* product, uint32_t size) {
        transport.kind = dw::TransportKind::PassThrough;
        machine.addPort(0);
        dw::HostAdapter adapter;
        adapter.portNumber = 0;
        adapter.deviceName = dw::scsiPortDeviceName(0);
        adapter.busKind = dw::BusKind::Atapi;
        adapter.buses.resize(1);
        transport.adapters.push_back(adapter);
        drive = &machine.addDrive(product, "1.00");
        // Both sides of a ratio talk to a drive that only answers: the simulator's bookkeeping
        // of every request and transfer would otherwise be most of what is measured.
        drive->keepsRecords = false;
        machine.keepsPassThroughLog = false;
        machine.attach(*drive, 0, 0, 1, 0, 4);
        state.transport = &transport;
        state.currentDevice.hostAdapter = 0;
        state.currentDevice.targetId = 1;
        state.currentDevice.driveLetter = 4;
        std::snprintf(state.currentDevice.product, sizeof state.currentDevice.product, "%s",
                      drive->product().c_str());

        dw::tools::ImageRequest wanted;
        wanted.row = dw::tools::findRow(product);
        wanted.size = size;
        std::string error;
        path = (std::filesystem::temp_directory_path() / "drivewright-bench.bin").string();
        if (!dw::tools::writeFile(path, dw::tools::makeUpgradeImage(wanted, error), error)) {
            std::fprintf(stderr, "cannot write the image: %s\n", error.c_str());
            std::exit(1);
        }
        std::snprintf(state.upgradeFilePath, sizeof state.upgradeFilePath, "%s", path.c_str());
    }
    ~Rig() { std::filesystem::remove(path); }
};

// The digest of the whole image in memory: work that the measured side must do on every byte
// and the baseline does not, whatever else is made faster.
inline void digestOfImage(benchmark::State& s, const std::string& path) {
    std::vector<uint8_t> bytes;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        uint8_t piece[4096];
        size_t n;
        while ((n = std::fread(piece, 1, sizeof piece, f)) > 0) {
            bytes.insert(bytes.end(), piece, piece + n);
        }
        std::fclose(f);
    }
    for (auto _ : s) benchmark::DoNotOptimize(dw::ImageDigest::of(bytes.data(), bytes.size()));
}

// Prints the usual table, what the digest alone adds to the baseline, then, last,
// "ratio M / B: X.XX (limit L)".
class RatioReporter : public benchmark::ConsoleReporter {
public:
    RatioReporter(std::string measured, std::string baseline, std::string digest, double limit)
        : measured_(std::move(measured)),
          baseline_(std::move(baseline)),
          digest_(std::move(digest)),
          limit_(limit) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        // CPU time: on a machine shared with other work, wall time also counts their turns.
        for (const auto& run : runs) times_[run.benchmark_name()] = run.GetAdjustedCPUTime();
        ConsoleReporter::ReportRuns(runs);
    }

    // 0 when the ratio is within its limit.
    int finish() const {
        auto m = times_.find(measured_);
        auto b = times_.find(baseline_);
        if (m == times_.end() || b == times_.end() || b->second <= 0) {
            std::printf("ratio: not measured\n");
            return 1;
        }
        if (auto d = times_.find(digest_); d != times_.end()) {
            std::printf("baseline plus the digest alone: %.2f times the baseline\n",
                        (b->second + d->second) / b->second);
        }
        const double ratio = m->second / b->second;
        std::printf("ratio %s / %s: %.2f (limit %.2f)%s\n", measured_.c_str(), baseline_.c_str(),
                    ratio, limit_, ratio <= limit_ ? "" : "  OVER THE LIMIT");
        return ratio <= limit_ ? 0 : 1;
    }

private:
    std::string measured_, baseline_, digest_;
    double limit_;
    std::map<std::string, double> times_;
};

inline int runWithRatio(int argc, char** argv, const char* measured, const char* baseline,
                        const char* digest, double limit) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter(measured, baseline, digest, limit);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::fflush(stdout);
    return reporter.finish();
}

}  // namespace bench
