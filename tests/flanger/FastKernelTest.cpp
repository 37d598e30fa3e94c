// The fast kernel against the straightforward one, and the table of delay
// changes it is built on.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <numeric>
#include <vector>

#include "FlangerKernel.h"
#include "FlangerSweep.h"
#include "TestSupport.h"

namespace pendrax {
namespace {

constexpr float kSwing = kFlangerMaxDelaySeconds * kKernelSampleRate;

std::int32_t Delay(std::int64_t n) { return FlangerDelay(n, kFlangerRate, kFlangerDepth, kSwing); }

// Flanges a copy of `input` with the reference and with each fast kernel
// (the one this processor ships and the portable one, called directly)
// and reports the first sample where one differs, or -1.
std::int64_t FirstMismatch(const std::vector<std::int16_t>& input, std::int32_t offset,
                           float rate = kFlangerRate, float depth = kFlangerDepth,
                           float maxDelaySeconds = kFlangerMaxDelaySeconds) {
    std::vector<std::int16_t> reference = input;
    const auto count = static_cast<std::int32_t>(input.size());
    ApplyFlangerReference(reference.data(), count, rate, depth, maxDelaySeconds, offset);
    std::int64_t first = -1;
    for (auto* kernel : {&ApplyFlanger, &ApplyFlangerPortable}) {
        std::vector<std::int16_t> fast = input;
        kernel(fast.data(), count, rate, depth, maxDelaySeconds, offset);
        const auto differs = std::mismatch(fast.begin(), fast.end(), reference.begin()).first;
        if (differs != fast.end() && (first < 0 || differs - fast.begin() < first)) {
            first = differs - fast.begin();
        }
    }
    return first;
}

// Checks that the runs cover [first, first + count) in order, each matching
// FlangerDelay at every position.
void ExpectExactRuns(std::int64_t first, std::int64_t count) {
    SweepRuns runs(first, count);
    DelayRun run{};
    std::int64_t next = first;
    while (runs.Next(run)) {
        ASSERT_EQ(run.begin, next);
        ASSERT_LT(run.begin, run.end);
        for (std::int64_t n = run.begin; n < run.end; ++n) {
            ASSERT_EQ(Delay(n), run.delay) << "at " << n << " in runs from " << first;
        }
        next = run.end;
    }
    EXPECT_EQ(next, first + std::max<std::int64_t>(count, 0));
}

TEST(FlangerSweep, ChangesWhereTheDelayDoes) {
    const SweepTable& table = FileFlangerSweep();
    ASSERT_EQ(table.size(), 70u);
    EXPECT_EQ(table.front().position, 0);
    EXPECT_EQ(table.front().delay, 20);
    // In cycles near zero, in the middle and at the end of the 32-bit range,
    // each change is where it says (a close call: there or one later), and
    // the delay steps by one from 19 around the sweep and back.
    for (const std::int64_t cycle : {0, 1, -1, 777, 134216, 134217, -134218}) {
        std::int32_t previous = 19;
        int closeCalls = 0;
        for (const DelayChange& change : table) {
            const std::int64_t n = cycle * 16000 + change.position;
            EXPECT_EQ(std::abs(change.delay - previous), 1);
            EXPECT_EQ(Delay(n - 1), previous) << "cycle " << cycle << " change at " << n;
            if (change.closeCall) {
                ++closeCalls;
                EXPECT_EQ(change.position % (kFlangerPeriod / 2), 0);
                EXPECT_TRUE(Delay(n) == change.delay || Delay(n + 1) == change.delay) << n;
            } else {
                EXPECT_EQ(Delay(n), change.delay) << "cycle " << cycle << " change at " << n;
            }
            previous = change.delay;
        }
        EXPECT_EQ(previous, 19);
        // Only the sine's zeros, at 0 and 8000, where SweepSine settles them.
        EXPECT_EQ(closeCalls, 2);
    }
    // The sine a hair below zero at 16000 delays the change to 20 by one.
    EXPECT_EQ(Delay(16000), 19);
    EXPECT_EQ(Delay(16001), 20);
}

TEST(FlangerSweep, RunsMatchTheDelayEverywhere) {
    constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
    constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();
    // Whole cycles at the start, around and past the 32-bit limit and below
    // zero, then ranges that start on every change, just beside it, or end there.
    for (const std::int64_t first :
         {std::int64_t{0}, std::int64_t{1}, std::int64_t{15999}, std::int64_t{8001},
          std::int64_t{-48005}, kMax - 40000, kMax + 1, kMin, kMin - 1024}) {
        ExpectExactRuns(first, 40000);
    }
    for (const DelayChange& change : FileFlangerSweep()) {
        for (std::int64_t shift = -2; shift <= 2; ++shift) {
            for (const std::int64_t cycle : {0, 7, 134217, -3}) {
                const std::int64_t at = cycle * 16000 + change.position + shift;
                ExpectExactRuns(at, 1);
                ExpectExactRuns(at, 300);
                ExpectExactRuns(at - 300, 300);
            }
        }
    }
    ExpectExactRuns(5, 0);
    ExpectExactRuns(5, -3);
}

TEST(FastKernel, MatchesTheReferenceOverALongStream) {
    // 50 million consecutive positions in the file flanger's 1024-sample
    // blocks, every block of fresh random samples.
    constexpr std::int32_t kBlocks = 48829;
    std::vector<std::int16_t> block(1024);
    for (std::int32_t b = 0; b < kBlocks; ++b) {
        block = pendrax_test::RandomSamples(block.size(), static_cast<std::uint32_t>(b));
        const std::int64_t mismatch = FirstMismatch(block, b * 1024);
        ASSERT_EQ(mismatch, -1) << "block at " << b * 1024;
    }
}

TEST(FastKernel, MatchesTheReferenceForEveryBlockSize) {
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
    // Offsets on and beside the places the delay changes, the sine's zeros
    // and extremes, and the ends of the 32-bit range.
    for (const std::int32_t offset :
         {0,          1,        141,   142,   1000,     3999,  4000,  7999,      8000,
          8001,       11999,    12000, 15999, 16000,    16001, 32000, 123456789, kMax - 1100,
          kMax - 555, kMax - 1, kMax,  kMin,  kMin + 3, -1,    -16000}) {
        for (std::int32_t count = 0; count <= 1100; ++count) {
            const auto input = pendrax_test::RandomSamples(
                static_cast<std::size_t>(count), static_cast<std::uint32_t>(offset ^ count));
            ASSERT_EQ(FirstMismatch(input, offset), -1)
                << "offset " << offset << " count " << count;
        }
    }
}

TEST(FastKernel, MatchesTheReferenceAcrossThe32BitLimit) {
    // Blocks that end just before, on and after 2^31 - 1, at many alignments.
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    for (std::int32_t offset = kMax - 40000; offset < kMax - 1024; offset += 317) {
        const auto input = pendrax_test::RandomSamples(1024, static_cast<std::uint32_t>(offset));
        ASSERT_EQ(FirstMismatch(input, offset), -1) << "offset " << offset;
    }
    for (std::int32_t offset = kMax - 1200; offset != kMax; ++offset) {
        const auto input = pendrax_test::RandomSamples(1024, static_cast<std::uint32_t>(offset));
        ASSERT_EQ(FirstMismatch(input, offset), -1) << "offset " << offset;
    }
}

TEST(FastKernel, GivesTheSameBytesOnEveryProcessor) {
    // Blocks around the sine's zeros, one of them the zero past 1.6 billion
    // samples where a sine that is off in its last bits gives 19 for 20.
    const auto addSample = [](std::uint32_t hash, std::int16_t sample) {
        const auto bits = static_cast<std::uint16_t>(sample);  // FNV-1a, low byte first
        hash = (hash ^ (bits & 0xffu)) * 16777619u;
        return (hash ^ (bits >> 8)) * 16777619u;
    };
    std::uint32_t hash = 2166136261u;
    for (const std::int32_t offset : {0, 7500, 15800, 123456000, 1636407600, 2147483000}) {
        auto block = pendrax_test::RandomSamples(1024, static_cast<std::uint32_t>(offset));
        ASSERT_EQ(FirstMismatch(block, offset), -1) << "offset " << offset;
        ApplyFlanger(block.data(), 1024, kFlangerRate, kFlangerDepth, kFlangerMaxDelaySeconds,
                     offset);
        hash = std::accumulate(block.begin(), block.end(), hash, addSample);
    }
    EXPECT_EQ(hash, 2297333930u);  // as x86_64 gives it
}

TEST(FastKernel, ExtremeSamplesAverageAsDefined) {
    // Runs of every delay over the full range, sums odd and even, both signs.
    std::vector<std::int16_t> input(16000);
    const std::int16_t values[] = {-32768, 32767, -1, 0, 1, -32767, 32766, -2};
    for (std::size_t k = 0; k < input.size(); ++k) {
        input[k] = values[(k * 7 + k / 13) % 8];
    }
    EXPECT_EQ(FirstMismatch(input, 0), -1);
    EXPECT_EQ(FirstMismatch(input, 1234567), -1);
}

// Only the file flanger's sweep has a table of delay changes: a setting that
// differs in one value (rate, depth, swing) must not be taken for it.
TEST(FastKernel, OtherSettingsAreNotTakenForTheFileFlangers) {
    const auto input = pendrax_test::RandomSamples(1024, 5);
    EXPECT_EQ(FirstMismatch(input, 0, 3.0f, kFlangerDepth, kFlangerMaxDelaySeconds), -1);
    EXPECT_EQ(FirstMismatch(input, 777, kFlangerRate, 0.5f, kFlangerMaxDelaySeconds), -1);
    EXPECT_EQ(FirstMismatch(input, 777, kFlangerRate, kFlangerDepth, 0.1f), -1);
    EXPECT_EQ(FirstMismatch(input, 9, kFlangerRate, 2.0f, kFlangerMaxDelaySeconds), -1);
}

}  // namespace
}  // namespace pendrax
