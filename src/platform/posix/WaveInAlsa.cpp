// The wave-in operations over ALSA.
//
// Each open device has one capture thread, the only one that touches the
// PCM. The API functions hand it commands (start, stop, reset, close) and
// wait for it to carry them out; buffers are queued under a mutex. The
// thread reads without blocking and sleeps in poll() on the PCM's
// descriptors and an eventfd, so a command wakes it at once, never after the
// read in progress.
#include <alsa/asoundlib.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "WaveIn.h"

namespace {

constexpr int kMaxQueued = 16;
constexpr int kMaxPollDescriptors = 8;
// How much audio ALSA may hold for us between reads: generous, because a
// sound server may hand over seconds at once when a stream starts. Periods
// are short so blocks come back on time; commands wait for neither, since
// the thread sleeps in poll() with a wake-up.
constexpr unsigned kBufferMicroseconds = 3000000;
constexpr unsigned kPeriodMicroseconds = 50000;

enum class Command { None, Start, Stop, Reset, Close };

}  // namespace

struct WaveInDevice {
    snd_pcm_t* pcm = nullptr;
    int wakeFd = -1;
    WaveInCallback callback = nullptr;
    DWORD_PTR instance = 0;
    unsigned frameBytes = 2;
    std::thread thread;

    std::mutex lock;
    std::condition_variable changed;
    WAVEHDR* queue[kMaxQueued] = {};
    int queueHead = 0;
    int queueCount = 0;
    Command command = Command::None;
    MMRESULT commandResult = MMSYSERR_NOERROR;
    bool running = false;  // touched by the capture thread only

    void Notify(DWORD_PTR message, WAVEHDR* header) {
        if (callback != nullptr) {
            callback(this, static_cast<UINT>(message), instance,
                     reinterpret_cast<DWORD_PTR>(header), 0);
        }
    }

    void Wake() const {
        const std::uint64_t one = 1;
        // A full counter still wakes the thread, so a failed write is harmless.
        [[maybe_unused]] const ssize_t written = ::write(wakeFd, &one, sizeof one);
    }
};

