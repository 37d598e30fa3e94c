#include "FlangerExport.h"

#include <cstdio>
#include <new>

#include "Files.h"
#include "PrefixedSource.h"
#include "Streams.h"

namespace pendrax {
namespace {

constexpr const char* kOpenInputFailed = "Failed to open input file.\n";
constexpr const char* kOpenOutputFailed = "Failed to open output file.\n";
constexpr const char* kReadFailed = "Failed to read input file.\n";
constexpr const char* kWriteFailed = "Failed to write output file.\n";
constexpr const char* kSucceeded = "Flanger effect applied and saved to output.wav\n";

int Report(const char* message, int result) {
    std::printf("%s", message);
    return result;
}

int FlangeFile(BlockKernel kernel, const PendraxWideChar* inputPath,
               const PendraxWideChar* outputPath) {
    // Both names are converted before anything is opened, so the only
    // allocations of the call that can fail do so with no file open.
    const platform::FileName inputName = platform::NativeName(inputPath);
    const platform::FileName outputName = platform::NativeName(outputPath);

    platform::FileSource input;
    if (platform::OpenSource(inputName, input) != 0) {
        return Report(kOpenInputFailed, PENDRAX_FLANGER_OPEN_FAILED);
    }
    // The header is read first: an unreadable input creates no output.
    unsigned char header[PENDRAX_WAV_HEADER_BYTES];
    const io::Transfer head = input.Read(header, sizeof header);
    if (head.error != 0) {
        return Report(kReadFailed, PENDRAX_FLANGER_IO_FAILED);
    }
    // Opened without truncating and cut only once known not to be the input
    // (however named) nor another writer's (a recording, the host's flange),
    // so neither is cut short. Devices and pipes have no length to cut.
    platform::FileSink output;
    if (platform::OpenSink(outputName, platform::Existing::kKeep, output) != 0 ||
        platform::SameFile(output.Stream().File(), input.Stream().File()) ||
        (output.Seekable() &&
         (platform::LockForWriting(output.Stream().File()) != 0 || output.Truncate(0) != 0))) {
        return Report(kOpenOutputFailed, PENDRAX_FLANGER_OPEN_FAILED);
    }

    io::PrefixedSource whole(header, head.bytes, input);
    FlangeOptions options;
    options.kernel = kernel;
    const FlangeResult result = Flange(whole, output, options);
    const bool closed = output.Stream().Close() == 0;
    if (result.failed == FailedSide::kOutput || !closed) {
        return Report(kWriteFailed, PENDRAX_FLANGER_IO_FAILED);
    }
    if (result.failed == FailedSide::kInput) {
        return Report(kReadFailed, PENDRAX_FLANGER_IO_FAILED);
    }
    return Report(kSucceeded, PENDRAX_SUCCESS);
}

}  // namespace

int FlangeFileWith(BlockKernel kernel, const PendraxWideChar* inputPath,
                   const PendraxWideChar* outputPath) {
    try {
        return FlangeFile(kernel, inputPath, outputPath);
    } catch (const std::bad_alloc&) {
        // Converting the paths is the only allocation that can throw (the
        // flange's buffers and thread fall back to one chunk at a time); a
        // path too long to convert cannot be opened. No file is open then.
        return Report(kOpenInputFailed, PENDRAX_FLANGER_OPEN_FAILED);
    }
}

}  // namespace pendrax

extern "C" PENDRAX_API int WAVFlanger(const PendraxWideChar* inputPath,
                                      const PendraxWideChar* outputPath) {
    return pendrax::FlangeFileWith(pendrax::ApplyFlanger, inputPath, outputPath);
}
