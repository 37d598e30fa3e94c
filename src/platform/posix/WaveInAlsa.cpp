// The wave-in service over ALSA.
//
// The service thread is the only one that touches the PCM. It reads without
// blocking and sleeps in poll() on the PCM's descriptors and an eventfd, so
// a command wakes it at once, never after the read in progress. A capture
// that cannot go on (the device or sound server gone, an overrun that does
// not recover, poll() failing) ends quietly: the buffer in progress goes
// back with what it holds, and the thread waits for commands without
// spinning. ALSA's own error messages are silenced while a device is open:
// the recorder reports what matters through its results.
#include <alsa/asoundlib.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <new>

#include "WaveInService.h"

namespace pendrax::wavein {
namespace {

constexpr int kMaxPollDescriptors = 8;
// How much audio ALSA holds for us between reads. While the recorder's
// callback writes a block, nothing is read; three seconds let a write stall
// for well over a second and lose nothing. Periods are short so blocks come
// back on time; commands wait for neither, since the thread sleeps in poll()
// with a wake-up.
constexpr unsigned kBufferMicroseconds = 3000000;
constexpr unsigned kPeriodMicroseconds = 50000;
// Overruns in a row, with no audio between them, after which capture ends.
constexpr int kMaxRecoveries = 3;
// The most read in one go: one period at 8000 Hz mono 16-bit, with room to spare.
constexpr std::size_t kReadBytes = 4096;

// ALSA prints its errors on stderr unless a handler takes them. The module's
// callers learn of failures from results, so while any device is open the
// handler drops them; the last close puts the default back.
std::mutex quietLock;
int quietDevices = 0;

extern "C" void Quiet(const char*, int, const char*, int, const char*, ...) {}

void BeQuiet() {
    std::lock_guard<std::mutex> guard(quietLock);
    if (quietDevices++ == 0) {
        snd_lib_error_set_handler(Quiet);
    }
}

void StopBeingQuiet() {
    std::lock_guard<std::mutex> guard(quietLock);
    if (--quietDevices == 0) {
        snd_lib_error_set_handler(nullptr);
    }
}

}  // namespace

struct AlsaDevice final : Device {
    snd_pcm_t* pcm = nullptr;
    int wakeFd = -1;
    unsigned frameBytes = 2;
    int recoveries = 0;  // recoveries since audio last arrived; the service thread's alone

    AlsaDevice() { BeQuiet(); }
    ~AlsaDevice() override {
        StopBeingQuiet();
        if (pcm != nullptr) {
            snd_pcm_close(pcm);
        }
        if (wakeFd >= 0) {
            ::close(wakeFd);
        }
    }

    void Wake() override {
        const std::uint64_t one = 1;
        // A full counter still wakes the thread, so a failed write is harmless.
        [[maybe_unused]] const ssize_t written = ::write(wakeFd, &one, sizeof one);
    }

    // Reads what the PCM has into the queued buffers. False when capture
    // cannot go on.
    bool ReadAvailable() {
        const snd_pcm_sframes_t available = snd_pcm_avail_update(pcm);
        if (available < 0) {
            return Recover(static_cast<int>(available));
        }
        char bytes[kReadBytes];
        for (;;) {
            std::size_t room = Room();
            room = room < sizeof bytes ? room : sizeof bytes;
            const snd_pcm_uframes_t frames = room / frameBytes;
            if (frames == 0) {
                return true;
            }
            const snd_pcm_sframes_t got = snd_pcm_readi(pcm, bytes, frames);
            if (got == -EAGAIN || got == 0) {
                return true;
            }
            if (got < 0) {
                return Recover(static_cast<int>(got));
            }
            recoveries = 0;
            Deliver(bytes, static_cast<std::size_t>(got) * frameBytes);
        }
    }

    // An overrun or a suspend: start again, unless starting again brings no
    // audio time after time; any other error ends capture.
    bool Recover(int error) {
        return ++recoveries <= kMaxRecoveries && snd_pcm_recover(pcm, error, 1) >= 0 &&
               snd_pcm_start(pcm) >= 0;
    }

    bool StartStream() override {
        return (snd_pcm_state(pcm) == SND_PCM_STATE_PREPARED || snd_pcm_prepare(pcm) >= 0) &&
               snd_pcm_start(pcm) >= 0;
    }

    void EndStream() override {
        ReadAvailable();
        snd_pcm_drop(pcm);
        snd_pcm_prepare(pcm);
    }

    // The PCM itself is closed with the device.
    MMRESULT CloseStream() override { return MMSYSERR_NOERROR; }

    void Run() override {
        pollfd descriptors[kMaxPollDescriptors + 1];
        descriptors[0] = pollfd{wakeFd, POLLIN, 0};
        int pcmCount = snd_pcm_poll_descriptors(pcm, descriptors + 1, kMaxPollDescriptors);
        if (pcmCount < 0) {
            pcmCount = 0;
        }
        for (;;) {
            if (CarryOutCommand()) {
                if (Closed()) {
                    return;
                }
                continue;
            }
            // With no buffer queued the PCM is not watched: ALSA keeps the audio.
            const bool capturing = Capturing() && AnyQueued();
            const nfds_t count = 1 + (capturing ? static_cast<nfds_t>(pcmCount) : 0);
            for (nfds_t k = 0; k < count; ++k) {
                descriptors[k].revents = 0;
            }
            if (::poll(descriptors, count, -1) < 0) {
                if (errno != EINTR) {
                    CaptureEnded();
                }
                continue;
            }
            if (descriptors[0].revents & POLLIN) {
                std::uint64_t ignored = 0;
                [[maybe_unused]] const ssize_t got = ::read(wakeFd, &ignored, sizeof ignored);
            }
            if (capturing) {
                unsigned short events = 0;
                snd_pcm_poll_descriptors_revents(pcm, descriptors + 1,
                                                 static_cast<unsigned>(pcmCount), &events);
                // An overrun or a lost server shows in the state, not always
                // in the events: the descriptors stay readable and poll()
                // returns at once, so it is dealt with here.
                if ((events != 0 || snd_pcm_avail_update(pcm) < 0) && !ReadAvailable()) {
                    CaptureEnded();
                }
            }
        }
    }
};

namespace {

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

    std::unique_ptr<AlsaDevice> opened(new (std::nothrow) AlsaDevice);
    if (opened == nullptr) {
        return MMSYSERR_NOMEM;
    }
    opened->SetCallback(callback, flags, instance);
    opened->frameBytes = format->nBlockAlign;
    if (snd_pcm_open(&opened->pcm, name, SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK) < 0) {
        opened->pcm = nullptr;
        return MMSYSERR_BADDEVICEID;
    }
    if (!Configure(opened->pcm, sampleFormat, format->nChannels, format->nSamplesPerSec)) {
        return WAVERR_BADFORMAT;
    }
    opened->wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (opened->wakeFd < 0 || !opened->StartThread()) {
        return MMSYSERR_NOMEM;
    }
    *device = opened.release();
    (*device)->Notify(WIM_OPEN, nullptr);
    return MMSYSERR_NOERROR;
}

}  // namespace pendrax::wavein
