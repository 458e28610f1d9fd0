// What both benchmarks share: a simulated drive of a model, an image file for it, and a run that
// compares the program's work with the least any safe program must do (read the file and take
// its digest, XXH64 of every byte, which is what proves that the download commits exactly the
// bytes the validation checked), prints that ratio last and fails when it is over its limit.
//
// The machine it runs on is shared with other work, which slows both sides, though not always
// alike, and in spells of seconds. So the ratio is measured in pairs: one benchmark runs the
// program's pass and the floor's pass alternately, each timed on the thread's CPU clock (wall
// time would also count the other programs' turns), and a repetition's ratio is the program's
// total over the floor's; the ratio reported is the median of 15 such repetitions. A program
// that got slower is slower in every pair, so its slowing shows in the median. Each side is also
// timed alone, and its fastest repetition shown.
#pragma once

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
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
// image of `size` bytes for it in the temporary folder (in the page cache from its writing on).
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
        // One file per process: two benchmarks run at once must not write each other's image.
        path = (std::filesystem::temp_directory_path() /
                ("drivewright-bench-" + std::to_string(::getpid()) + ".bin"))
                   .string();
        if (!dw::tools::writeFile(path, dw::tools::makeUpgradeImage(wanted, error), error)) {
            std::fprintf(stderr, "cannot write the image: %s\n", error.c_str());
            std::exit(1);
        }
        std::snprintf(state.upgradeFilePath, sizeof state.upgradeFilePath, "%s", path.c_str());
    }
    ~Rig() { std::filesystem::remove(path); }
};

// Registers a benchmark for the comparison: microseconds, short repetitions, and the fastest of
// them as a statistic of its own.
inline benchmark::internal::Benchmark* compared(benchmark::internal::Benchmark* b) {
    return b->Unit(benchmark::kMicrosecond)
        ->MinTime(0.05)
        ->Repetitions(15)
        ->ComputeStatistics("min",
                            [](const std::vector<double>& v) {
                                return *std::min_element(v.begin(), v.end());
                            })
        ->ReportAggregatesOnly(true);
}

// The thread's CPU time in seconds.
inline double threadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Runs `measured` and `floor` alternately (each first every other time) and sets the counter
// "ratio" to the measured side's CPU time over the floor's.
template <typename Measured, typename Floor>
void pairedRatio(benchmark::State& s, Measured measured, Floor floor) {
    double measuredSeconds = 0, floorSeconds = 0;
    auto timed = [](auto pass, double& seconds) {
        const double start = threadSeconds();
        pass();
        seconds += threadSeconds() - start;
    };
    bool measuredFirst = true;
    for (auto _ : s) {
        if (measuredFirst) timed(measured, measuredSeconds);
        timed(floor, floorSeconds);
        if (!measuredFirst) timed(measured, measuredSeconds);
        measuredFirst = !measuredFirst;
    }
    s.counters["ratio"] = floorSeconds > 0 ? measuredSeconds / floorSeconds : 0;
}

// One line of the summary: a benchmark and what it stands for.
struct Side {
    const char* benchmark;
    const char* meaning;
};

// The program's work may cost at most this many times the floor.
inline constexpr double kLimit = 1.15;

// Prints the median and the fastest repetition of each benchmark, then the fastest of each side
// and, last, "ratio M / F: X.XX (limit 1.15)" from the paired benchmark's median ratio.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    RatioReporter(std::vector<Side> sides, std::string paired, std::string ratioName)
        : ConsoleReporter(OO_Tabular),  // no colours: the output often goes to a log
          sides_(std::move(sides)),
          paired_(std::move(paired)),
          ratioName_(std::move(ratioName)) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        std::vector<Run> shown;
        for (const auto& run : runs) {
            if (run.run_type != Run::RT_Aggregate || run.error_occurred) continue;
            const std::string& name = run.run_name.function_name;
            if (run.aggregate_name == "min") fastest_[name] = run.GetAdjustedCPUTime();
            if (run.aggregate_name == "median" && name == paired_) {
                if (auto r = run.counters.find("ratio"); r != run.counters.end()) {
                    ratio_ = r->second.value;
                }
            }
            if (run.aggregate_name == "min" || run.aggregate_name == "median") {
                shown.push_back(run);
            }
        }
        ConsoleReporter::ReportRuns(shown);
    }

    // 0 when the ratio is within its limit.
    int finish() const {
        std::printf("fastest repetition, CPU time per pass:\n");
        for (const Side& side : sides_) {
            if (auto t = fastest_.find(side.benchmark); t != fastest_.end()) {
                std::printf("  %-56s %8.1f us\n", side.meaning, t->second);
            }
        }
        if (ratio_ <= 0) {
            std::printf("ratio %s: not measured\n", ratioName_.c_str());
            return 1;
        }
        const bool within = ratio_ <= kLimit;
        std::printf("ratio %s: %.2f (limit %.2f)%s\n", ratioName_.c_str(), ratio_, kLimit,
                    within ? "" : "  OVER THE LIMIT");
        return within ? 0 : 1;
    }

private:
    std::vector<Side> sides_;
    std::string paired_, ratioName_;
    std::map<std::string, double> fastest_;
    double ratio_ = 0;
};

inline int runWithRatio(int argc, char** argv, std::vector<Side> sides, const char* paired,
                        const char* ratioName) {
    // Interleaved unless the command line says otherwise (a later flag wins).
    std::vector<char*> args(argv, argv + argc);
    static char interleave[] = "--benchmark_enable_random_interleaving=true";
    args.insert(args.begin() + 1, interleave);
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    RatioReporter reporter(std::move(sides), paired, ratioName);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::fflush(stdout);
    return reporter.finish();
}

}  // namespace bench
