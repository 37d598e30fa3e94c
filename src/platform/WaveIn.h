// What a system's capture backend gives the recorder: a device opened and
// started on the caller's thread, then waited on and drained by the
// recorder's one run loop on its capture thread, which alone touches it
// until it is destroyed. Backends: posix/WaveInAlsa.cpp, win32/WaveInWinmm.cpp,
// and fake/FakeWaveIn.cpp for the recorder's tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace pendrax::wavein {

// Why a span of audio was lost.
enum class LossCause {
    WriterStalled,  // the ring was full: the sink was held up too long
    DeviceOverrun,  // the system's own buffer overflowed
    Suspended,      // the system was suspended
    DeviceGone,     // the device went away, or did not give its audio back
};

// Where a device puts what it captured, in order.
class CaptureSink {
public:
    virtual ~CaptureSink() = default;
    // Mono 16-bit little-endian samples, `frames` of them.
    virtual void Push(const void* samples, std::size_t frames) = 0;
    // `frames` samples the system lost here, in the timeline's order.
    virtual void Lose(std::uint64_t frames, LossCause cause) = 0;
};

enum class OpenResult { Opened, NoDevice, BadFormat, NoMemory };

// What a drain found.
enum class Drained {
    Audio,    // some audio
    Idle,     // nothing yet, nothing wrong
    NoAudio,  // the system woke us, handed buffers back or ran again after
              // an overrun, yet gave no audio
    Broken,   // an error the system cannot go on from
};

// The device is gone after a Broken drain, or this many NoAudio ones in a
// row: twenty wake-ups with nothing in them. That is at once where the
// system keeps waking the thread (ALSA's descriptors reporting an error, a
// driver handing buffers straight back), about ten seconds where winmm
// hands back its two buffers a second empty.
constexpr int kNoAudioDrainsForGone = 20;

class Device {
public:
    Device() = default;
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;
    // Stops the system's stream if it runs and gives back all it set up.
    virtual ~Device() = default;

    // Opens `name` (empty: the default input) for mono 16-bit at `rate`.
    virtual OpenResult Open(const std::string& name, unsigned rate) = 0;
    virtual bool Start() = 0;
    // Until audio may have arrived, or Wake.
    virtual void Wait() = 0;
    // Any thread: Wait, and any wait inside Drain, return soon.
    virtual void Wake() = 0;
    // Moves what the system holds now into `sink`, and what it lost.
    virtual Drained Drain(CaptureSink& sink) = 0;
    // Ends the stream, moving into `sink` what the system still holds
    // (synced with the hardware), bounded in time.
    virtual void Finish(CaptureSink& sink) = 0;
};

// The name Open is given for the device a caller asked for (`given`; empty
// for none): decided here alone. On ALSA: `given`, else
// $PENDRAX_CAPTURE_DEVICE, else "default". Windows takes no names: `given`.
std::string DeviceName(const std::string& given);

// The system's device, not yet opened; null without memory.
std::unique_ptr<Device> NewDevice();

}  // namespace pendrax::wavein
