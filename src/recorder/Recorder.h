// The recorder: captures the default (or a named) audio input, mono 16-bit
// at 8000 samples per second, into a WAV stream on a Sink the caller opened,
// one second at a time.
//
// Two threads per recording. The capture thread reads the system's stream
// into a ring and never waits on the sink; the writer thread pops one-second
// blocks from the ring, writes them and may wait as long as the sink makes
// it. Audio the ring cannot keep (the writer held up longer than the ring
// holds), or that the system itself lost (an overrun, a suspend), becomes
// silence of the same length: the timeline of the file is the timeline of
// the recording, and every such span is counted and told.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "Io.h"
#include "WavHeader.h"
#include "WaveIn.h"

namespace pendrax::recorder {

// How long the writer may be held up before audio is lost: the ring's
// length. Two seconds of it cover the block in progress and the threads
// being scheduled, so a stall of kStallToleranceSeconds loses nothing.
constexpr std::uint32_t kRingSeconds = 32;
constexpr std::uint32_t kStallToleranceSeconds = kRingSeconds - 2;
// How long Stop waits for a write in progress before it returns without it.
constexpr std::uint32_t kStopWaitMilliseconds = 2000;
// A write held up longer than a block is what holds the recording up: the
// capture of a device ahead of real time waits for it no longer, and the
// host tells it.
constexpr std::uint32_t kHeldWriteSeconds =
    wav::kBlockBytes / (wav::kSampleRate * wav::kBytesPerSample);
// The most blocks a recording holds (what the header's sizes describe).
constexpr std::uint32_t kRecordingMaxBlocks = wav::kMaxBlocks;

// How the header is written.
enum class HeaderMode {
    // A header for the blocks so far, written at the start and rewritten
    // after every block, so the file is a valid WAV whenever it is cut
    // short. Needs a Seekable() sink.
    SizesEachBlock,
    // One header with the largest sizes, written once: readers take the
    // samples to the end of the stream (pipes, standard output).
    Streamed,
};

// Why a span of audio was lost: WriterStalled, DeviceOverrun, Suspended,
// DeviceGone.
using LossCause = wavein::LossCause;

// A span the file holds as silence instead of audio.
struct Loss {
    std::uint64_t atFrame = 0;  // where in the recording's timeline it starts
    std::uint64_t frames = 0;   // its length, in samples (8000 a second)
    LossCause cause = LossCause::WriterStalled;
};

// What a recording has done so far.
struct Counts {
    std::uint32_t blocks = 0;      // one-second blocks written to the sink
    std::uint64_t framesLost = 0;  // samples written as silence for losses
    double writeHeldSeconds = 0;   // how long the write in progress has taken; 0 with none
};

// Told what happens, on the recording's writer thread, one call at a time,
// never with a lock of the recorder's held: it may take its own locks and
// print, but should return promptly (the ring fills meanwhile). A Stop it
// calls returns at once with `fromObserver` and stops nothing: the stop
// would wait for the very writer that is telling it.
class Observer {
public:
    virtual ~Observer() = default;
    // A block reached the sink; `counts` includes it, and `samples` are its
    // kSampleRate samples as written.
    virtual void OnBlock(const Counts& /*counts*/, const std::int16_t* /*samples*/) {}
    // A span will be silence, told when the writer reaches it (so after the
    // blocks before it).
    virtual void OnLoss(const Loss& /*loss*/) {}
    // Capture ended by itself (the device or the sound server went away):
    // nothing more will come; what came is written. Stop is still needed.
    virtual void OnDeviceEnd() {}
    // The recording holds its most blocks: nothing more is written. Stop is
    // still needed.
    virtual void OnComplete() {}
    // Writing failed: the sink holds the blocks written (cut back to the
    // last whole one and its header where the sink is seekable), and
    // nothing more is written.
    virtual void OnWriteFailed(io::OsError /*error*/) {}
};

// What Start reports.
enum class StartResult {
    Started,
    DeviceOpenFailed,  // no such device, or it refused the format
    StartFailed,       // it opened but would not start
    WriteFailed,       // the header could not be written (see `error`)
    OutOfResources,    // no memory or no thread
    Busy,              // this Recorder's recording has not been stopped
};

struct StartOutcome {
    StartResult result = StartResult::Started;
    io::OsError error = 0;  // with WriteFailed
    std::string device;     // the name the capture device was (or was to be) opened by
};

struct Options {
    HeaderMode header = HeaderMode::SizesEachBlock;
    // The capture device: empty for the system's default input. On ALSA a
    // PCM name ("default", "hw:1", "null"); Windows takes no names.
    std::string device;
    // Told of the recording's events; may be null. Must outlive the
    // recording's writer (until Stop returns without timedOut).
    Observer* observer = nullptr;
    // The most blocks to write (0 for kRecordingMaxBlocks, also the most
    // taken): the recording is complete after them.
    std::uint32_t maxBlocks = 0;
};

// What Stop reports.
struct StopResult {
    Counts counts;             // what the sink holds
    bool timedOut = false;     // a write was still held up after kStopWaitMilliseconds
    bool deviceEnded = false;  // capture had ended by itself before the stop
    bool complete = false;     // the recording held its most blocks before the stop
    io::OsError writeError = 0;
    bool fromObserver = false;  // called on the writer's thread: nothing was stopped
};

class Session;

// One recording at a time per Recorder. Start and Stop may be called from
// any thread; Current from any thread at any time.
class Recorder {
public:
    Recorder() = default;
    ~Recorder();  // stops a recording still running
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // Writes the header and starts capture. The recorder keeps `sink` until
    // its writer ends. On any result but Started nothing runs, and the sink
    // holds at most the header (a SizesEachBlock one; a Streamed header is
    // written only once capture runs). SizesEachBlock on a sink that is not
    // Seekable() is WriteFailed with error 0.
    StartOutcome Start(std::shared_ptr<io::Sink> sink, const Options& options);

    // Ends capture at once: nothing captured after the call is written. The
    // block in progress is written padded with silence, and a SizesEachBlock
    // header rewritten for the final count. When a write is held up, waits
    // for it kStopWaitMilliseconds at most, then returns with timedOut and
    // the counts on the sink; the writer, once released, finishes that one
    // write (and its header) and ends. Never takes a lock the writer holds
    // across a write. Concurrent Stops all wait for the one stop and return
    // the same result; a Stop with no recording returns zeros.
    StopResult Stop();

    // Whether a recording was started and not yet stopped.
    bool Recording() const;
    // The counts so far (zeros with no recording).
    Counts Current() const;

private:
    mutable std::mutex lock_;  // guards session_ only, never held while waiting
    std::shared_ptr<Session> session_;
};

}  // namespace pendrax::recorder
