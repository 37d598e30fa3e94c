// What every wave-in service shares, whatever system is beneath it: the
// shared steps of opening a device, the application's queue of buffers, a
// ring of captured audio, the commands the API functions hand to the
// system's side, and the hand-back of buffers through the callback.
//
// Each device runs two threads of its own:
// - the capture thread (the backend's Run) alone talks to the system's
//   stream, carries out commands there, and moves what arrives into the
//   ring (Capture), so the system is read on time whatever the callback does;
// - the delivery thread moves the ring into the application's queued
//   buffers and calls the application's callback, which may queue buffers,
//   write files and take locks there, and may stall for 30 s without a
//   sample lost.
// Audio that finds the ring full is skipped, never filled in: what the
// application receives is then shorter than the time elapsed.
//
// A new backend derives from Device and implements, on the capture thread
// unless said otherwise:
// - OpenStream (on the caller's thread, at open) and CloseStream, a pair:
//   every system resource it sets up, it gives back;
// - StartStream and EndStream: start the system's stream, and end it after
//   capturing what the system still holds;
// - Wake (any thread): wake Run from its wait;
// - Run: carry out commands (CarryOutCommand) and capture, until Closed().
// and a waveInOpen that hands a new device to OpenDevice.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <thread>

#include "WaveIn.h"

namespace pendrax::wavein {

enum class Command { None, Start, Stop, Reset, Close };

struct Device {
    Device() = default;
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;
    virtual ~Device() = default;

    // The API side, in the meanings of the wave-in functions of those names.
    MMRESULT Prepare(WAVEHDR* header, UINT headerSize);
    MMRESULT Unprepare(WAVEHDR* header, UINT headerSize);
    MMRESULT Add(WAVEHDR* header, UINT headerSize);
    // waveInStart, waveInStop, waveInReset.
    MMRESULT Send(Command command);
    // waveInClose: on success the device is gone.
    MMRESULT Close();

    // The shared steps of waveInOpen for a device of any backend.
    friend MMRESULT OpenDevice(Device* opened, HWAVEIN* device, UINT deviceId,
                               const WAVEFORMATEX* format, DWORD_PTR callback, DWORD_PTR instance,
                               DWORD flags);

protected:
    // The capture thread's side.
    // Appends audio to the ring; what does not fit is skipped.
    void Capture(const char* bytes, std::size_t count);
    // Carries out the command waiting, if any; false when there was none.
    bool CarryOutCommand();
    // Whether Close has been carried out: Run then returns.
    bool Closed() const { return closed_; }
    bool Capturing() const { return capturing_; }
    // The stream cannot go on (the device went away): what was captured is
    // delivered, the buffer in progress goes back with what it holds, and
    // Run waits for commands only.
    void CaptureEnded();

    // What each system does.
    virtual MMRESULT OpenStream(UINT deviceId, const WAVEFORMATEX& format) = 0;
    virtual bool StartStream() = 0;
    virtual void EndStream() = 0;
    virtual void CloseStream() = 0;
    virtual void Wake() = 0;
    virtual void Run() = 0;

private:
    static constexpr int kMaxQueued = 16;
    // 30 s of stall, and 2 s for the block in progress and the threads to be scheduled.
    static constexpr std::size_t kRingSeconds = 32;

    void Notify(UINT message, WAVEHDR* header);
    // Takes the front of the queue, marked done; with the lock held.
    WAVEHDR* TakeFront();
    MMRESULT Execute(Command command);
    void EndCapture();
    // Asks the delivery thread to deliver the ring, then hand back the
    // buffer in progress (every queued buffer when `all`), and drop what is
    // left; waits for it unless called from the callback.
    void Flush(bool all);
    void DeliverLoop();
    bool OnDeliveryThread() const { return std::this_thread::get_id() == delivery_.get_id(); }

    WaveInCallback callback_ = nullptr;
    DWORD_PTR instance_ = 0;
    std::thread capture_;
    std::thread delivery_;

    std::mutex lock_;
    std::condition_variable changed_;  // commands and flushes carried out
    std::condition_variable work_;     // the delivery thread's wake-up
    WAVEHDR* queue_[kMaxQueued] = {};
    int queueHead_ = 0;
    int queueCount_ = 0;
    std::unique_ptr<char[]> ring_;
    std::size_t ringSize_ = 0;
    std::size_t ringHead_ = 0;
    std::size_t ringCount_ = 0;
    Command command_ = Command::None;
    MMRESULT commandResult_ = MMSYSERR_NOERROR;
    int flushWanted_ = 0;  // 0, 1: the buffer in progress, 2: every buffer
    unsigned flushesDone_ = 0;
    bool flushing_ = false;
    bool quit_ = false;
    bool capturing_ = false;  // the capture thread's alone
    bool closed_ = false;     // the capture thread's alone
};

MMRESULT OpenDevice(Device* opened, HWAVEIN* device, UINT deviceId, const WAVEFORMATEX* format,
                    DWORD_PTR callback, DWORD_PTR instance, DWORD flags);

}  // namespace pendrax::wavein
