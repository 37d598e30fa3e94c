#include "WAVFlanger.h"

#include <cstdio>
#include <limits>
#include <memory>
#include <new>
#include <string>

#include "Files.h"
#include "FlangerKernel.h"
#include "PendraxWAVFlanger.h"

namespace pendrax {
namespace {

// The largest whole number of oscillator periods that fits in an int32.
constexpr std::uint64_t kOffsetWrap =
    (std::uint64_t{std::numeric_limits<std::int32_t>::max()} / kFlangerPeriod) * kFlangerPeriod;

constexpr const char* kOpenInputFailed = "Failed to open input file.\n";
constexpr const char* kOpenOutputFailed = "Failed to open output file.\n";
constexpr const char* kReadFailed = "Failed to read input file.\n";
constexpr const char* kWriteFailed = "Failed to write output file.\n";
constexpr const char* kSucceeded = "Flanger effect applied and saved to output.wav\n";

int Report(const char* message, int result) {
    std::printf("%s", message);
    return result;
}

// Samples are little-endian in the file; swap on a big-endian host (on a
// little-endian one the samples are left as they are, hence not const).
// NOLINTNEXTLINE(readability-non-const-parameter)
void ToHostOrder(std::int16_t* samples, std::size_t count) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    for (std::size_t i = 0; i < count; ++i) {
        const auto value = static_cast<std::uint16_t>(samples[i]);
        samples[i] = static_cast<std::int16_t>((value >> 8) | (value << 8));
    }
#else
    (void)samples;
    (void)count;
#endif
}

// Stream buffers well above the C library's default (a few KiB) save most
// of the system calls of a long file; the blocks stay 1024 samples.
constexpr std::size_t kStreamBufferBytes = std::size_t{64} * 1024;

// Gives a freshly opened stream the larger buffer; without the memory, the
// stream keeps its own.
void UseBuffer(std::FILE* stream, char* buffer) {
    if (buffer != nullptr) {
        (void)std::setvbuf(stream, buffer, _IOFBF, kStreamBufferBytes);
    }
}

int FlangeFile(BlockKernel kernel, const PendraxWideChar* inputPath,
               const PendraxWideChar* outputPath) {
    // Both names are converted before anything is opened, so the only
    // allocations of the call that can fail do so with no file open.
    const std::string inputName = platform::WidePathToNarrow(inputPath);
    const std::string outputName = platform::WidePathToNarrow(outputPath);
    const std::unique_ptr<char[]> inputBuffer(new (std::nothrow) char[kStreamBufferBytes]);
    const std::unique_ptr<char[]> outputBuffer(new (std::nothrow) char[kStreamBufferBytes]);

    std::FILE* input = platform::OpenForReading(inputName);
    if (input == nullptr) {
        return Report(kOpenInputFailed, PENDRAX_FLANGER_OPEN_FAILED);
    }
    UseBuffer(input, inputBuffer.get());

    // Cleared first: an input shorter than the header gives its bytes and zeros.
    unsigned char header[PENDRAX_WAV_HEADER_BYTES] = {};
    (void)std::fread(header, 1, sizeof header, input);
    if (std::ferror(input) != 0) {
        // Nothing readable: no output is created.
        (void)std::fclose(input);
        return Report(kReadFailed, PENDRAX_FLANGER_IO_FAILED);
    }

    std::FILE* output = platform::OpenForWritingUnlessSame(outputName, input);
    if (output == nullptr) {
        (void)std::fclose(input);
        return Report(kOpenOutputFailed, PENDRAX_FLANGER_OPEN_FAILED);
    }
    UseBuffer(output, outputBuffer.get());

    bool written = std::fwrite(header, 1, sizeof header, output) == sizeof header;
    std::int16_t block[kFlangerBlockSamples];
    std::uint64_t position = 0;
    while (written) {
        const std::size_t got = std::fread(block, sizeof block[0], kFlangerBlockSamples, input);
        if (got == 0) {
            break;
        }
        ToHostOrder(block, got);
        kernel(block, static_cast<std::int32_t>(got), kFlangerRate, kFlangerDepth,
               kFlangerMaxDelaySeconds, KernelOffset(position));
        ToHostOrder(block, got);
        written = std::fwrite(block, sizeof block[0], got, output) == got;
        position += got;
    }

    const bool readFailed = std::ferror(input) != 0;
    (void)std::fclose(input);  // read-only: nothing left to lose
    written = std::fclose(output) == 0 && written;
    if (!written) {
        return Report(kWriteFailed, PENDRAX_FLANGER_IO_FAILED);
    }
    if (readFailed) {
        return Report(kReadFailed, PENDRAX_FLANGER_IO_FAILED);
    }
    return Report(kSucceeded, PENDRAX_SUCCESS);
}

}  // namespace

std::int32_t KernelOffset(std::uint64_t position) {
    if (position <= std::uint64_t{std::numeric_limits<std::int32_t>::max()}) {
        return static_cast<std::int32_t>(position);
    }
    return static_cast<std::int32_t>(position % kOffsetWrap);
}

int FlangeFileWith(BlockKernel kernel, const PendraxWideChar* inputPath,
                   const PendraxWideChar* outputPath) {
    try {
        return FlangeFile(kernel, inputPath, outputPath);
    } catch (const std::bad_alloc&) {
        // Converting the paths is the only allocation; a path too long to
        // convert cannot be opened. No file is open at that point.
        return Report(kOpenInputFailed, PENDRAX_FLANGER_OPEN_FAILED);
    }
}

}  // namespace pendrax

extern "C" PENDRAX_API int WAVFlanger(const PendraxWideChar* inputPath,
                                      const PendraxWideChar* outputPath) {
    return pendrax::FlangeFileWith(pendrax::ApplyFlanger, inputPath, outputPath);
}
