#include "WavHeader.h"

#include <cstring>

namespace pendrax::wav {
namespace {

void PutTag(unsigned char* out, const char (&tag)[4]) { std::memcpy(out, tag, 4); }

void PutLittle16(unsigned char* out, std::uint16_t value) {
    out[0] = static_cast<unsigned char>(value & 0xFF);
    out[1] = static_cast<unsigned char>(value >> 8);
}

void SetTag(char (&tag)[4], const char* text) { std::memcpy(tag, text, 4); }

// The most data bytes, in whole 16-bit samples, whose RIFF size still fits
// 32 bits.
constexpr std::uint64_t kMostDataBytes = (kStreamedSize - kRiffOverhead) & ~std::uint64_t{1};

std::uint32_t Clamped(std::uint64_t dataBytes) {
    return static_cast<std::uint32_t>(dataBytes < kMostDataBytes ? dataBytes : kMostDataBytes);
}

}  // namespace

void Finalise(WavHeader& header, std::uint32_t blockCount) {
    const std::uint32_t dataBytes = blockCount * kBlockBytes;
    SetTag(header.riffTag, "RIFF");
    header.riffSize = dataBytes + kRiffOverhead;
    SetTag(header.formType, "WAVE");
    SetTag(header.formatTag, "fmt ");
    header.formatSize = kCanonicalFormatBytes;
    header.formatCode = 1;
    header.channels = 1;
    header.samplesPerSecond = kSampleRate;
    header.bytesPerSecond = kSampleRate * kBytesPerSample;
    header.blockAlign = kBytesPerSample;
    header.bitsPerSample = 16;
    SetTag(header.dataTag, "data");
    header.dataSize = dataBytes;
}

void SerialiseWavHeader(const WavHeader& header, unsigned char (&bytes)[kWavHeaderBytes]) {
    PutTag(bytes + 0, header.riffTag);
    PutLittle32(bytes + kRiffSizeAt, header.riffSize);
    PutTag(bytes + 8, header.formType);
    PutTag(bytes + kFirstChunkAt, header.formatTag);
    PutLittle32(bytes + 16, header.formatSize);
    PutLittle16(bytes + 20, header.formatCode);
    PutLittle16(bytes + 22, header.channels);
    PutLittle32(bytes + 24, header.samplesPerSecond);
    PutLittle32(bytes + 28, header.bytesPerSecond);
    PutLittle16(bytes + 32, header.blockAlign);
    PutLittle16(bytes + 34, header.bitsPerSample);
    PutTag(bytes + kDataChunkAt, header.dataTag);
    PutLittle32(bytes + kDataSizeAt, header.dataSize);
}

void CanonicalHeader(std::uint64_t dataBytes, unsigned char (&bytes)[kWavHeaderBytes]) {
    WavHeader header{};
    Finalise(header, 0);
    SerialiseWavHeader(header, bytes);
    SetSizes(bytes, dataBytes);
}

void StreamedHeader(unsigned char (&bytes)[kWavHeaderBytes]) {
    CanonicalHeader(0, bytes);
    PutLittle32(bytes + kRiffSizeAt, kStreamedSize);
    PutLittle32(bytes + kDataSizeAt, kStreamedSize);
}

void SetSizes(unsigned char (&bytes)[kWavHeaderBytes], std::uint64_t dataBytes) {
    const std::uint32_t data = Clamped(dataBytes);
    PutLittle32(bytes + kRiffSizeAt, data + kRiffOverhead);
    PutLittle32(bytes + kDataSizeAt, data);
}

}  // namespace pendrax::wav
