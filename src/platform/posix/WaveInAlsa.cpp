// The wave-in service over ALSA.
//
// The capture thread is the only one that touches the PCM once it is open.
// It reads without blocking and sleeps in poll() on the PCM's descriptors
// and an eventfd, so a command wakes it at once, never after the read in
// progress. It reads whatever arrives into the service's ring, whatever the
// application's callback is doing. A capture that cannot go on (the device
// or sound server gone, an overrun that does not recover, poll() failing)
// ends quietly: what was captured is delivered, the buffer in progress goes
// back with what it holds, and the thread waits for commands without
// spinning.
//
// ALSA prints its errors on stderr unless a handler takes them. The module's
// callers learn of failures from results, so the service silences ALSA on
// its own threads only, through ALSA's thread-local handler: the host's
// handler, and ALSA's messages on the host's other threads, are untouched.
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <algorithm>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <memory>
#include <new>

// alsa-lib (1.2.8 to 1.2.14 at least) declares snd_lib_error_set_local
// outside its extern "C" block; included in one, it keeps its C name. Its
// parts must not be included directly (1.2.14 warns).
extern "C" {
#include <alsa/asoundlib.h>
}

#include "WaveInService.h"

namespace pendrax::wavein {
namespace {

// How much audio ALSA holds between reads: the capture thread reads every
// period, so this only covers the thread being kept from running. Periods
// are short so audio reaches the ring on time; commands wait for neither,
// since the thread sleeps in poll() with a wake-up.
constexpr unsigned kBufferMicroseconds = 3000000;
constexpr unsigned kPeriodMicroseconds = 50000;
// Overruns in a row, with no audio between them, after which capture ends.
constexpr int kMaxRecoveries = 3;
// The most read in one go: one period at 8000 Hz mono 16-bit, with room to spare.
constexpr std::size_t kReadBytes = 4096;

extern "C" void Quiet(const char*, int, const char*, int, const char*, va_list) {}

// ALSA's messages dropped on this thread while it lives; the thread's
// previous handler back after.
class QuietHere {
public:
    QuietHere() : previous_(snd_lib_error_set_local(Quiet)) {}
    ~QuietHere() { snd_lib_error_set_local(previous_); }
    QuietHere(const QuietHere&) = delete;
    QuietHere& operator=(const QuietHere&) = delete;

private:
    snd_local_error_handler_t previous_;
};

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

class AlsaDevice final : public Device {
    snd_pcm_t* pcm = nullptr;
    int wakeFd = -1;
    std::unique_ptr<pollfd[]> descriptors;  // the eventfd, then the PCM's
    int pcmDescriptors = 0;
    unsigned frameBytes = 2;
    int recoveries = 0;  // recoveries since audio last arrived

    MMRESULT OpenStream(UINT deviceId, const WAVEFORMATEX& format) override {
        if (deviceId != WAVE_MAPPER && deviceId != 0) {
            return MMSYSERR_BADDEVICEID;
        }
        const snd_pcm_format_t sampleFormat = SampleFormat(format);
        if (format.wFormatTag != WAVE_FORMAT_PCM || sampleFormat == SND_PCM_FORMAT_UNKNOWN ||
            format.nChannels == 0 || format.nSamplesPerSec == 0 ||
            format.nBlockAlign != format.nChannels * format.wBitsPerSample / 8) {
            return WAVERR_BADFORMAT;
        }
        // Read once per open, on the caller's thread; nothing here sets it.
        const char* name = std::getenv("PENDRAX_CAPTURE_DEVICE");  // NOLINT(concurrency-mt-unsafe)
        if (name == nullptr || *name == '\0') {
            name = "default";
        }
        frameBytes = format.nBlockAlign;
        const QuietHere quiet;
        MMRESULT result = MMSYSERR_NOERROR;
        if (snd_pcm_open(&pcm, name, SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK) < 0) {
            pcm = nullptr;
            result = MMSYSERR_BADDEVICEID;
        } else if (!Configure(pcm, sampleFormat, format.nChannels, format.nSamplesPerSec)) {
            result = WAVERR_BADFORMAT;
        } else {
            const int count = snd_pcm_poll_descriptors_count(pcm);
            pcmDescriptors = count > 0 ? count : 0;
            descriptors.reset(new (std::nothrow) pollfd[1 + pcmDescriptors]);
            wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
            if (descriptors == nullptr || wakeFd < 0) {
                result = MMSYSERR_NOMEM;
            } else {
                descriptors[0] = pollfd{wakeFd, POLLIN, 0};
            }
        }
        if (result != MMSYSERR_NOERROR) {
            CloseStream();
        }
        return result;
    }

