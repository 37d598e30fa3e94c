#include "WavHeader.h"

#include <cstring>

namespace pendrax::wav {
namespace {

void PutTag(unsigned char* out, const char (&tag)[5]) { std::memcpy(out, tag, 4); }

void PutLittle16(unsigned char* out, std::uint16_t value) {
    out[0] = static_cast<unsigned char>(value & 0xFF);
    out[1] = static_cast<unsigned char>(value >> 8);
}

// The most data bytes, in whole 16-bit samples, whose RIFF size still fits
// 32 bits.
constexpr std::uint64_t kMostDataBytes = (kStreamedSize - kRiffOverhead) & ~std::uint64_t{1};

std::uint32_t Clamped(std::uint64_t dataBytes) {
    return static_cast<std::uint32_t>(dataBytes < kMostDataBytes ? dataBytes : kMostDataBytes);
}

}  // namespace

void CanonicalHeader(std::uint64_t dataBytes, unsigned char (&bytes)[kWavHeaderBytes]) {
    PutTag(bytes + kRiffTagAt, "RIFF");
    PutTag(bytes + kFormTypeAt, "WAVE");
    PutTag(bytes + kFirstChunkAt, "fmt ");
    PutLittle32(bytes + kFormatSizeAt, kCanonicalFormatBytes);
    unsigned char* fields = bytes + kFormatFieldsAt;
    PutLittle16(fields + kFormatTagField, kPcmFormat);
    PutLittle16(fields + kChannelsField, 1);
    PutLittle32(fields + kSampleRateField, kSampleRate);
    PutLittle32(fields + kByteRateField, kSampleRate * kBytesPerSample);
    PutLittle16(fields + kBlockAlignField, kBytesPerSample);
    PutLittle16(fields + kBitsPerSampleField, 8 * kBytesPerSample);
    PutTag(bytes + kDataChunkAt, "data");
    SetSizes(bytes, dataBytes);
}

void StreamedHeader(unsigned char (&bytes)[kWavHeaderBytes]) {
    CanonicalHeader(0, bytes);
    SetStreamedSizes(bytes);
}

void SetSizes(unsigned char (&bytes)[kWavHeaderBytes], std::uint64_t dataBytes) {
    const std::uint32_t data = Clamped(dataBytes);
    PutLittle32(bytes + kRiffSizeAt, data + kRiffOverhead);
    PutLittle32(bytes + kDataSizeAt, data);
}

void SetStreamedSizes(unsigned char* bytes) {
    PutLittle32(bytes + kRiffSizeAt, kStreamedSize);
    PutLittle32(bytes + kDataSizeAt, kStreamedSize);
}

}  // namespace pendrax::wav
