// The walk over a WAV file's first bytes: its format, the chunks before its
// samples, where the samples start and how many bytes of them the header
// claims; and the claim set against the file's real length. Every size is
// taken in 64-bit arithmetic and the walk never leaves the bytes it is
// given, whatever the sizes say.
#pragma once

#include <cstddef>
#include <cstdint>

#include "WavHeader.h"

namespace pendrax::wav {

// How much of a file the walk wants to see: enough for the chunks that
// usually come before the samples.
constexpr std::size_t kWalkBytes = 4096;

constexpr std::uint16_t kExtensibleFormat = 0xFFFE;

// The "fmt " chunk's fields.
struct Format {
    std::uint16_t tag = 0;  // 1 for PCM; an extensible format's sub-format tag
    std::uint16_t channels = 0;
    std::uint32_t sampleRate = 0;  // samples per second
    std::uint32_t byteRate = 0;    // bytes per second
    std::uint16_t bitsPerSample = 0;
    std::uint32_t chunkBytes = 0;  // the chunk's own size: 16 in the canonical header
};

// A chunk as its header names it.
struct Chunk {
    char id[4] = {};
    std::uint32_t size = 0;  // bytes after its 8-byte header, before any pad byte
};

// What the flanger, which takes every byte after the 44th for a mono 16-bit
// sample, would misread. Several may hold at once.
enum Problem : unsigned {
    kNotRiffWave = 1U << 0,     // no "RIFF" ... "WAVE" at the start
    kNoFormat = 1U << 1,        // no "fmt " chunk before the data
    kNotPcm16 = 1U << 2,        // not 16-bit PCM
    kNotMono = 1U << 3,         // not one channel
    kSamplesNotAt44 = 1U << 4,  // chunks or a longer format chunk move the samples
};

struct HeaderWalk {
    bool riffWave = false;
    bool hasFormat = false;
    Format format;
    // The chunks between "WAVE" and "data" other than "fmt ": the first
    // kKeptChunks of them, and how many there were.
    static constexpr std::size_t kKeptChunks = 8;
    Chunk before[kKeptChunks];
    std::size_t beforeCount = 0;
    bool hasData = false;           // a "data" chunk starts within the bytes walked
    std::uint64_t dataChunkAt = 0;  // where its header starts
    std::uint64_t samplesAt = 0;    // where its samples start
    std::uint32_t dataSize = 0;     // the samples' bytes it claims
    std::uint32_t riffSize = 0;
    unsigned problems = 0;  // Problem bits; 0 when the flanger reads it right

    bool Flangeable() const { return problems == 0; }
};

// Walks the first `count` bytes of a file (the canonical 44 are enough to
// judge it; kWalkBytes let a refusal name what lies behind extra chunks).
HeaderWalk WalkHeader(const unsigned char* bytes, std::size_t count);

// How the header's sizes stand against the file's length.
enum class SizeState {
    kExact,            // the data fills the file to its end
    kUnknownLength,    // a stream's: the header is taken at its word
    kZero,             // a data size of 0 over samples
    kPlaceholder,      // a streamed header's size (kStreamedSize, or the other value streams carry)
    kCutShort,         // the header claims more than the file holds
    kTrailing,         // bytes follow the data, at trailingAt
    kRiffSizeDiffers,  // the data size is right, the RIFF size is not
};

struct SizeCheck {
    SizeState state = SizeState::kExact;
    // The samples' bytes after the header, 0 for a stream.
    std::uint64_t held = 0;
    // Where bytes after the data start (kTrailing).
    std::uint64_t trailingAt = 0;
    // Whether the data size is a count (neither 0 nor a placeholder).
    bool realSize = false;
};

constexpr std::uint64_t kUnknownLength = ~std::uint64_t{0};

// Judges a walk's sizes against a file of `length` bytes, or kUnknownLength
// for a stream (only a zero size is then wrong).
SizeCheck CheckSizes(const HeaderWalk& walk, std::uint64_t length);

// What a reader takes of `written` bytes of samples under these sizes: all
// under a placeholder, else no more than the data size.
std::uint64_t ReadableBytes(const HeaderWalk& walk, std::uint64_t written);

// What follows the data in a file, from its first bytes.
struct Trailer {
    enum class Kind { kId3Tag, kChunk, kBytes } kind = Kind::kBytes;
    Chunk chunk;  // with kChunk
};
Trailer WalkTrailer(const unsigned char* bytes, std::size_t count);

}  // namespace pendrax::wav
