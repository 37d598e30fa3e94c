#include "record/WavStream.h"

#include <cstring>

namespace pendrax_host {
namespace {

void Put32(unsigned char* at, std::uint32_t value) {
    for (int k = 0; k < 4; ++k) {
        at[k] = static_cast<unsigned char>(value >> (8 * k));
    }
}

}  // namespace

void WavHeaderFor(std::uint32_t dataBytes, unsigned char (&header)[PENDRAX_WAV_HEADER_BYTES]) {
    std::memcpy(header, "RIFF\0\0\0\0WAVEfmt ", 16);
    Put32(header + 4, 36 + dataBytes);
    Put32(header + 16, 16);                       // format chunk size
    Put32(header + 20, 1 | (1u << 16));           // PCM, one channel
    Put32(header + 24, PENDRAX_SAMPLE_RATE);      // samples per second
    Put32(header + 28, 2 * PENDRAX_SAMPLE_RATE);  // bytes per second
    Put32(header + 32, 2 | (16u << 16));          // block align, bits
    std::memcpy(header + 36, "data", 4);
    Put32(header + 40, dataBytes);
}

}  // namespace pendrax_host
