// Where the file flanger's delay changes, so the fast kernel evaluates the
// exact per-sample delay only where it could go either way.
//
// With the file flanger's settings the delay is a whole number of samples
// that changes 70 times per 16000-sample cycle, once for each whole number
// from 3 to 37 on the way up and again on the way down. Each change lies
// where the delay curve crosses a whole number; the table holds those
// crossings for one cycle, found from the inverse sine.
//
// Why the table's positions are the exact definition's: FlangerDelay at
// stream position n is the curve at n up to rounding, which moves a crossing
// by less than 1e-6 samples for every position within 32 bits either side
// of zero (the phase product rounds by at most 2^-53 of a phase below 1.7e6
// radians, 5e-7 samples; the sine and the scaling add about 1e-14 of a
// delay, and the curve climbs at least 0.0023 delay per sample at any
// crossing; the cycle's length differs from 16000 by 2e-12 samples, 5e-7
// over the range). So FlangerDelay changes where the table says, except at
// a crossing within kCloseCall of a whole sample, where the sample on it
// could go either way: there FlangerDelay itself decides. The sine's zeros
// at every multiple of 8000 are such crossings.
#pragma once

#include <array>
#include <cstdint>

#include "FlangerKernel.h"

namespace pendrax {

// The smallest and largest delay of the file flanger's sweep: the half swing
// (20 samples) scaled by 1 - depth and 1 + depth.
constexpr std::int32_t kSweepLowestDelay = static_cast<std::int32_t>(
    0.5 * double{kFlangerMaxDelaySeconds * kKernelSampleRate} * (1.0 - double{kFlangerDepth}));
constexpr std::int32_t kSweepHighestDelay = static_cast<std::int32_t>(
    0.5 * double{kFlangerMaxDelaySeconds * kKernelSampleRate} * (1.0 + double{kFlangerDepth}));
constexpr int kSweepChangesPerCycle = 2 * (kSweepHighestDelay - kSweepLowestDelay);

// A crossing this close to a whole sample (1000 times the bound above) is
// settled by FlangerDelay.
constexpr double kCloseCall = 1e-3;

// One change of the delay within a cycle: from `position` samples after the
// cycle's start the delay is `delay`. For a close call, the change is at
// `position` if FlangerDelay gives the new delay there, else one later.
struct DelayChange {
    std::int32_t position;
    std::int32_t delay;
    bool closeCall;
};

// The changes of one cycle in increasing position; the first is at 0, where
// the sine rises through zero and the delay becomes the sweep's centre.
using SweepTable = std::array<DelayChange, kSweepChangesPerCycle>;

// The table for the file flanger's settings, computed on first use.
const SweepTable& FileFlangerSweep();

// True when the settings are exactly the file flanger's, the only ones the
// table describes.
bool IsFileFlangerSweep(float rate, float depth, float maxDelaySeconds);

// A stretch of stream positions [begin, end) that share one delay.
struct DelayRun {
    std::int64_t begin;
    std::int64_t end;
    std::int32_t delay;
};

// Splits the stream positions [first, first + count) into runs of one
// delay, in order; each run's delay is FlangerDelay's, with the file
// flanger's settings, at every position in it. Positions may be negative
// or past 2^31 - 1 (a block that starts just below it reaches past it).
class SweepRuns {
public:
    SweepRuns(std::int64_t first, std::int64_t count);

    // The next run; false when the range is used up.
    bool Next(DelayRun& run);

private:
    // Where change `index` of the cycle starting at cycleStart really starts.
    std::int64_t ChangeStart(std::int64_t cycleStart, int index) const;

    const SweepTable& table_;
    std::int64_t position_;
    std::int64_t end_;
    std::int32_t delay_ = 0;
    std::int64_t cycleStart_ = 0;  // the cycle and index of the next change
    int next_ = 0;
};

}  // namespace pendrax
