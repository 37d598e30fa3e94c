// `delay-check [BLOCK [FIRST [LAST]]]`: the delay runs the fast kernel works
// from, against FlangerDelay at every stream position from FIRST to LAST
// (default 0 to 2^31 - 1), taken in blocks of BLOCK samples (default 1024,
// as the file flanger does). Prints the mismatches (expected: none) and the
// number of runs checked.
#include <chrono>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "FlangerKernel.h"
#include "FlangerSweep.h"

namespace {

std::int64_t Argument(int argc, char** argv, int index, std::int64_t fallback) {
    return argc > index ? std::strtoll(argv[index], nullptr, 10) : fallback;
}

}  // namespace

int main(int argc, char** argv) {
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
