// Samples per second of the flanger kernels on the file flanger's 1024-sample
// blocks with a running offset, and how many times faster the fast kernel is
// than the straightforward one in the same run.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "FlangerKernel.h"
#include "FlangerSweep.h"

namespace {

constexpr std::int32_t kBlockSamples = 1024;
// The stream position wraps at a whole number of cycles below 2^31.
constexpr std::int64_t kWrap =
    (std::int64_t{INT32_MAX} / pendrax::kFlangerPeriod) * pendrax::kFlangerPeriod;

std::vector<std::int16_t> NoiseBlock() {
    std::vector<std::int16_t> block(kBlockSamples);
    std::uint32_t state = 12345;
    for (auto& sample : block) {
        state = state * 1664525u + 1013904223u;
        sample = static_cast<std::int16_t>(state >> 16);
    }
    return block;
}

template <void (*Kernel)(std::int16_t*, std::int32_t, float, float, float, std::int32_t)>
void KernelOnBlocks(benchmark::State& state) {
    std::vector<std::int16_t> block = NoiseBlock();
    std::int64_t position = 0;
    for (auto _ : state) {
        Kernel(block.data(), kBlockSamples, pendrax::kFlangerRate, pendrax::kFlangerDepth,
               pendrax::kFlangerMaxDelaySeconds, static_cast<std::int32_t>(position));
        benchmark::DoNotOptimize(block.data());
        benchmark::ClobberMemory();
        position = (position + kBlockSamples) % kWrap;
    }
    state.SetItemsProcessed(state.iterations() * kBlockSamples);
}

// The fast kernel's share spent finding the delay runs alone.
void DelayRunsOnBlocks(benchmark::State& state) {
    std::int64_t position = 0;
    for (auto _ : state) {
        pendrax::SweepRuns runs(position, kBlockSamples);
        pendrax::DelayRun run{};
        std::int32_t delays = 0;
        while (runs.Next(run)) {
            delays += run.delay;
        }
        benchmark::DoNotOptimize(delays);
        position = (position + kBlockSamples) % kWrap;
    }
    state.SetItemsProcessed(state.iterations() * kBlockSamples);
}

BENCHMARK(KernelOnBlocks<pendrax::ApplyFlangerReference>)->Name("reference kernel");
BENCHMARK(KernelOnBlocks<pendrax::ApplyFlanger>)->Name("fast kernel");
BENCHMARK(DelayRunsOnBlocks)->Name("fast kernel, delay runs only");

// Whether a run stopped early: Google Benchmark 1.8 renamed the 1.7 flag
// error_occurred to skipped, and both releases are in use.
template <typename R>
auto Stopped(const R& run, int) -> decltype(static_cast<bool>(run.skipped)) {
    return static_cast<bool>(run.skipped);
}
template <typename R>
auto Stopped(const R& run, long) -> decltype(static_cast<bool>(run.error_occurred)) {
    return static_cast<bool>(run.error_occurred);
}

// The console report, remembering each benchmark's samples per second.
class RateReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& reports) override {
        ConsoleReporter::ReportRuns(reports);
        // With repetitions, the mean (reported after the runs) has the last word.
        for (const Run& run : reports) {
            const auto rate = run.counters.find("items_per_second");
            const bool usable = run.run_type == Run::RT_Iteration || run.aggregate_name == "mean";
            if (!Stopped(run, 0) && usable && rate != run.counters.end()) {
                rates[run.run_name.str()] = rate->second.value;
            }
        }
    }
    std::map<std::string, double> rates;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    RateReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    const auto fast = reporter.rates.find("fast kernel");
    const auto reference = reporter.rates.find("reference kernel");
    if (fast != reporter.rates.end() && reference != reporter.rates.end() &&
        reference->second > 0) {
        std::printf(
            "fast kernel: %.3g samples/s, %.1f times the reference kernel (%.3g samples/s)\n",
            fast->second, fast->second / reference->second, reference->second);
    }
    return 0;
}