    void CloseStream() override {
        const QuietHere quiet;  // closing can print too
        if (pcm != nullptr) {
            snd_pcm_close(pcm);
            pcm = nullptr;
        }
        if (wakeFd >= 0) {
            ::close(wakeFd);
            wakeFd = -1;
        }
        descriptors.reset();
    }

    void Wake() override {
        const std::uint64_t one = 1;
        // A full counter still wakes the thread, so a failed write is harmless.
        [[maybe_unused]] const ssize_t written = ::write(wakeFd, &one, sizeof one);
    }

    // Reads what the PCM has into the ring. False when capture cannot go on.
    bool ReadAvailable() {
        const snd_pcm_sframes_t available = snd_pcm_avail_update(pcm);
        if (available < 0) {
            return Recover(static_cast<int>(available));
        }
        // No more than was there on entry: a source that always has more
        // (ALSA's null device) must not keep the thread from its commands.
        auto left = static_cast<snd_pcm_uframes_t>(available);
        char bytes[kReadBytes];
        while (left > 0) {
            const snd_pcm_uframes_t want =
                std::min<snd_pcm_uframes_t>(left, sizeof bytes / frameBytes);
            const snd_pcm_sframes_t got = snd_pcm_readi(pcm, bytes, want);
            if (got == -EAGAIN || got == 0) {
                return true;
            }
            if (got < 0) {
                return Recover(static_cast<int>(got));
            }
            recoveries = 0;
            Capture(bytes, static_cast<std::size_t>(got) * frameBytes);
            left -= static_cast<snd_pcm_uframes_t>(got);
        }
        return true;
    }

    // An overrun or a suspend: go on, unless going on brings no audio time
    // after time; any other error ends capture. A stream that resumed from
    // a suspend runs already; one prepared again has to be started.
    bool Recover(int error) {
        return ++recoveries <= kMaxRecoveries && snd_pcm_recover(pcm, error, 1) >= 0 &&
               (snd_pcm_state(pcm) != SND_PCM_STATE_PREPARED || snd_pcm_start(pcm) >= 0);
    }

    bool StartStream() override {
        recoveries = 0;
        return snd_pcm_poll_descriptors(pcm, &descriptors[1],
                                        static_cast<unsigned>(pcmDescriptors)) > 0 &&
               (snd_pcm_state(pcm) == SND_PCM_STATE_PREPARED || snd_pcm_prepare(pcm) >= 0) &&
               snd_pcm_start(pcm) >= 0;
    }

    void EndStream() override {
        ReadAvailable();
        snd_pcm_drop(pcm);
        snd_pcm_prepare(pcm);
    }

    void Run() override {
        const QuietHere quiet;
        for (;;) {
            if (CarryOutCommand()) {
                if (Closed()) {
                    return;
                }
                continue;
            }
            const bool capturing = Capturing();
            const nfds_t count = 1 + (capturing ? static_cast<nfds_t>(pcmDescriptors) : 0);
            for (nfds_t k = 0; k < count; ++k) {
                descriptors[k].revents = 0;
            }
            if (::poll(descriptors.get(), count, -1) < 0) {
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
                snd_pcm_poll_descriptors_revents(pcm, &descriptors[1],
                                                 static_cast<unsigned>(pcmDescriptors), &events);
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

}  // namespace

MMRESULT waveInOpen(HWAVEIN* device, UINT deviceId, const WAVEFORMATEX* format, DWORD_PTR callback,
                    DWORD_PTR instance, DWORD flags) {
    return OpenDevice(new (std::nothrow) AlsaDevice, device, deviceId, format, callback, instance,
                      flags);
}

}  // namespace pendrax::wavein
