// What every wave-in service shares, whatever system is beneath it: the
// application's queue of buffers, the commands the API functions hand to
// the service thread, the hand-back of buffers through the callback, and
// every wave-in function but waveInOpen, which each service defines to make
// its own kind of Device.
//
// Each service runs one thread of its own. It alone talks to the system's
// stream and calls the application's callback, so the callback may queue
// buffers, write files and take locks. The API functions hand it commands
// and wait until it has carried them out; called from inside the callback
// (on that thread), a command is carried out at once.
#pragma once

#include <condition_variable>
#include <cstddef>
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

    // Where WIM_* messages go, as waveInOpen was given them: a WaveInCallback
    // with CALLBACK_FUNCTION, nowhere otherwise. The callback receives this device.
    void SetCallback(DWORD_PTR callback, DWORD flags, DWORD_PTR instance);
    void Notify(UINT message, WAVEHDR* header);

    // The API side, in the meanings of the wave-in functions of those names.
    MMRESULT Prepare(WAVEHDR* header, UINT headerSize);
    MMRESULT Unprepare(WAVEHDR* header, UINT headerSize);
    MMRESULT Add(WAVEHDR* header, UINT headerSize);
    bool AnyQueued();
    // Hands a command to the service thread and waits until it is carried out.
    MMRESULT Send(Command command);
    // Starts the service thread on Run(); false when it cannot be started.
    bool StartThread();
    void JoinThread();

protected:
    // The service thread's side.
    // Copies `count` bytes of audio into the queued buffers in order, handing
    // each back once full; the callback may queue it again at once, and the
    // copy goes on into it. Returns the bytes taken: fewer than `count` only
    // when no buffer is left queued.
    std::size_t Deliver(const char* bytes, std::size_t count);
    // Free bytes in the buffers queued now.
    std::size_t Room();
    // Hands back the buffer in progress with what it holds, if one is queued.
    void HandBackFront();
    // Hands back every queued buffer.
    void HandBackAll();
    // Carries out the command waiting, if any; false when there was none.
    bool CarryOutCommand();
    // Whether Close has been carried out: the thread then returns.
    bool Closed() const { return closed_; }
    bool Capturing() const { return capturing_; }
    // The stream cannot go on (the device went away): the buffer in progress
    // goes back with what it holds, and the thread waits for commands only.
    void CaptureEnded();

    // What each system does, on the service thread.
    // Starts the system's stream; false when it does not start.
    virtual bool StartStream() = 0;
    // Delivers what the system still holds, then ends its stream.
    virtual void EndStream() = 0;
    // Gives the device back to the system.
    virtual MMRESULT CloseStream() = 0;
    // Wakes the service thread from its wait for audio.
    virtual void Wake() = 0;
    // The service thread's body; returns once Closed().
    virtual void Run() = 0;

private:
    static constexpr int kMaxQueued = 16;

    WAVEHDR* TakeFront();
    MMRESULT Execute(Command command);

    WaveInCallback callback_ = nullptr;
    DWORD_PTR instance_ = 0;
    std::thread thread_;

    std::mutex lock_;
    std::condition_variable changed_;
    WAVEHDR* queue_[kMaxQueued] = {};
    int queueHead_ = 0;
    int queueCount_ = 0;
    Command command_ = Command::None;
    MMRESULT commandResult_ = MMSYSERR_NOERROR;
    bool capturing_ = false;  // the service thread's alone
    bool closed_ = false;     // the service thread's alone
};

}  // namespace pendrax::wavein
