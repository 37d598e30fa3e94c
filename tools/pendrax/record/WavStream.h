// The header a recording's copy starts with: canonical, 8000 Hz mono
// 16-bit, for a given number of data bytes.
#pragma once

#include <cstdint>

#include "PendraxWAVFlanger.h"

namespace pendrax_host {

// The data size a stream's header gives while its length is unknown: the
// size readers such as sox take for "read to the end".
constexpr std::uint32_t kStreamDataBytes = 0x7ffff000;

void WavHeaderFor(std::uint32_t dataBytes, unsigned char (&header)[PENDRAX_WAV_HEADER_BYTES]);

}  // namespace pendrax_host
