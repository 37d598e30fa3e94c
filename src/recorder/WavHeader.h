// The 44-byte canonical RIFF/WAVE header of a recording: mono 16-bit PCM at
// 8000 samples per second, sized for a whole number of one-second blocks.
#pragma once

#include <cstddef>
#include <cstdint>

#include "PendraxWAVFlanger.h"

namespace pendrax::recorder {

constexpr std::size_t kWavHeaderBytes = PENDRAX_WAV_HEADER_BYTES;
constexpr std::uint32_t kSampleRate = PENDRAX_SAMPLE_RATE;
constexpr std::uint32_t kBytesPerSample = 2;
constexpr std::uint32_t kBlockBytes = PENDRAX_BLOCK_BYTES;  // one second
static_assert(kBlockBytes == kSampleRate * kBytesPerSample, "a block is one second");
// The most blocks the 32-bit size fields describe exactly.
constexpr std::uint32_t kMaxBlocks = PENDRAX_MAX_BLOCKS;

struct WavHeader {
    char riffTag[4];
    std::uint32_t riffSize;
    char formType[4];
    char formatTag[4];
    std::uint32_t formatSize;
    std::uint16_t formatCode;
    std::uint16_t channels;
    std::uint32_t samplesPerSecond;
    std::uint32_t bytesPerSecond;
    std::uint16_t blockAlign;
    std::uint16_t bitsPerSample;
    char dataTag[4];
    std::uint32_t dataSize;
};

// Sets every field for blockCount one-second blocks. The sizes are formed in
// 32-bit unsigned arithmetic, exact up to kMaxBlocks.
void Finalise(WavHeader& header, std::uint32_t blockCount);

// The header as it is stored in a file: its fields in order, little-endian,
// with no gaps, whatever the host's byte order or structure layout.
void SerialiseWavHeader(const WavHeader& header, unsigned char (&bytes)[kWavHeaderBytes]);

}  // namespace pendrax::recorder
