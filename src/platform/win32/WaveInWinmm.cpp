// Capture over winmm.
//
// Windows' documentation of the wave-in callback (desktop and CE alike)
// allows only a handful of calls inside it (EnterCriticalSection, SetEvent,
// PostMessage and the like) and warns that calling other wave functions
// there deadlocks; Wine is more forgiving. So winmm is opened with
// CALLBACK_EVENT: all it does is signal an event, and no code of ours runs
// in its context. The recorder's capture thread waits on that event, moves
// each finished driver buffer straight into the recorder's ring and queues
// it again. A few half-second buffers stay queued, so the driver always has
// one to fill while the thread is busy, and the thread wakes twice a second.
//
// The end follows winmm's documented order: stop (the buffer being filled
// comes back with what it holds), reset (the others come back), unprepare,
// close.
#include <windows.h>
#include <mmsystem.h>

#include <memory>
#include <new>

#include "WaveIn.h"

namespace pendrax::wavein {
namespace {

// 4 buffers of half a second: two seconds for the capture thread to be kept
// from running before the driver runs out. A stop loses nothing to their
// length (the one being filled comes back with what it holds); only one the
// driver keeps past the stop's wait is told as lost, for its half second.
constexpr int kDriverBuffers = 4;
constexpr DWORD kDriverBuffersPerSecond = 2;
// How long the end waits for the driver to hand its buffers back after a
// reset, which documents that it returns them all.
constexpr DWORD kHandBackWaitMilliseconds = 500;
constexpr DWORD kHandBackPollMilliseconds = 10;

// What winmm may touch while its device is open: the handle, the event it
// signals, the buffers and their headers. When winmm refuses to close even
// after a reset and a wait, it may still write these, so they stay
// allocated, and only they, for the life of the process.
struct DriverSide {
    ::HWAVEIN system = nullptr;
    HANDLE ready = nullptr;  // signalled by winmm whenever a buffer is done
    WAVEHDR driver[kDriverBuffers] = {};
    std::unique_ptr<char[]> memory;
};

class WinmmDevice final : public Device {
public:
    ~WinmmDevice() override {
        if (side_ != nullptr && side_->system != nullptr) {
            // After Finish, or a start that failed with buffers queued.
            ::waveInReset(side_->system);
            WaitForAllBack();
            UnprepareAll();
            if (::waveInClose(side_->system) != MMSYSERR_NOERROR) {
                (void)side_.release();  // left to the driver
            }
        }
        if (side_ != nullptr && side_->ready != nullptr) {
            CloseHandle(side_->ready);
        }
        if (wake_ != nullptr) {
            CloseHandle(wake_);
        }
    }

    OpenResult Open(const std::string&, unsigned rate) override {
        WAVEFORMATEX format{WAVE_FORMAT_PCM, 1, rate, 2 * rate, 2, 16, 0};  // mono 16-bit
        const DWORD bufferBytes = 2 * (rate / kDriverBuffersPerSecond);
        side_.reset(new (std::nothrow) DriverSide);
        if (side_ != nullptr) {
            side_->memory.reset(
                new (std::nothrow) char[static_cast<std::size_t>(bufferBytes) * kDriverBuffers]);
            side_->ready = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        }
        wake_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        if (side_ == nullptr || side_->memory == nullptr || side_->ready == nullptr ||
            wake_ == nullptr) {
            return OpenResult::NoMemory;
        }
        const MMRESULT opened =
            ::waveInOpen(&side_->system, WAVE_MAPPER, &format,
                         reinterpret_cast<DWORD_PTR>(side_->ready), 0, CALLBACK_EVENT);
        if (opened != MMSYSERR_NOERROR) {
            side_->system = nullptr;
            return opened == WAVERR_BADFORMAT ? OpenResult::BadFormat : OpenResult::NoDevice;
        }
        for (int k = 0; k < kDriverBuffers; ++k) {
            WAVEHDR& buffer = side_->driver[k];
            buffer.lpData = side_->memory.get() + static_cast<std::size_t>(k) * bufferBytes;
            buffer.dwBufferLength = bufferBytes;
            if (::waveInPrepareHeader(side_->system, &buffer, sizeof(WAVEHDR)) !=
                MMSYSERR_NOERROR) {
                return OpenResult::NoMemory;
            }
        }
        return OpenResult::Opened;
    }

