#include "WavHeader.h"

#include <cstring>

namespace pendrax::recorder {
namespace {

void PutTag(unsigned char* out, const char (&tag)[4]) { std::memcpy(out, tag, 4); }

void PutLittleEndian16(unsigned char* out, std::uint16_t value) {
    out[0] = static_cast<unsigned char>(value & 0xFF);
    out[1] = static_cast<unsigned char>(value >> 8);
}

void PutLittleEndian32(unsigned char* out, std::uint32_t value) {
    for (int k = 0; k < 4; ++k) {
        out[k] = static_cast<unsigned char>((value >> (8 * k)) & 0xFF);
    }
}

void SetTag(char (&tag)[4], const char* text) { std::memcpy(tag, text, 4); }

}  // namespace

void Finalise(WavHeader& header, std::uint32_t blockCount) {
    const std::uint32_t dataBytes = blockCount * kBlockBytes;
    SetTag(header.riffTag, "RIFF");
    header.riffSize = dataBytes + 36;
    SetTag(header.formType, "WAVE");
    SetTag(header.formatTag, "fmt ");
    header.formatSize = 16;
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
    PutLittleEndian32(bytes + 4, header.riffSize);
    PutTag(bytes + 8, header.formType);
    PutTag(bytes + 12, header.formatTag);
    PutLittleEndian32(bytes + 16, header.formatSize);
    PutLittleEndian16(bytes + 20, header.formatCode);
    PutLittleEndian16(bytes + 22, header.channels);
    PutLittleEndian32(bytes + 24, header.samplesPerSecond);
    PutLittleEndian32(bytes + 28, header.bytesPerSecond);
    PutLittleEndian16(bytes + 32, header.blockAlign);
    PutLittleEndian16(bytes + 34, header.bitsPerSample);
    PutTag(bytes + 36, header.dataTag);
    PutLittleEndian32(bytes + 40, header.dataSize);
}

}  // namespace pendrax::recorder
