#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "FlangerKernel.h"
#include "TestSupport.h"

namespace pendrax {
namespace {

constexpr float kSwing = kFlangerMaxDelaySeconds * kKernelSampleRate;

std::int32_t Delay(std::int64_t n) { return FlangerDelay(n, kFlangerRate, kFlangerDepth, kSwing); }

void Flange(std::vector<std::int16_t>& block, std::int32_t offset) {
    ApplyFlanger(block.data(), static_cast<std::int32_t>(block.size()), kFlangerRate, kFlangerDepth,
                 kFlangerMaxDelaySeconds, offset);
}

TEST(FlangerConstants, HaveTheirExactBits) {
    std::uint64_t phaseBits = 0;
    std::memcpy(&phaseBits, &kPhaseFactor, sizeof phaseBits);
    EXPECT_EQ(phaseBits, 0x3F49BC65B68B71C3u);
    std::uint32_t rateBits = 0;
    std::memcpy(&rateBits, &kKernelSampleRate, sizeof rateBits);
    EXPECT_EQ(rateBits, 0x45FA0000u);
    EXPECT_EQ(kSwing, 40.0f);
}

TEST(FlangerDelay, FollowsTheSweep) {
    EXPECT_EQ(Delay(0), 20);
    EXPECT_EQ(Delay(141), 20);
    EXPECT_EQ(Delay(142), 21);
    EXPECT_EQ(Delay(1024 + 27), 27);
    EXPECT_EQ(Delay(4000), 37);
    EXPECT_EQ(Delay(8000), 20);
    EXPECT_EQ(Delay(12000), 2);
    // The sine at a whole cycle comes out a hair below zero: 19, not 20.
    EXPECT_EQ(Delay(16000), 19);
    std::int32_t lowest = 100;
    std::int32_t highest = 0;
    for (std::int64_t n = 0; n < 16000; ++n) {
        lowest = std::min(lowest, Delay(n));
        highest = std::max(highest, Delay(n));
    }
    EXPECT_EQ(lowest, 2);
    EXPECT_EQ(highest, 37);
}

TEST(FlangerDelay, StaysDefinedForSettingsOutsideTheSweep) {
    // Depth above 1 drives the delay negative; it must not reach forward.
    EXPECT_EQ(FlangerDelay(12000, kFlangerRate, 3.0f, kSwing), 0);
    EXPECT_EQ(FlangerDelay(4000, kFlangerRate, kFlangerDepth, 1e30f), INT32_MAX);
    EXPECT_EQ(FlangerDelay(4000, kFlangerRate, NAN, kSwing), 0);
}

TEST(ApplyFlanger, LeavesEmptyAndTinyBlocksAlone) {
    std::vector<std::int16_t> block = {7, -8, 9};
    for (const std::int32_t count : {-5, 0, 1, 2}) {
        ApplyFlanger(block.data(), count, kFlangerRate, kFlangerDepth, kFlangerMaxDelaySeconds, 0);
        EXPECT_EQ(block, (std::vector<std::int16_t>{7, -8, 9})) << "count " << count;
    }
    ApplyFlanger(nullptr, 0, kFlangerRate, kFlangerDepth, kFlangerMaxDelaySeconds, 0);
}

TEST(ApplyFlanger, FirstChangedSampleAtOffsetsZeroAnd1024) {
    for (const auto& [offset, first] : {std::pair<std::int32_t, int>{0, 20}, {1024, 27}}) {
        const std::vector<std::int16_t> input = pendrax_test::RandomSamples(1024, offset + 1);
        std::vector<std::int16_t> block = input;
        Flange(block, offset);
        for (int i = 0; i < first; ++i) {
            ASSERT_EQ(block[i], input[i]) << "offset " << offset << " sample " << i;
        }
        EXPECT_EQ(block[first], (input[first] + input[0]) / 2) << "offset " << offset;
    }
}

TEST(ApplyFlanger, AveragesTruncateTowardZero) {
    const std::pair<std::int16_t, std::int16_t> pairs[] = {
        {1, 2}, {-1, -2}, {-32768, 32767}, {32767, 32767}, {-32768, -32768}};
    const std::int16_t expected[] = {1, -1, 0, 32767, -32768};
    for (std::size_t k = 0; k < std::size(pairs); ++k) {
        // With offset 0 sample 20 pairs with sample 0.
        std::vector<std::int16_t> block(21, 0);
        block[0] = pairs[k].first;
        block[20] = pairs[k].second;
        Flange(block, 0);
        EXPECT_EQ(block[20], expected[k]) << pairs[k].first << " and " << pairs[k].second;
    }
}

TEST(ApplyFlanger, FeedsProcessedSamplesBack) {
    std::vector<std::int16_t> block(1024, 1000);
    block[0] = 0;
    Flange(block, 0);
    EXPECT_EQ(block[20], 500);
    EXPECT_EQ(block[40], 750);
    EXPECT_EQ(block[60], 875);
}

TEST(ApplyFlanger, MatchesTheReferenceOnRandomBlocks) {
    for (std::int32_t offset : {0, 1, 1000, 15990, 16000, 123456789}) {
        for (std::int32_t count : {3, 37, 38, 500, 1024}) {
            const auto input = pendrax_test::RandomSamples(
                static_cast<std::size_t>(count), static_cast<std::uint32_t>(offset + count));
            std::vector<std::int16_t> fast = input;
            std::vector<std::int16_t> reference = input;
            ApplyFlanger(fast.data(), count, kFlangerRate, kFlangerDepth, kFlangerMaxDelaySeconds,
                         offset);
            ApplyFlangerReference(reference.data(), count, kFlangerRate, kFlangerDepth,
                                  kFlangerMaxDelaySeconds, offset);
            ASSERT_EQ(fast, reference) << "offset " << offset << " count " << count;
        }
    }
}

TEST(ApplyFlanger, IsDefinedAtOffsetsNearTheInt32Limit) {
    // The last block's positions run past 2^31 - 1; the sweep goes on smoothly.
    const std::int32_t offset = INT32_MAX - 100;
    std::vector<std::int16_t> block = pendrax_test::RandomSamples(1024, 99);
    std::vector<std::int16_t> reference = block;
    Flange(block, offset);
    ApplyFlangerReference(reference.data(), 1024, kFlangerRate, kFlangerDepth,
                          kFlangerMaxDelaySeconds, offset);
    EXPECT_EQ(block, reference);
    const std::int32_t before = Delay(std::int64_t{INT32_MAX});
    const std::int32_t after = Delay(std::int64_t{INT32_MAX} + 1);
    EXPECT_LE(std::abs(before - after), 1);
}

}  // namespace
}  // namespace pendrax
