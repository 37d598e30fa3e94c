// The file-to-file flanger behind the WAVFlanger export.
#pragma once

#include <cstdint>

#include "PendraxWAVFlanger.h"

namespace pendrax {

constexpr int kFlangerBlockSamples = 1024;

// The offset handed to the kernel for a block that starts at stream
// position `position`. Up to 2^31 - 1 it is the position itself; beyond, it
// is the position reduced by whole oscillator periods, so the sweep goes on
// without a jump and the kernel's 32-bit offset never overflows.
std::int32_t KernelOffset(std::uint64_t position);

// A block kernel with ApplyFlanger's arguments.
using BlockKernel = void (*)(std::int16_t* samples, std::int32_t count, float rate, float depth,
                             float maxDelaySeconds, std::int32_t sampleOffset);

// The WAVFlanger export with the kernel of one's choice (it passes
// ApplyFlanger); the benchmarks run the reference kernel through it.
int FlangeFileWith(BlockKernel kernel, const PendraxWideChar* inputPath,
                   const PendraxWideChar* outputPath);

}  // namespace pendrax
