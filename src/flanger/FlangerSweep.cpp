#include "FlangerSweep.h"

#include <algorithm>
#include <cmath>

namespace pendrax {
namespace {

constexpr float kSweepSwing = kFlangerMaxDelaySeconds * kKernelSampleRate;
constexpr double kHalfSwing = 0.5 * double{kSweepSwing};
constexpr std::int32_t kCentreDelay = static_cast<std::int32_t>(kHalfSwing);
// The table starts where the sine rises through zero, at the centre delay.
static_assert(double{kCentreDelay} == kHalfSwing, "the sweep's centre is a whole delay");
static_assert(kSweepLowestDelay >= 1, "every delay of the sweep reaches back");
// The curve's extremes stay clear of whole delays, so only its crossings matter.
static_assert(kHalfSwing * (1.0 - double{kFlangerDepth}) - kSweepLowestDelay > 1e-9 &&
                  kSweepHighestDelay + 1 - kHalfSwing * (1.0 + double{kFlangerDepth}) > 1e-9,
              "the sweep's extremes are not near a whole delay");

std::int32_t ExactDelay(std::int64_t n) {
    return FlangerDelay(n, kFlangerRate, kFlangerDepth, kSweepSwing);
}

std::int64_t FloorDivide(std::int64_t value, std::int64_t divisor) {
    const std::int64_t quotient = value / divisor;
    return (value % divisor < 0) ? quotient - 1 : quotient;
}

SweepTable BuildSweepTable() {
    const double pi = std::acos(-1.0);
    const double radiansPerSample = double{kFlangerRate} * kPhaseFactor;
    SweepTable table{};
    std::size_t count = 0;
    // Rising, the delay becomes t at the crossing; falling, just after it.
    const auto add = [&](double phase, std::int32_t delay, bool rising) {
        const double crossing = phase / radiansPerSample;
        const double nearest = std::nearbyint(crossing);
        DelayChange& change = table[count++];
        change.delay = delay;
        change.closeCall = std::fabs(crossing - nearest) < kCloseCall;
        if (change.closeCall) {
            change.position = static_cast<std::int32_t>(nearest);
        } else {
            change.position = static_cast<std::int32_t>(rising ? std::ceil(crossing)
                                                               : std::floor(crossing) + 1.0);
        }
    };
    const auto phaseOf = [](std::int32_t t) {
        return std::asin((t / kHalfSwing - 1.0) / double{kFlangerDepth});
    };
    for (std::int32_t t = kCentreDelay; t <= kSweepHighestDelay; ++t) {
        add(phaseOf(t), t, true);
    }
    for (std::int32_t t = kSweepHighestDelay; t > kSweepLowestDelay; --t) {
        add(pi - phaseOf(t), t - 1, false);
    }
    for (std::int32_t t = kSweepLowestDelay + 1; t < kCentreDelay; ++t) {
        add(2.0 * pi + phaseOf(t), t, true);
    }
    return table;
}

}  // namespace

const SweepTable& FileFlangerSweep() {
    static const SweepTable table = BuildSweepTable();
    return table;
}

bool IsFileFlangerSweep(float rate, float depth, float maxDelaySeconds) {
    return rate == kFlangerRate && depth == kFlangerDepth &&
           maxDelaySeconds * kKernelSampleRate == kSweepSwing;
}

SweepRuns::SweepRuns(std::int64_t first, std::int64_t count)
    : table_(FileFlangerSweep()), position_(first), end_(first + std::max<std::int64_t>(count, 0)) {
    if (position_ >= end_) {
        return;
    }
    cycleStart_ = FloorDivide(first, kFlangerPeriod) * kFlangerPeriod;
    const std::int64_t inCycle = first - cycleStart_;
    const auto after = std::upper_bound(table_.begin(), table_.end(), inCycle,
                                        [](std::int64_t position, const DelayChange& change) {
                                            return position < change.position;
                                        });
    // The first change is at 0, so one is at or before inCycle; a close
    // call right on `first` may not have happened yet.
    int current = static_cast<int>(after - table_.begin()) - 1;
    if (table_[static_cast<std::size_t>(current)].position == inCycle &&
        ChangeStart(cycleStart_, current) > first) {
        next_ = current;
        delay_ =
            table_[static_cast<std::size_t>(current == 0 ? kSweepChangesPerCycle - 1 : current - 1)]
                .delay;
        return;
    }
    delay_ = table_[static_cast<std::size_t>(current)].delay;
    next_ = current + 1;
    if (next_ == kSweepChangesPerCycle) {
        next_ = 0;
        cycleStart_ += kFlangerPeriod;
    }
}

std::int64_t SweepRuns::ChangeStart(std::int64_t cycleStart, int index) const {
    const DelayChange& change = table_[static_cast<std::size_t>(index)];
    const std::int64_t start = cycleStart + change.position;
    if (change.closeCall && ExactDelay(start) != change.delay) {
        return start + 1;
    }
    return start;
}

bool SweepRuns::Next(DelayRun& run) {
    if (position_ >= end_) {
        return false;
    }
    const std::int64_t nominal = cycleStart_ + table_[static_cast<std::size_t>(next_)].position;
    const std::int64_t start = nominal < end_ ? ChangeStart(cycleStart_, next_) : nominal;
    if (start >= end_) {
        run = {position_, end_, delay_};
        position_ = end_;
        return true;
    }
    run = {position_, start, delay_};
    position_ = start;
    delay_ = table_[static_cast<std::size_t>(next_)].delay;
    if (++next_ == kSweepChangesPerCycle) {
        next_ = 0;
        cycleStart_ += kFlangerPeriod;
    }
    return true;
}

}  // namespace pendrax
