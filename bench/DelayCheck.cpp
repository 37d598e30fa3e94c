// `delay-check [BLOCK [FIRST [LAST]]]`: the delay runs the fast kernel works
// from, against FlangerDelay at every stream position from FIRST to LAST
// (default 0 to 2^31 - 1), taken in blocks of BLOCK samples (default 1024,
// as the file flanger does). Prints the mismatches (expected: none) and the
// number of runs checked.
//
// `delay-check --decisive [LAST]`: prints "position delay" at each zero of
// the sine (every multiple of 8000 samples) up to LAST, where the sine's
// last bits decide, for comparison with delay-oracle; a run that disagrees
// with FlangerDelay there is reported on standard error and fails.
#include <chrono>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "FlangerKernel.h"
#include "FlangerSweep.h"

namespace {

std::int64_t Argument(int argc, char** argv, int index, std::int64_t fallback) {
    return argc > index ? std::strtoll(argv[index], nullptr, 10) : fallback;
}

int Decisive(std::int64_t last) {
    const float swing = pendrax::kFlangerMaxDelaySeconds * pendrax::kKernelSampleRate;
    int status = 0;
    for (std::int64_t n = 0; n <= last; n += pendrax::kFlangerPeriod / 2) {
        const std::int32_t exact =
            pendrax::FlangerDelay(n, pendrax::kFlangerRate, pendrax::kFlangerDepth, swing);
        pendrax::SweepRuns sweep(n, 1);
        pendrax::DelayRun run{};
        if (!sweep.Next(run) || run.delay != exact) {
            std::fprintf(stderr,
                         "mismatch at %" PRId64 ": delay %" PRId32 ", run says %" PRId32 "\n", n,
                         exact, run.delay);
            status = 1;
        }
        std::printf("%" PRId64 " %" PRId32 "\n", n, exact);
    }
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--decisive") == 0) {
        return Decisive(Argument(argc, argv, 2, std::numeric_limits<std::int32_t>::max()));
    }
    const std::int64_t block = Argument(argc, argv, 1, 1024);
    const std::int64_t first = Argument(argc, argv, 2, 0);
    const std::int64_t last = Argument(argc, argv, 3, std::numeric_limits<std::int32_t>::max());
    if (block < 1 || last < first) {
        std::fprintf(stderr, "usage: delay-check [BLOCK [FIRST [LAST]]]\n");
        return 2;
    }
    const float swing = pendrax::kFlangerMaxDelaySeconds * pendrax::kKernelSampleRate;
    const auto started = std::chrono::steady_clock::now();
    std::int64_t mismatches = 0;
    std::int64_t runs = 0;
    for (std::int64_t start = first; start <= last; start += block) {
        const std::int64_t count = std::min(block, last - start + 1);
        pendrax::SweepRuns sweep(start, count);
        pendrax::DelayRun run{};
        while (sweep.Next(run)) {
            ++runs;
            for (std::int64_t n = run.begin; n < run.end; ++n) {
                const std::int32_t exact =
                    pendrax::FlangerDelay(n, pendrax::kFlangerRate, pendrax::kFlangerDepth, swing);
                if (exact != run.delay && ++mismatches <= 20) {
                    std::printf("mismatch at %" PRId64 ": delay %" PRId32 ", run says %" PRId32
                                "\n",
                                n, exact, run.delay);
                }
            }
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("positions %" PRId64 " to %" PRId64 " in blocks of %" PRId64 ": %" PRId64
                " runs, %" PRId64 " mismatches (%.0f s)\n",
                first, last, block, runs, mismatches, seconds);
    return mismatches == 0 ? 0 : 1;
}