    bool Start() override {
        for (int k = 0; k < kDriverBuffers; ++k) {
            if (!Queue(k)) {
                return false;
            }
        }
        return ::waveInStart(side_->system) == MMSYSERR_NOERROR;
    }

    void Wait() override {
        const HANDLE handles[] = {wake_, side_->ready};
        WaitForMultipleObjects(2, handles, FALSE, INFINITE);
    }

    void Wake() override { SetEvent(wake_); }

    // The finished buffers, in order, each queued again; one round at most,
    // so a stop is never kept waiting.
    Drained Drain(CaptureSink& sink) override {
        Drained drained = Drained::Idle;
        for (int n = 0; n < kDriverBuffers && inDriver_[next_] && Done(next_); ++n) {
            const int index = next_;
            next_ = (next_ + 1) % kDriverBuffers;
            const bool audio = TakeBack(index, sink);
            drained = audio                       ? Drained::Audio
                      : drained == Drained::Audio ? drained
                                                  : Drained::NoAudio;
            if (!Queue(index)) {
                return Drained::Broken;
            }
        }
        return drained;
    }

    // Every buffer back, in order. Only the one in progress at the stop can
    // hold audio after the last full one; if the driver keeps it past the
    // wait, its length is told as lost. Those after it are empty.
    void Finish(CaptureSink& sink) override {
        ::waveInStop(side_->system);
        ::waveInReset(side_->system);
        WaitForAllBack();
        for (int n = 0; n < kDriverBuffers; ++n) {
            const int index = (next_ + n) % kDriverBuffers;
            if (!inDriver_[index]) {
                continue;
            }
            const WAVEHDR& buffer = side_->driver[index];
            if (!Done(index)) {
                sink.Lose(buffer.dwBufferLength / 2, LossCause::DeviceGone);
                return;
            }
            const bool whole = buffer.dwBytesRecorded >= buffer.dwBufferLength;
            TakeBack(index, sink);
            if (!whole) {
                return;
            }
        }
    }

private:
    // winmm sets the flag on its own thread, after the bytes recorded; the
    // acquiring load sees those with it.
    bool Done(int index) const {
        return (__atomic_load_n(&side_->driver[index].dwFlags, __ATOMIC_ACQUIRE) & WHDR_DONE) != 0;
    }

    bool Queue(int index) {
        inDriver_[index] = ::waveInAddBuffer(side_->system, &side_->driver[index],
                                             sizeof(WAVEHDR)) == MMSYSERR_NOERROR;
        return inDriver_[index];
    }

    // True when it held audio.
    bool TakeBack(int index, CaptureSink& sink) {
        const WAVEHDR& buffer = side_->driver[index];
        const DWORD recorded = buffer.dwBytesRecorded < buffer.dwBufferLength
                                   ? buffer.dwBytesRecorded
                                   : buffer.dwBufferLength;
        sink.Push(buffer.lpData, recorded / 2);
        inDriver_[index] = false;
        return recorded >= 2;
    }

    // Waits, bounded, until winmm has handed back every buffer it holds.
    void WaitForAllBack() {
        for (DWORD waited = 0; waited < kHandBackWaitMilliseconds;
             waited += kHandBackPollMilliseconds) {
            bool all = true;
            for (int k = 0; k < kDriverBuffers; ++k) {
                all = all && (!inDriver_[k] || Done(k));
            }
            if (all) {
                return;
            }
            WaitForSingleObject(side_->ready, kHandBackPollMilliseconds);
        }
    }

    void UnprepareAll() {
        for (WAVEHDR& buffer : side_->driver) {
            if (buffer.dwFlags & WHDR_PREPARED) {
                ::waveInUnprepareHeader(side_->system, &buffer, sizeof(WAVEHDR));
            }
        }
    }

    std::unique_ptr<DriverSide> side_;
    HANDLE wake_ = nullptr;
    bool inDriver_[kDriverBuffers] = {};  // queued with winmm and not yet taken back
    int next_ = 0;                        // the buffer that completes next
};

}  // namespace

std::string DeviceName(const std::string& given) { return given; }

std::unique_ptr<Device> NewDevice() {
    return std::unique_ptr<Device>(new (std::nothrow) WinmmDevice);
}

}  // namespace pendrax::wavein
