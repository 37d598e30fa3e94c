// The flanger kernel: a comb whose delay is swept by a sine oscillator.
#pragma once

#include <cstdint>

namespace pendrax {

// The settings the file flanger uses: a 0.5 Hz sweep, depth 0.9 and a full
// swing of 5 ms (40 samples), so the delay runs from 2 to 37 samples.
constexpr float kFlangerRate = 0.5f;
constexpr float kFlangerDepth = 0.9f;
constexpr float kFlangerMaxDelaySeconds = 0.005f;

// The kernel's fixed sample rate, as a float (the swing is a float product).
// The kernel stands alone; the flange over files asserts that this is the
// files' rate.
constexpr float kKernelSampleRate = 8000.0f;

// 2*pi over the sample rate: the oscillator's phase per sample and cycle per
// second. The quotient rounds to the same double as 2*pi/8000 written out.
constexpr double kPhaseFactor = 6.283185307179586476925286766559 / double{kKernelSampleRate};

// Samples per oscillator cycle with the file flanger's rate.
constexpr std::int64_t kFlangerPeriod =
    static_cast<std::int64_t>(double{kKernelSampleRate} / double{kFlangerRate});
static_assert(kFlangerPeriod * double{kFlangerRate} == double{kKernelSampleRate},
              "the file flanger's rate divides the sample rate into whole cycles");

// The delay, in whole samples, at stream position n:
// trunc(((sin((n * rate) * 2pi/8000) * depth + 1) * swing) * 0.5), all in
// double precision. n is taken as 64-bit so that positions a block reaches
// past 2^31 - 1 are still well defined.
std::int32_t FlangerDelay(std::int64_t n, float rate, float depth, float swing);

// Processes one block in place. Sample i (stream position sampleOffset + i)
// becomes the average, truncated toward zero, of itself and sample
// i - delay(sampleOffset + i) of the same block, read in its current
// (already processed) state; samples whose delay reaches before the block's
// start pass through. count < 1 leaves the block untouched.
// rate in cycles per second, depth scales the sine (0-1 keeps the delay
// non-negative), maxDelaySeconds is the full swing in seconds.
void ApplyFlanger(std::int16_t* samples, std::int32_t count, float rate, float depth,
                  float maxDelaySeconds, std::int32_t sampleOffset);

// ApplyFlanger as it is built for processors without SSE2 (no vector
// instructions written out). x86_64 and i686 (Linux and the DLLs) ship the
// SSE2 form; ARM (armhf, arm64) and every other processor ship this one.
// It is callable on every build, and the kernel suite calls it directly.
void ApplyFlangerPortable(std::int16_t* samples, std::int32_t count, float rate, float depth,
                          float maxDelaySeconds, std::int32_t sampleOffset);

// The straightforward one-sine-per-sample form of ApplyFlanger. It defines
// the result: ApplyFlanger must match it bit for bit.
void ApplyFlangerReference(std::int16_t* samples, std::int32_t count, float rate, float depth,
                           float maxDelaySeconds, std::int32_t sampleOffset);

}  // namespace pendrax
