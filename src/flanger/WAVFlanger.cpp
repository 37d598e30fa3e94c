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

// The file is read and written in chunks of whole blocks, straight into and
// out of one working buffer: 256 blocks (512 KiB) make a few hundred system
// calls per hour of audio, and the streams are unbuffered so no byte is
// copied through a stdio buffer on the way. Blocks stay 1024 samples.
constexpr std::size_t kChunkBlocks = 256;
constexpr auto kBlockSamples = static_cast<std::size_t>(kFlangerBlockSamples);

int FlangeFile(BlockKernel kernel, const PendraxWideChar* inputPath,
               const PendraxWideChar* outputPath) {
    // Both names are converted before anything is opened, so the only
    // allocations of the call that can fail do so with no file open.
    const platform::FileName inputName = platform::NativeName(inputPath);
    const platform::FileName outputName = platform::NativeName(outputPath);
    // Without the memory for a whole chunk, one block at a time still works.
    std::unique_ptr<std::int16_t[]> chunk(new (std::nothrow)
                                              std::int16_t[kChunkBlocks * kBlockSamples]);
    std::int16_t oneBlock[kFlangerBlockSamples];
    std::int16_t* const samples = chunk != nullptr ? chunk.get() : oneBlock;
    const std::size_t chunkSamples =
        chunk != nullptr ? kChunkBlocks * kBlockSamples : kBlockSamples;

    std::FILE* input = platform::OpenForReading(inputName);
    if (input == nullptr) {
        return Report(kOpenInputFailed, PENDRAX_FLANGER_OPEN_FAILED);
    }
    (void)std::setvbuf(input, nullptr, _IONBF, 0);

    // Cleared first: an input shorter than the header gives its bytes and zeros.
    unsigned char header[PENDRAX_WAV_HEADER_BYTES] = {};
    // A short header is no failure; only an error is.
    const std::size_t headerBytes = std::fread(header, 1, sizeof header, input);
    if (headerBytes < sizeof header && std::ferror(input) != 0) {
        // Nothing readable: no output is created.
        (void)std::fclose(input);
        return Report(kReadFailed, PENDRAX_FLANGER_IO_FAILED);
    }

    std::FILE* output = platform::OpenForWritingUnlessSame(outputName, input);
    if (output == nullptr) {
        (void)std::fclose(input);
        return Report(kOpenOutputFailed, PENDRAX_FLANGER_OPEN_FAILED);
    }
    (void)std::setvbuf(output, nullptr, _IONBF, 0);

    bool written = std::fwrite(header, 1, sizeof header, output) == sizeof header;
    std::uint64_t position = 0;
    while (written) {
        // fread gathers short reads (a pipe) until the chunk is full or the
        // input ends; a trailing odd byte is dropped.
        const std::size_t got =
            std::fread(samples, 1, chunkSamples * sizeof samples[0], input) / sizeof samples[0];
        if (got == 0) {
            break;
        }
        for (std::size_t start = 0; start < got; start += kBlockSamples) {
            std::int16_t* const block = samples + start;
            const std::size_t count = got - start < kBlockSamples ? got - start : kBlockSamples;
            ToHostOrder(block, count);
            kernel(block, static_cast<std::int32_t>(count), kFlangerRate, kFlangerDepth,
                   kFlangerMaxDelaySeconds, KernelOffset(position));
            ToHostOrder(block, count);
            position += count;
        }
        written = std::fwrite(samples, sizeof samples[0], got, output) == got;
        if (got < chunkSamples) {
            break;  // the input ended, or could not be read further
        }
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
