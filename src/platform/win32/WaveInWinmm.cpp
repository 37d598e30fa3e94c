// The wave-in service over winmm.
//
// Windows' documentation of the wave-in callback (desktop and CE alike)
// allows only a handful of calls inside it (EnterCriticalSection, SetEvent,
// PostMessage and the like) and warns that calling other wave functions
// there deadlocks. So winmm is opened with CALLBACK_EVENT: all it does is
// signal an event, and no code of ours runs in its context. The capture
// thread waits on that event, moves what the driver recorded into the
// service's ring and queues the driver buffer again; the application's
// callback runs on the delivery thread, where queuing and file writes are
// allowed.
//
// Many short driver buffers stay queued at all times, so the driver always
// has one to fill while the capture thread is busy.
#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <memory>
#include <new>

#include "WaveInService.h"

namespace pendrax::wavein {
namespace {

// 20 buffers of a tenth of a second: two seconds for the capture thread to
// be kept from running before the driver runs out.
constexpr int kDriverBuffers = 20;
constexpr DWORD kDriverBuffersPerSecond = 10;
// How long a stop or a close waits for the driver to hand its buffers back
// after a reset, which documents that it returns them all.
constexpr DWORD kHandBackWaitMilliseconds = 250;
constexpr DWORD kHandBackPollMilliseconds = 10;

// What winmm may touch while its device is open: the device handle, the
// event it signals, the driver buffers and their headers. When winmm
// refuses to close even after a reset and a wait, it may still write these,
// so they stay allocated, and only they, for the life of the process.
struct DriverSide {
    DriverSide* nextLeft = nullptr;  // the chain of those left to their drivers
    ::HWAVEIN system = nullptr;
    HANDLE ready = nullptr;  // signalled by winmm whenever a driver buffer is done
    WAVEHDR driver[kDriverBuffers] = {};
    std::unique_ptr<char[]> memory;
};

// Driver sides left to drivers that refused to close, kept in reach.
std::atomic<DriverSide*> leftToDrivers{nullptr};

void LeaveToDriver(DriverSide* side) {
    side->nextLeft = leftToDrivers.load();
    while (!leftToDrivers.compare_exchange_weak(side->nextLeft, side)) {
    }
}

}  // namespace

class WinmmDevice final : public Device {
    std::unique_ptr<DriverSide> side;
    HANDLE wake = nullptr;               // commands
    bool inDriver[kDriverBuffers] = {};  // queued with winmm and not yet taken back
    int next = 0;                        // the driver buffer that completes next
    int emptyInARow = 0;                 // driver buffers handed back empty, in a row

    void Wake() override { SetEvent(wake); }

    // winmm sets the flag on its own thread, after the bytes recorded; the
    // acquiring load sees those with it.
    bool Done(int index) {
        return (__atomic_load_n(&side->driver[index].dwFlags, __ATOMIC_ACQUIRE) & WHDR_DONE) != 0;
    }

    bool QueueDriverBuffer(int index) {
        inDriver[index] = ::waveInAddBuffer(side->system, &side->driver[index], sizeof(WAVEHDR)) ==
                          MMSYSERR_NOERROR;
        return inDriver[index];
    }

    // Captures a driver buffer winmm has finished.
    void TakeBack(int index) {
        const WAVEHDR& buffer = side->driver[index];
        const DWORD recorded = buffer.dwBytesRecorded < buffer.dwBufferLength
                                   ? buffer.dwBytesRecorded
                                   : buffer.dwBufferLength;
        Capture(buffer.lpData, recorded);
        emptyInARow = recorded == 0 ? emptyInARow + 1 : 0;
        inDriver[index] = false;
    }

    // Captures the driver buffers winmm has finished, in order, and queues
    // each again. One round of the buffers at most, so commands are never
    // kept waiting. False when the device is gone: winmm refused a buffer
    // (every finished one is still captured), or handed back a whole round
    // empty, which no working driver does while capturing.
    bool Drain() {
        bool alive = true;
        for (int n = 0; n < kDriverBuffers && inDriver[next] && Done(next); ++n) {
            const int index = next;
            TakeBack(index);
            next = (next + 1) % kDriverBuffers;
            alive = alive && QueueDriverBuffer(index);
        }
        return alive && emptyInARow < kDriverBuffers;
    }

    // Waits, bounded, until winmm has handed back every buffer it holds.
    bool WaitForAllBack() {
        for (DWORD waited = 0;; waited += kHandBackPollMilliseconds) {
            bool all = true;
            for (int k = 0; k < kDriverBuffers; ++k) {
                all = all && (!inDriver[k] || Done(k));
            }
            if (all || waited >= kHandBackWaitMilliseconds) {
                return all;
            }
            WaitForSingleObject(side->ready, kHandBackPollMilliseconds);
        }
    }

