// The level shown in the live line: a block's peak in dBFS.
#pragma once

#include <cstddef>
#include <string>

namespace pendrax_host {

// "peak -6.0 dBFS" for a block of little-endian 16-bit samples, or
// "no signal" when every sample is zero (digital silence: a muted or
// missing input).
std::string PeakText(const unsigned char* samples, std::size_t bytes);

}  // namespace pendrax_host
