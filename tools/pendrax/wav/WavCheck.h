// The input check before flanging: whether the file's header is the one
// the flanger assumes (RIFF/WAVE, 16-bit PCM, mono, samples from byte 44).
#pragma once

#include <cstddef>
#include <string>

namespace pendrax_host {

enum class Verdict {
    Accepted,  // canonical and at the module's own rate
    Warned,    // canonical, at another rate: flanged, with a warning
    Refused,   // the flanger would misread or corrupt it
};

struct WavCheck {
    Verdict verdict = Verdict::Refused;
    unsigned sampleRate = 0;  // from the header; 0 when it has none
    unsigned byteRate = 0;    // bytes per second, from the header
    std::string found;        // what was found, for the message
};

// Judges the first `count` bytes of a file (44 are enough for a verdict;
// more let a refusal name the format behind extra chunks).
WavCheck CheckWavHeader(const unsigned char* bytes, std::size_t count);

}  // namespace pendrax_host