    bool StartStream() override {
        next = 0;
        emptyInARow = 0;
        for (int k = 0; k < kDriverBuffers; ++k) {
            if (!QueueDriverBuffer(k)) {
                EndStream();
                return false;
            }
        }
        if (::waveInStart(side->system) != MMSYSERR_NOERROR) {
            EndStream();
            return false;
        }
        return true;
    }

    // A stop hands back the buffer being filled with what it holds; the
    // reset then returns the others. Every buffer back is captured, in
    // order; one the driver keeps is waited for again at the close.
    void EndStream() override {
        ::waveInStop(side->system);
        ::waveInReset(side->system);
        WaitForAllBack();
        for (int n = 0; n < kDriverBuffers; ++n) {
            const int index = (next + n) % kDriverBuffers;
            if (inDriver[index] && Done(index)) {
                TakeBack(index);
            }
        }
        next = 0;
    }

    void UnprepareAll() {
        for (WAVEHDR& buffer : side->driver) {
            if (buffer.dwFlags & WHDR_PREPARED) {
                ::waveInUnprepareHeader(side->system, &buffer, sizeof(WAVEHDR));
            }
        }
    }

    MMRESULT OpenStream(UINT deviceId, const WAVEFORMATEX& format) override {
        DWORD bufferBytes = format.nAvgBytesPerSec / kDriverBuffersPerSecond;
        bufferBytes -= bufferBytes % format.nBlockAlign;
        if (bufferBytes == 0) {
            bufferBytes = format.nBlockAlign;
        }
        side.reset(new (std::nothrow) DriverSide);
        if (side != nullptr) {
            side->memory.reset(
                new (std::nothrow) char[static_cast<std::size_t>(bufferBytes) * kDriverBuffers]);
            side->ready = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        }
        wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        MMRESULT result = MMSYSERR_NOMEM;
        if (side != nullptr && side->memory != nullptr && side->ready != nullptr &&
            wake != nullptr) {
            result = ::waveInOpen(&side->system, deviceId, &format,
                                  reinterpret_cast<DWORD_PTR>(side->ready), 0, CALLBACK_EVENT);
            if (result != MMSYSERR_NOERROR) {
                side->system = nullptr;
            }
        }
        for (int k = 0; result == MMSYSERR_NOERROR && k < kDriverBuffers; ++k) {
            WAVEHDR& buffer = side->driver[k];
            buffer.lpData = side->memory.get() + static_cast<std::size_t>(k) * bufferBytes;
            buffer.dwBufferLength = bufferBytes;
            if (::waveInPrepareHeader(side->system, &buffer, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
                result = MMSYSERR_NOMEM;
            }
        }
        if (result != MMSYSERR_NOERROR) {
            CloseStream();
        }
        return result;
    }

    // A driver still holding a buffer refuses the close (WAVERR_STILLPLAYING):
    // a reset hands it back, given time. If it still refuses, its handle and
    // the driver side are left as they are, since it may yet write them.
    void CloseStream() override {
        if (side != nullptr && side->system != nullptr) {
            UnprepareAll();
            MMRESULT result = ::waveInClose(side->system);
            if (result == WAVERR_STILLPLAYING) {
                ::waveInReset(side->system);
                WaitForAllBack();
                UnprepareAll();
                result = ::waveInClose(side->system);
            }
            if (result != MMSYSERR_NOERROR) {
                LeaveToDriver(side.release());
            }
        }
        if (side != nullptr && side->ready != nullptr) {
            CloseHandle(side->ready);
        }
        side.reset();
        if (wake != nullptr) {
            CloseHandle(wake);
            wake = nullptr;
        }
    }

    void Run() override {
        const HANDLE handles[] = {wake, side->ready};
        for (;;) {
            if (CarryOutCommand()) {
                if (Closed()) {
                    return;
                }
                continue;
            }
            const DWORD woken = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
            if (Capturing() && (woken == WAIT_FAILED || !Drain())) {
                CaptureEnded();
            }
        }
    }
};

MMRESULT waveInOpen(HWAVEIN* device, UINT deviceId, const WAVEFORMATEX* format, DWORD_PTR callback,
                    DWORD_PTR instance, DWORD flags) {
    return OpenDevice(new (std::nothrow) WinmmDevice, device, deviceId, format, callback, instance,
                      flags);
}

}  // namespace pendrax::wavein
