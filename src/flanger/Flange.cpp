#include "Flange.h"

#include <condition_variable>
#include <exception>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <thread>

#include "WavHeader.h"

namespace pendrax {
namespace {

static_assert(kKernelSampleRate == wav::kSampleRate, "the kernel runs at the files' rate");

// The largest whole number of oscillator periods that fits in an int32.
constexpr std::uint64_t kOffsetWrap =
    (std::uint64_t{std::numeric_limits<std::int32_t>::max()} / kFlangerPeriod) * kFlangerPeriod;

// The bytes copied before the samples.
constexpr std::size_t kHeaderBytes = wav::kWavHeaderBytes;

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

constexpr auto kBlockSamples = static_cast<std::size_t>(kFlangerBlockSamples);
constexpr auto kChunkSamples = static_cast<std::size_t>(kFlangerChunkSamples);

// Flanges the `count` samples of a chunk that starts at stream position
// `position`, block by block.
void FlangeChunk(BlockKernel kernel, std::int16_t* samples, std::size_t count,
                 std::uint64_t position) {
    for (std::size_t start = 0; start < count; start += kBlockSamples) {
        std::int16_t* const block = samples + start;
        const std::size_t length = count - start < kBlockSamples ? count - start : kBlockSamples;
        ToHostOrder(block, length);
        kernel(block, static_cast<std::int32_t>(length), kFlangerRate, kFlangerDepth,
               kFlangerMaxDelaySeconds, KernelOffset(position + start));
        ToHostOrder(block, length);
    }
}

// Flanges one chunk on a thread of its own while the caller writes the one
// before and reads the one after: the system calls and the kernel then run
// on two cores at once. Blocks are independent, so the output is the same.
// Destroying it ends the thread once any chunk it is flanging is done; it
// goes before the buffers do.
class ChunkWorker {
public:
    explicit ChunkWorker(BlockKernel kernel) : kernel_(kernel), thread_([this] { Run(); }) {}
    ChunkWorker(const ChunkWorker&) = delete;
    ChunkWorker& operator=(const ChunkWorker&) = delete;
    ~ChunkWorker() {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            quit_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }

    void Submit(std::int16_t* samples, std::size_t count, std::uint64_t position) {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            samples_ = samples;
            count_ = count;
            position_ = position;
            busy_ = true;
        }
        changed_.notify_all();
    }

    // Until the chunk submitted last is flanged.
    void Wait() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return !busy_; });
    }

private:
    void Run() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            changed_.wait(lock, [this] { return busy_ || quit_; });
            if (quit_) {
                return;
            }
            lock.unlock();
            FlangeChunk(kernel_, samples_, count_, position_);
            lock.lock();
            busy_ = false;
            changed_.notify_all();
        }
    }

    const BlockKernel kernel_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::int16_t* samples_ = nullptr;
    std::size_t count_ = 0;
    std::uint64_t position_ = 0;
    bool busy_ = false;
    bool quit_ = false;
    std::thread thread_;  // last: starts once the rest is ready
};

// One flange's streams and what they have done so far.
struct Run {
    io::Source& input;
    io::Sink& output;
    const FlangeOptions& options;
    FlangeResult result;
};

// Reads up to `capacity` samples; the source gathers short reads (a pipe)
// until the chunk is full, the input ends or fails, and a trailing odd byte
// is dropped.
std::size_t ReadChunk(Run& run, std::int16_t* samples, std::size_t capacity) {
    const io::Transfer got = run.input.Read(samples, capacity * sizeof samples[0]);
    run.result.bytesRead += got.bytes;
    if (got.error != 0) {
        run.result.failed = FailedSide::kInput;
        run.result.error = got.error;
    }
    return got.bytes / sizeof samples[0];
}

bool WriteBytes(Run& run, const void* bytes, std::size_t size) {
    const io::Transfer put = run.output.Write(bytes, size);
    run.result.bytesWritten += put.bytes;
    if (put.bytes < size) {
        run.result.failed = FailedSide::kOutput;
        run.result.error = put.error;
        return false;
    }
    return true;
}

bool WriteChunk(Run& run, const std::int16_t* samples, std::size_t count) {
    return WriteBytes(run, samples, count * sizeof samples[0]);
}

// Every chunk is read, flanged and written in order, up to the first short
// read (the input ended or failed) or failed write; what reaches the output
// is the same whether a worker flanges or not.
void FlangeSamples(Run& run) {
    const BlockKernel kernel = run.options.kernel;
    // Two chunks when the memory and a thread are there; one chunk, or one
    // block at a time, still works without them.
    std::unique_ptr<std::int16_t[]> chunks(new (std::nothrow) std::int16_t[2 * kChunkSamples]);
    std::int16_t oneBlock[kFlangerBlockSamples];
    std::int16_t* samples = chunks != nullptr ? chunks.get() : oneBlock;
    const std::size_t capacity = chunks != nullptr ? kChunkSamples : kBlockSamples;

    std::uint64_t position = 0;
    std::size_t got = ReadChunk(run, samples, capacity);
    std::optional<ChunkWorker> worker;
    if (got == capacity && chunks != nullptr) {
        try {
            worker.emplace(kernel);  // only an input that fills its first chunk gets one
        } catch (const std::exception&) {
            // No thread (or no memory for one): this thread flanges every chunk itself.
            worker.reset();
        }
    }
    if (!worker) {
        for (; got > 0; got = ReadChunk(run, samples, capacity)) {
            FlangeChunk(kernel, samples, got, position);
            position += got;
            if (!WriteChunk(run, samples, got) || got < capacity) {
                return;  // the input ended, or could not be read or written further
            }
        }
        return;
    }

    std::int16_t* next = samples + kChunkSamples;
    worker->Submit(samples, got, position);
    for (;;) {
        // While the worker flanges this chunk, the next one is read.
        const std::size_t nextGot = got == capacity ? ReadChunk(run, next, capacity) : 0;
        worker->Wait();
        if (nextGot > 0) {
            worker->Submit(next, nextGot, position + got);
        }
        if (!WriteChunk(run, samples, got) || nextGot == 0) {
            return;  // a chunk still with the worker is never written
        }
        position += got;
        std::swap(samples, next);
        got = nextGot;
    }
}

}  // namespace

std::int32_t KernelOffset(std::uint64_t position) {
    if (position <= std::uint64_t{std::numeric_limits<std::int32_t>::max()}) {
        return static_cast<std::int32_t>(position);
    }
    return static_cast<std::int32_t>(position % kOffsetWrap);
}

FlangeResult Flange(io::Source& input, io::Sink& output, const FlangeOptions& options) {
    Run run{input, output, options, {}};
    // Cleared first: an input shorter than the header gives its bytes and zeros.
    unsigned char header[kHeaderBytes] = {};
    const io::Transfer got = input.Read(header, sizeof header);
    run.result.bytesRead = got.bytes;
    if (got.error != 0) {
        run.result.failed = FailedSide::kInput;  // nothing readable: nothing written
        run.result.error = got.error;
        return run.result;
    }
    if (WriteBytes(run, header, sizeof header) && got.bytes == sizeof header) {
        FlangeSamples(run);
    }
    return run.result;
}

}  // namespace pendrax