namespace {

// Removes the oldest queued buffer and marks it done; null when none.
WAVEHDR* TakeFront(WaveInDevice& device) {
    std::lock_guard<std::mutex> guard(device.lock);
    if (device.queueCount == 0) {
        return nullptr;
    }
    WAVEHDR* header = device.queue[device.queueHead];
    device.queueHead = (device.queueHead + 1) % kMaxQueued;
    --device.queueCount;
    header->dwFlags = (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
    return header;
}

WAVEHDR* Front(WaveInDevice& device) {
    std::lock_guard<std::mutex> guard(device.lock);
    return device.queueCount == 0 ? nullptr : device.queue[device.queueHead];
}

void HandBackFront(WaveInDevice& device) {
    if (WAVEHDR* header = TakeFront(device)) {
        device.Notify(WIM_DATA, header);
    }
}

// Reads what the PCM has into the front buffer, handing it back when full.
// Returns false when capture cannot go on.
bool ReadAvailable(WaveInDevice& device) {
    WAVEHDR* header = Front(device);
    if (header == nullptr) {
        return true;
    }
    const DWORD room = header->dwBufferLength - header->dwBytesRecorded;
    const snd_pcm_uframes_t frames = room / device.frameBytes;
    if (frames > 0) {
        snd_pcm_sframes_t got =
            snd_pcm_readi(device.pcm, header->lpData + header->dwBytesRecorded, frames);
        if (got == -EAGAIN) {
            return true;
        }
        if (got < 0) {
            // An overrun or a suspend: start again; anything else ends capture.
            return snd_pcm_recover(device.pcm, static_cast<int>(got), 1) >= 0 &&
                   snd_pcm_start(device.pcm) >= 0;
        }
        header->dwBytesRecorded += static_cast<DWORD>(got) * device.frameBytes;
    }
    if (header->dwBufferLength - header->dwBytesRecorded < device.frameBytes) {
        HandBackFront(device);
    }
    return true;
}

void EndCapture(WaveInDevice& device) {
    if (device.running) {
        snd_pcm_drop(device.pcm);
        snd_pcm_prepare(device.pcm);
        device.running = false;
    }
}

MMRESULT Execute(WaveInDevice& device, Command command) {
    switch (command) {
        case Command::Start:
            if (!device.running) {
                if (snd_pcm_state(device.pcm) != SND_PCM_STATE_PREPARED &&
                    snd_pcm_prepare(device.pcm) < 0) {
                    return MMSYSERR_ERROR;
                }
                if (snd_pcm_start(device.pcm) < 0) {
                    return MMSYSERR_ERROR;
                }
                device.running = true;
            }
            return MMSYSERR_NOERROR;
        case Command::Stop:
            // The buffer in progress goes back with what it holds so far.
            if (device.running) {
                ReadAvailable(device);
                EndCapture(device);
                HandBackFront(device);
            }
            return MMSYSERR_NOERROR;
        case Command::Reset:
            if (device.running) {
                ReadAvailable(device);
                EndCapture(device);
            }
            while (WAVEHDR* header = TakeFront(device)) {
                device.Notify(WIM_DATA, header);
            }
            return MMSYSERR_NOERROR;
        case Command::Close: EndCapture(device); return MMSYSERR_NOERROR;
        case Command::None: break;
    }
    return MMSYSERR_NOERROR;
}

void CaptureLoop(WaveInDevice* device) {
    pollfd descriptors[kMaxPollDescriptors + 1];
    descriptors[0] = pollfd{device->wakeFd, POLLIN, 0};
    int pcmCount = snd_pcm_poll_descriptors(device->pcm, descriptors + 1, kMaxPollDescriptors);
    if (pcmCount < 0) {
        pcmCount = 0;
    }
    for (;;) {
        Command command = Command::None;
        bool buffered = false;
        {
            std::lock_guard<std::mutex> guard(device->lock);
            command = device->command;
            buffered = device->queueCount > 0;
        }
        if (command != Command::None) {
            const MMRESULT result = Execute(*device, command);
            {
                std::lock_guard<std::mutex> guard(device->lock);
                device->commandResult = result;
                device->command = Command::None;
            }
            device->changed.notify_all();
            if (command == Command::Close) {
                return;
            }
            continue;
        }
        // With no buffer queued the PCM is not watched: the audio is dropped.
        const bool capturing = device->running && buffered;
        const nfds_t count = 1 + (capturing ? static_cast<nfds_t>(pcmCount) : 0);
        for (nfds_t k = 0; k < count; ++k) {
            descriptors[k].revents = 0;
        }
        if (::poll(descriptors, count, -1) < 0 && errno != EINTR) {
            continue;
        }
        if (descriptors[0].revents & POLLIN) {
            std::uint64_t ignored = 0;
            [[maybe_unused]] const ssize_t got = ::read(device->wakeFd, &ignored, sizeof ignored);
        }
        if (capturing) {
            unsigned short events = 0;
            snd_pcm_poll_descriptors_revents(device->pcm, descriptors + 1,
                                             static_cast<unsigned>(pcmCount), &events);
            if (events != 0 && !ReadAvailable(*device)) {
                // The device went away: hand back what was recorded and stop.
                EndCapture(*device);
                HandBackFront(*device);
            }
        }
    }
}

// Hands a command to the capture thread and waits until it is carried out.
MMRESULT Send(WaveInDevice* device, Command command) {
    if (device == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    if (std::this_thread::get_id() == device->thread.get_id()) {
        // From inside a callback: the thread is ours and between reads.
        return command == Command::Close ? MMSYSERR_ERROR : Execute(*device, command);
    }
    std::unique_lock<std::mutex> guard(device->lock);
    device->changed.wait(guard, [device] { return device->command == Command::None; });
    device->command = command;
    device->Wake();
    device->changed.wait(guard, [device] { return device->command == Command::None; });
    return device->commandResult;
}

snd_pcm_format_t SampleFormat(const WAVEFORMATEX& format) {
    if (format.wBitsPerSample == 8) {
        return SND_PCM_FORMAT_U8;
    }
    if (format.wBitsPerSample == 16) {
        return SND_PCM_FORMAT_S16_LE;
    }
    return SND_PCM_FORMAT_UNKNOWN;
}

// The exact format and rate asked for (converted by ALSA's plugins where
// the device offers them), or false.
bool Configure(snd_pcm_t* pcm, snd_pcm_format_t sampleFormat, unsigned channels, unsigned rate) {
    snd_pcm_hw_params_t* params = nullptr;
    snd_pcm_hw_params_alloca(&params);
    unsigned bufferTime = kBufferMicroseconds;
    unsigned periodTime = kPeriodMicroseconds;
    return snd_pcm_hw_params_any(pcm, params) >= 0 &&
           snd_pcm_hw_params_set_access(pcm, params, SND_PCM_ACCESS_RW_INTERLEAVED) >= 0 &&
           snd_pcm_hw_params_set_format(pcm, params, sampleFormat) >= 0 &&
           snd_pcm_hw_params_set_channels(pcm, params, channels) >= 0 &&
           snd_pcm_hw_params_set_rate_resample(pcm, params, 1) >= 0 &&
           snd_pcm_hw_params_set_rate(pcm, params, rate, 0) >= 0 &&
           snd_pcm_hw_params_set_buffer_time_near(pcm, params, &bufferTime, nullptr) >= 0 &&
           snd_pcm_hw_params_set_period_time_near(pcm, params, &periodTime, nullptr) >= 0 &&
           snd_pcm_hw_params(pcm, params) >= 0;
}

void Destroy(WaveInDevice* device) {
    if (device->pcm != nullptr) {
        snd_pcm_close(device->pcm);
    }
    if (device->wakeFd >= 0) {
        ::close(device->wakeFd);
    }
    delete device;
}

}  // namespace

MMRESULT waveInOpen(HWAVEIN* device, UINT deviceId, const WAVEFORMATEX* format, DWORD_PTR callback,
                    DWORD_PTR instance, DWORD flags) {
    if (device == nullptr || format == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    if (deviceId != WAVE_MAPPER && deviceId != 0) {
        return MMSYSERR_BADDEVICEID;
    }
    if (flags != CALLBACK_FUNCTION && flags != 0) {
        return MMSYSERR_INVALFLAG;
    }
    const snd_pcm_format_t sampleFormat = SampleFormat(*format);
    if (format->wFormatTag != WAVE_FORMAT_PCM || sampleFormat == SND_PCM_FORMAT_UNKNOWN ||
        format->nChannels == 0 || format->nSamplesPerSec == 0 ||
        format->nBlockAlign != format->nChannels * format->wBitsPerSample / 8) {
        return WAVERR_BADFORMAT;
    }
    // Read once per open, on the caller's thread; nothing here sets it.
    const char* name = std::getenv("PENDRAX_CAPTURE_DEVICE");  // NOLINT(concurrency-mt-unsafe)
    if (name == nullptr || *name == '\0') {
        name = "default";
    }

    WaveInDevice* opened = new (std::nothrow) WaveInDevice;
    if (opened == nullptr) {
        return MMSYSERR_NOMEM;
    }
    opened->callback =
        flags == CALLBACK_FUNCTION ? reinterpret_cast<WaveInCallback>(callback) : nullptr;
    opened->instance = instance;
    opened->frameBytes = format->nBlockAlign;
    if (snd_pcm_open(&opened->pcm, name, SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK) < 0) {
        opened->pcm = nullptr;
        Destroy(opened);
        return MMSYSERR_BADDEVICEID;
    }
    if (!Configure(opened->pcm, sampleFormat, format->nChannels, format->nSamplesPerSec)) {
        Destroy(opened);
        return WAVERR_BADFORMAT;
    }
    opened->wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (opened->wakeFd < 0) {
        Destroy(opened);
        return MMSYSERR_NOMEM;
    }
    try {
        opened->thread = std::thread(CaptureLoop, opened);
    } catch (const std::system_error&) {
        Destroy(opened);
        return MMSYSERR_NOMEM;
    }
    *device = opened;
    opened->Notify(WIM_OPEN, nullptr);
    return MMSYSERR_NOERROR;
}

MMRESULT waveInPrepareHeader(HWAVEIN device, WAVEHDR* header, UINT headerSize) {
    if (device == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    if (header == nullptr || headerSize < sizeof(WAVEHDR) || header->lpData == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    std::lock_guard<std::mutex> guard(device->lock);
    header->dwFlags = (header->dwFlags & ~WHDR_DONE) | WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT waveInUnprepareHeader(HWAVEIN device, WAVEHDR* header, UINT headerSize) {
    if (device == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    if (header == nullptr || headerSize < sizeof(WAVEHDR)) {
        return MMSYSERR_INVALPARAM;
    }
    std::lock_guard<std::mutex> guard(device->lock);
    if (header->dwFlags & WHDR_INQUEUE) {
        return WAVERR_STILLPLAYING;
    }
    header->dwFlags &= ~WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT waveInAddBuffer(HWAVEIN device, WAVEHDR* header, UINT headerSize) {
    if (device == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    if (header == nullptr || headerSize < sizeof(WAVEHDR)) {
        return MMSYSERR_INVALPARAM;
    }
    std::lock_guard<std::mutex> guard(device->lock);
    if (!(header->dwFlags & WHDR_PREPARED)) {
        return WAVERR_UNPREPARED;
    }
    if (header->dwFlags & WHDR_INQUEUE) {
        return WAVERR_STILLPLAYING;
    }
    if (device->queueCount == kMaxQueued) {
        return MMSYSERR_NOMEM;
    }
    header->dwFlags = (header->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
    header->dwBytesRecorded = 0;
    device->queue[(device->queueHead + device->queueCount) % kMaxQueued] = header;
    ++device->queueCount;
    device->Wake();
    return MMSYSERR_NOERROR;
}

MMRESULT waveInStart(HWAVEIN device) { return Send(device, Command::Start); }

MMRESULT waveInStop(HWAVEIN device) { return Send(device, Command::Stop); }

MMRESULT waveInReset(HWAVEIN device) { return Send(device, Command::Reset); }

MMRESULT waveInClose(HWAVEIN device) {
    if (device == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    {
        std::lock_guard<std::mutex> guard(device->lock);
        if (device->queueCount > 0) {
            return WAVERR_STILLPLAYING;
        }
    }
    const MMRESULT result = Send(device, Command::Close);
    if (result != MMSYSERR_NOERROR) {
        return result;
    }
    device->thread.join();
    device->Notify(WIM_CLOSE, nullptr);
    Destroy(device);
    return MMSYSERR_NOERROR;
}
