#include <cmath>
#include <cstdint>

#include "FlangerKernel.h"
#include "FlangerSine.h"

namespace pendrax {

std::int32_t FlangerDelay(std::int64_t n, float rate, float depth, float swing) {
    const double phase = (static_cast<double>(n) * static_cast<double>(rate)) * kPhaseFactor;
    const double m = SweepSine(phase) * static_cast<double>(depth) + 1.0;
    const double d = (m * static_cast<double>(swing)) * 0.5;
    // Settings outside the sweep's intended range (depth above 1, huge swings)
    // could make d negative or too large for an int; clamp so the kernel never
    // reads past the current sample. A delay of 0 leaves the sample as it is.
    if (!(d >= 0.0)) {
        return 0;
    }
    if (d >= 2147483647.0) {
        return INT32_MAX;
    }
    return static_cast<std::int32_t>(d);
}

void ApplyFlangerReference(std::int16_t* samples, std::int32_t count, float rate, float depth,
                           float maxDelaySeconds, std::int32_t sampleOffset) {
    if (count < 1) {
        return;
    }
    const float swing = maxDelaySeconds * kKernelSampleRate;
    for (std::int32_t i = 0; i < count; ++i) {
        const std::int32_t delay = FlangerDelay(std::int64_t{sampleOffset} + i, rate, depth, swing);
        const std::int32_t j = i - delay;
        if (j >= 0) {
            const std::int32_t sum = std::int32_t{samples[i]} + std::int32_t{samples[j]};
            samples[i] = static_cast<std::int16_t>(sum / 2);
        }
    }
}

}  // namespace pendrax
