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
    std::string soxType;      // sox's name for the type when sox reads it, else ""
};

// "16-bit PCM", "IMA ADPCM": a format tag as people name it.
std::string FormatName(unsigned tag, unsigned bits);

// "a 16", "an 18": the number with its article.
std::string WithArticle(std::size_t number);

// How much of an input the check reads.
constexpr std::size_t kCheckBytes = 4096;

// Judges the first `count` bytes of a file (44 are enough for a verdict;
// more let a refusal name the format behind extra chunks).
WavCheck CheckWavHeader(const unsigned char* bytes, std::size_t count);

}  // namespace pendrax_host
