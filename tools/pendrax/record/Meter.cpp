#include "record/Meter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace pendrax_host {

std::string PeakText(const unsigned char* samples, std::size_t bytes) {
    int peak = 0;
    for (std::size_t k = 0; k + 1 < bytes; k += 2) {
        const auto sample = static_cast<short>(samples[k] | (samples[k + 1] << 8));
        peak = std::max(peak, std::abs(static_cast<int>(sample)));
    }
    if (peak == 0) {
        return "no signal";
    }
    char text[32];
    (void)std::snprintf(text, sizeof text, "peak %.1f dBFS", 20.0 * std::log10(peak / 32768.0));
    return text;
}

}  // namespace pendrax_host
