// The 44-byte canonical RIFF/WAVE header: mono 16-bit PCM at 8000 samples
// per second, its layout and its one writer, over bytes. Recordings are sized in whole
// one-second blocks; other writers give a byte count.
#pragma once

#include <cstddef>
#include <cstdint>

#include "PendraxWAVFlanger.h"

namespace pendrax::wav {

constexpr std::size_t kWavHeaderBytes = PENDRAX_WAV_HEADER_BYTES;
constexpr std::uint32_t kSampleRate = PENDRAX_SAMPLE_RATE;
constexpr std::uint32_t kBytesPerSample = 2;
constexpr std::uint32_t kBlockBytes = PENDRAX_BLOCK_BYTES;  // one second
static_assert(kBlockBytes == kSampleRate * kBytesPerSample, "a block is one second");
// The most blocks the 32-bit size fields describe exactly.
constexpr std::uint32_t kMaxBlocks = PENDRAX_MAX_BLOCKS;

// Where the canonical header keeps each field.
constexpr std::size_t kChunkHeaderBytes = 8;  // an id and a 32-bit size
constexpr std::size_t kChunkSizeField = 4;    // the size, within a chunk's header
constexpr std::size_t kRiffTagAt = 0;
constexpr std::size_t kRiffSizeAt = kRiffTagAt + kChunkSizeField;
constexpr std::size_t kFormTypeAt = kChunkHeaderBytes;
constexpr std::size_t kFirstChunkAt = kFormTypeAt + 4;  // the "fmt " chunk, after "WAVE"
constexpr std::size_t kFormatSizeAt = kFirstChunkAt + kChunkSizeField;
constexpr std::size_t kFormatFieldsAt = kFirstChunkAt + kChunkHeaderBytes;
// The format chunk's fields, from their start.
constexpr std::size_t kFormatTagField = 0;
constexpr std::size_t kChannelsField = 2;
constexpr std::size_t kSampleRateField = 4;
constexpr std::size_t kByteRateField = 8;
constexpr std::size_t kBlockAlignField = 12;
constexpr std::size_t kBitsPerSampleField = 14;
constexpr std::uint32_t kCanonicalFormatBytes = 16;
constexpr std::size_t kDataChunkAt = kFormatFieldsAt + kCanonicalFormatBytes;
constexpr std::size_t kDataSizeAt = kDataChunkAt + kChunkSizeField;
static_assert(kDataSizeAt + 4 == kWavHeaderBytes, "the fields fill the header");
// What the RIFF size counts beyond the data: the header after its first 8 bytes.
constexpr std::uint32_t kRiffOverhead = kWavHeaderBytes - kChunkHeaderBytes;

// The format tag of integer PCM.
constexpr std::uint16_t kPcmFormat = 1;

// Both sizes of a streamed header, whose length is unknown when it is
// written: readers take the samples to the end of the stream.
constexpr std::uint32_t kStreamedSize = 0xFFFFFFFFU;

// The stored header for `dataBytes` of samples, clamped to the most whole
// samples the 32-bit sizes hold: its fields in order, little-endian, with no
// gaps, whatever the host's byte order.
void CanonicalHeader(std::uint64_t dataBytes, unsigned char (&bytes)[kWavHeaderBytes]);

// The stored header of a stream: both sizes kStreamedSize.
void StreamedHeader(unsigned char (&bytes)[kWavHeaderBytes]);

// Mends the RIFF and data sizes of a stored canonical header (its other
// fields kept) for `dataBytes` of samples, clamped as above.
void SetSizes(unsigned char (&bytes)[kWavHeaderBytes], std::uint64_t dataBytes);

// Gives a stored header a stream's sizes, its other fields kept.
void SetStreamedSizes(unsigned char* bytes);

// Little-endian fields, as RIFF stores them.
inline std::uint32_t Little32(const unsigned char* at) {
    return static_cast<std::uint32_t>(at[0]) | (static_cast<std::uint32_t>(at[1]) << 8) |
           (static_cast<std::uint32_t>(at[2]) << 16) | (static_cast<std::uint32_t>(at[3]) << 24);
}

inline std::uint16_t Little16(const unsigned char* at) {
    return static_cast<std::uint16_t>(at[0] | (at[1] << 8));
}

inline void PutLittle32(unsigned char* at, std::uint32_t value) {
    for (int k = 0; k < 4; ++k) {
        at[k] = static_cast<unsigned char>((value >> (8 * k)) & 0xFF);
    }
}

}  // namespace pendrax::wav
