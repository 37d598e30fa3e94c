// The file-to-file flanger behind the WAVFlanger export.
#pragma once

#include <cstdint>

namespace pendrax {

constexpr int kWavHeaderBytes = 44;
constexpr int kFlangerBlockSamples = 1024;

// The offset handed to the kernel for a block that starts at stream
// position `position`. Up to 2^31 - 1 it is the position itself; beyond, it
// is the position reduced by whole oscillator periods, so the sweep goes on
// without a jump and the kernel's 32-bit offset never overflows.
std::int32_t KernelOffset(std::uint64_t position);

}  // namespace pendrax
