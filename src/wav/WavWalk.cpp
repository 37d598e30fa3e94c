#include "WavWalk.h"

#include <cstring>

namespace pendrax::wav {
namespace {

// Besides kStreamedSize, the data size some recorders give a stream.
constexpr std::uint32_t kOtherStreamedSize = 0x7FFFF000U;

constexpr std::size_t kExtensibleFieldsBytes = 26;  // up to the sub-format's tag
constexpr std::uint32_t kExtensibleChunkBytes = 40;

bool IdIs(const unsigned char* at, const char* id) { return std::memcmp(at, id, 4) == 0; }

Format ReadFormat(const unsigned char* fields, std::uint32_t chunkBytes, std::uint64_t inView) {
    Format format;
    format.chunkBytes = chunkBytes;
    format.tag = Little16(fields + kFormatTagField);
    format.channels = Little16(fields + kChannelsField);
    format.sampleRate = Little32(fields + kSampleRateField);
    format.byteRate = Little32(fields + kByteRateField);
    format.bitsPerSample = Little16(fields + kBitsPerSampleField);
    if (format.tag == kExtensibleFormat && chunkBytes >= kExtensibleChunkBytes &&
        inView >= kExtensibleFieldsBytes) {
        format.tag = Little16(fields + 24);  // the sub-format's own tag
    }
    return format;
}

unsigned ProblemsOf(const HeaderWalk& walk) {
    unsigned problems = 0;
    if (!walk.hasFormat) {
        problems |= kNoFormat;
    } else {
        if (walk.format.tag != kPcmFormat || walk.format.bitsPerSample != 8 * kBytesPerSample) {
            problems |= kNotPcm16;
        }
        if (walk.format.channels != 1) {
            problems |= kNotMono;
        }
    }
    if (!walk.hasData || walk.samplesAt != kWavHeaderBytes) {
        problems |= kSamplesNotAt44;
    }
    return problems;
}

bool IsPlaceholder(std::uint32_t size) {
    return size == kStreamedSize || size == kOtherStreamedSize;
}

}  // namespace

HeaderWalk WalkHeader(const unsigned char* bytes, std::size_t count) {
    HeaderWalk walk;
    walk.riffWave = count >= kFirstChunkAt && IdIs(bytes + kRiffTagAt, "RIFF") &&
                    IdIs(bytes + kFormTypeAt, "WAVE");
    if (!walk.riffWave) {
        walk.problems = kNotRiffWave;
        return walk;
    }
    walk.riffSize = Little32(bytes + kRiffSizeAt);
    // Each step moves on by at least a chunk header, so the walk ends within
    // count / 8 steps whatever the sizes claim.
    const std::uint64_t end = count;
    for (std::uint64_t at = kFirstChunkAt; at + kChunkHeaderBytes <= end;) {
        const unsigned char* chunk = bytes + at;
        const std::uint32_t size = Little32(chunk + kChunkSizeField);
        const std::uint64_t fieldsAt = at + kChunkHeaderBytes;
        if (IdIs(chunk, "data")) {
            walk.hasData = true;
            walk.dataChunkAt = at;
            walk.samplesAt = fieldsAt;
            walk.dataSize = size;
            break;
        }
        if (IdIs(chunk, "fmt ")) {
            if (size >= kCanonicalFormatBytes && fieldsAt + kCanonicalFormatBytes <= end) {
                walk.hasFormat = true;
                walk.format = ReadFormat(bytes + fieldsAt, size, end - fieldsAt);
            }
        } else {
            if (walk.beforeCount < HeaderWalk::kKeptChunks) {
                Chunk& kept = walk.before[walk.beforeCount];
                std::memcpy(kept.id, chunk, 4);
                kept.size = size;
            }
            ++walk.beforeCount;
        }
        at = fieldsAt + size + (size & 1U);
    }
    walk.problems = ProblemsOf(walk);
    return walk;
}

SizeCheck CheckSizes(const HeaderWalk& walk, std::uint64_t length) {
    SizeCheck check;
    const std::uint32_t dataSize = walk.dataSize;
    const bool placeholder = IsPlaceholder(dataSize);
    check.realSize = dataSize != 0 && !placeholder;
    if (length == kUnknownLength) {
        // A stream's length shows only at its end; a placeholder is its due.
        check.state = dataSize == 0 ? SizeState::kZero : SizeState::kUnknownLength;
        return check;
    }
    const std::uint64_t samplesAt = walk.hasData ? walk.samplesAt : kWavHeaderBytes;
    check.held = length > samplesAt ? length - samplesAt : 0;
    const std::uint64_t padded = std::uint64_t{dataSize} + (dataSize & 1U);
    if (dataSize == 0) {
        check.state = SizeState::kZero;
    } else if (placeholder) {
        check.state = SizeState::kPlaceholder;
    } else if (dataSize > check.held) {
        check.state = SizeState::kCutShort;
    } else if (padded < check.held) {
        check.state = SizeState::kTrailing;
        check.trailingAt = samplesAt + padded;
    } else if (length < kChunkHeaderBytes || walk.riffSize != length - kChunkHeaderBytes) {
        check.state = SizeState::kRiffSizeDiffers;
    }
    return check;
}

std::uint64_t ReadableBytes(const HeaderWalk& walk, std::uint64_t written) {
    if (IsPlaceholder(walk.dataSize)) {
        return written;
    }
    return walk.dataSize < written ? walk.dataSize : written;
}

Trailer WalkTrailer(const unsigned char* bytes, std::size_t count) {
    Trailer trailer;
    if ((count >= 3 && std::memcmp(bytes, "ID3", 3) == 0) || (count >= 4 && IdIs(bytes, "id3 "))) {
        trailer.kind = Trailer::Kind::kId3Tag;
        return trailer;
    }
    bool printable = count >= kChunkHeaderBytes;
    for (std::size_t k = 0; printable && k < 4; ++k) {
        printable = bytes[k] >= 0x20 && bytes[k] < 0x7F;
    }
    if (printable) {
        trailer.kind = Trailer::Kind::kChunk;
        std::memcpy(trailer.chunk.id, bytes, 4);
        trailer.chunk.size = Little32(bytes + kChunkSizeField);
    }
    return trailer;
}

}  // namespace pendrax::wav
