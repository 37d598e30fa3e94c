// The wave-in service over winmm.
//
// Windows' documentation of the wave-in callback (desktop and CE alike)
// allows only a handful of calls inside it (EnterCriticalSection, SetEvent,
// PostMessage and the like) and warns that calling other wave functions
// there deadlocks. So winmm is opened with CALLBACK_EVENT: all it does is
// signal an event, and no code of ours runs in its context. The service
// thread waits on that event, moves what the driver recorded into the
// application's buffers, queues the driver buffer again, and calls the
// application's callback, where queuing and file writes are allowed.
//
// Many short driver buffers stay queued at all times, so the driver always
// has one to fill while the service thread is busy, and the application's
// buffers follow one another without a gap.
#include <windows.h>
#include <mmsystem.h>

#include <memory>
#include <new>

#include "WaveInService.h"

namespace pendrax::wavein {
namespace {

// 20 buffers of a tenth of a second: two seconds for the application's
// callback to take (a slow write) before the driver runs out.
constexpr int kDriverBuffers = 20;
constexpr DWORD kDriverBuffersPerSecond = 10;
// How long a stop waits for the driver to hand its buffers back.
constexpr DWORD kHandBackWaitMilliseconds = 200;
constexpr DWORD kHandBackPollMilliseconds = 10;

}  // namespace

struct WinmmDevice final : Device {
    ::HWAVEIN system = nullptr;
    HANDLE ready = nullptr;  // signalled by winmm whenever a driver buffer is done
    HANDLE wake = nullptr;   // commands, and buffers the application queued
    std::unique_ptr<char[]> memory;
    WAVEHDR driver[kDriverBuffers] = {};
    bool inDriver[kDriverBuffers] = {};  // queued with winmm and not yet taken back
    int next = 0;                        // the driver buffer that completes next
    DWORD nextOffset = 0;                // bytes of it already delivered

    ~WinmmDevice() override {
        if (ready != nullptr) {
            CloseHandle(ready);
        }
        if (wake != nullptr) {
            CloseHandle(wake);
        }
    }

    void Wake() override { SetEvent(wake); }

    // winmm sets the flag on its own thread before it signals the event.
    bool Done(int index) {
        MemoryBarrier();
        return (static_cast<volatile DWORD&>(driver[index].dwFlags) & WHDR_DONE) != 0;
    }

    bool QueueDriverBuffer(int index) {
        inDriver[index] =
            ::waveInAddBuffer(system, &driver[index], sizeof(WAVEHDR)) == MMSYSERR_NOERROR;
        return inDriver[index];
    }

    // Moves the driver buffers winmm has finished, in order, into the
    // application's buffers, and hands each back to winmm when `requeue`.
    // Stops early when the application has no room: the rest waits.
    // False when winmm refused a buffer: the device is gone.
    bool Drain(bool requeue) {
        while (inDriver[next] && Done(next)) {
            WAVEHDR& buffer = driver[next];
            const DWORD recorded = buffer.dwBytesRecorded;
            nextOffset +=
                static_cast<DWORD>(Deliver(buffer.lpData + nextOffset, recorded - nextOffset));
            if (nextOffset < recorded) {
                return true;
            }
            inDriver[next] = false;
            nextOffset = 0;
            if (requeue && !QueueDriverBuffer(next)) {
                return false;
            }
            next = (next + 1) % kDriverBuffers;
        }
        return true;
    }

    // Takes every driver buffer back (winmm marks them done) and delivers
    // what they hold.
    void TakeBackAll() {
        // A stop hands back the buffer being filled with what it holds; the
        // reset then returns the empty ones.
        ::waveInStop(system);
        ::waveInReset(system);
        for (DWORD waited = 0; waited < kHandBackWaitMilliseconds;
             waited += kHandBackPollMilliseconds) {
            bool all = true;
            for (int k = 0; k < kDriverBuffers; ++k) {
                all = all && (!inDriver[k] || Done(k));
            }
            if (all) {
                break;
            }
            WaitForSingleObject(ready, kHandBackPollMilliseconds);
        }
        Drain(false);
        // What did not fit, or never came back, is dropped with the stream.
        for (bool& queued : inDriver) {
            queued = false;
        }
        next = 0;
        nextOffset = 0;
    }

    bool StartStream() override {
        for (int k = 0; k < kDriverBuffers; ++k) {
            if (!QueueDriverBuffer(k)) {
                TakeBackAll();
                return false;
            }
        }
        if (::waveInStart(system) != MMSYSERR_NOERROR) {
            TakeBackAll();
            return false;
        }
        return true;
    }

    void EndStream() override { TakeBackAll(); }

    MMRESULT CloseStream() override {
        for (WAVEHDR& buffer : driver) {
            ::waveInUnprepareHeader(system, &buffer, sizeof(WAVEHDR));
        }
        return ::waveInClose(system);
    }

    void Run() override {
        const HANDLE handles[] = {wake, ready};
        for (;;) {
            if (CarryOutCommand()) {
                if (Closed()) {
                    return;
                }
                continue;
            }
            const DWORD woken = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
            if (Capturing() && (woken == WAIT_FAILED || !Drain(true))) {
                CaptureEnded();
            }
        }
    }
};

MMRESULT waveInOpen(HWAVEIN* device, UINT deviceId, const WAVEFORMATEX* format, DWORD_PTR callback,
                    DWORD_PTR instance, DWORD flags) {
    if (device == nullptr || format == nullptr || format->nBlockAlign == 0) {
        return MMSYSERR_INVALPARAM;
    }
    if (flags != CALLBACK_FUNCTION && flags != 0) {
        return MMSYSERR_INVALFLAG;
    }
    std::unique_ptr<WinmmDevice> opened(new (std::nothrow) WinmmDevice);
    if (opened == nullptr) {
        return MMSYSERR_NOMEM;
    }
    opened->ready = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    opened->wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    DWORD bufferBytes = format->nAvgBytesPerSec / kDriverBuffersPerSecond;
    bufferBytes -= bufferBytes % format->nBlockAlign;
    if (bufferBytes == 0) {
        bufferBytes = format->nBlockAlign;
    }
    opened->memory.reset(new (std::nothrow) char[bufferBytes * kDriverBuffers]);
    if (opened->ready == nullptr || opened->wake == nullptr || opened->memory == nullptr) {
        return MMSYSERR_NOMEM;
    }
    const MMRESULT result =
        ::waveInOpen(&opened->system, deviceId, format, reinterpret_cast<DWORD_PTR>(opened->ready),
                     0, CALLBACK_EVENT);
    if (result != MMSYSERR_NOERROR) {
        return result;
    }
    for (int k = 0; k < kDriverBuffers; ++k) {
        WAVEHDR& buffer = opened->driver[k];
        buffer.lpData = opened->memory.get() + static_cast<std::size_t>(k) * bufferBytes;
        buffer.dwBufferLength = bufferBytes;
        if (::waveInPrepareHeader(opened->system, &buffer, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
            ::waveInClose(opened->system);
            return MMSYSERR_NOMEM;
        }
    }
    opened->SetCallback(callback, flags, instance);
    if (!opened->StartThread()) {
        opened->CloseStream();
        return MMSYSERR_NOMEM;
    }
    *device = opened.release();
    (*device)->Notify(WIM_OPEN, nullptr);
    return MMSYSERR_NOERROR;
}

}  // namespace pendrax::wavein
