// Flanging from a Source to a Sink: the first 44 bytes (the header) are
// copied, everything after them is taken for mono signed 16-bit
// little-endian samples and flanged in 1024-sample blocks; a trailing odd
// byte is dropped.
#pragma once

#include <cstdint>

#include "FlangerKernel.h"
#include "Io.h"

namespace pendrax {

constexpr int kFlangerBlockSamples = 1024;

// The input is read and written in chunks of whole blocks, straight into
// and out of a working buffer: 256 blocks (512 KiB) make a few hundred
// system calls per hour of audio on the platform's unbuffered streams, and
// no byte is copied through a buffer on the way. (The Wine suite's build
// reads both numbers from this file.)
constexpr int kFlangerChunkBlocks = 256;
constexpr int kFlangerChunkSamples = kFlangerChunkBlocks * kFlangerBlockSamples;

// The offset handed to the kernel for a block that starts at stream
// position `position`. Up to 2^31 - 1 it is the position itself; beyond, it
// is the position reduced by whole oscillator periods, so the sweep goes on
// without a jump and the kernel's 32-bit offset never overflows.
std::int32_t KernelOffset(std::uint64_t position);

// A block kernel with ApplyFlanger's arguments.
using BlockKernel = void (*)(std::int16_t* samples, std::int32_t count, float rate, float depth,
                             float maxDelaySeconds, std::int32_t sampleOffset);

// Which side of a flange failed.
enum class FailedSide { kNone, kInput, kOutput };

struct FlangeResult {
    FailedSide failed = FailedSide::kNone;
    io::OsError error = 0;           // the system's reason, with a failed side
    std::uint64_t bytesRead = 0;     // from the input, the header's included
    std::uint64_t bytesWritten = 0;  // to the output, the header's included
};

struct FlangeOptions {
    BlockKernel kernel = ApplyFlanger;
};

// Reads `input` to its end and writes the flanged stream to `output`. The
// header is always 44 bytes: an input shorter than that gives its bytes and
// zeros, and nothing more is read. Stops at the first failure, when the
// output holds everything flanged before it; a write failure is reported
// over a read failure in the same chunk. Flanging runs on a second thread
// while this one reads and writes, when a thread is to be had.
FlangeResult Flange(io::Source& input, io::Sink& output, const FlangeOptions& options = {});

}  // namespace pendrax
