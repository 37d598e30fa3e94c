// Capture over ALSA.
//
// The recorder's capture thread sleeps in poll() on the PCM's descriptors
// and an eventfd, so a stop wakes it at once. It reads without blocking,
// into a buffer zeroed before each read: a plugin that reports frames it
// never fills (ALSA's null device) gives silence, never stale memory.
//
// An overrun or a suspend loses audio; the frames lost are counted from
// the stream's trigger time stamps (when it broke, when it ran again, or
// the status's own stamp at a stop before it did) and what its buffer
// held, and told as a loss. A suspend is resumed with snd_pcm_resume polled
// between waits on the eventfd, so a stop is never kept waiting for the
// system to come back (snd_pcm_recover would sleep).
//
// ALSA prints its errors on stderr unless a handler takes them. The module's
// callers learn of failures from results, so ALSA is silenced on the
// recorder's threads only, through its thread-local handler.
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <new>

// alsa-lib (1.2.8 to 1.2.14 at least) declares snd_lib_error_set_local
// outside its extern "C" block; included in one, it keeps its C name. Its
// parts must not be included directly (1.2.14 warns).
extern "C" {
#include <alsa/asoundlib.h>
}

#include "PosixWaveIn.h"

namespace pendrax::wavein {
namespace {

// The capture thread wakes once a period: one second, the recorder's block,
// so a recording wakes about once a second (a device that cannot hold that
// much gets its nearest). The buffer covers the thread being kept from
// running for a few periods. A stop reads what the hardware holds, so a
// long period does not cost the stop its last samples.
constexpr unsigned kBufferMicroseconds = 4000000;
constexpr unsigned kPeriodMicroseconds = 1000000;
// The most read in one go.
constexpr snd_pcm_uframes_t kReadFrames = 2048;
// How often a suspended stream is asked to resume.
constexpr int kResumePollMilliseconds = 100;

extern "C" void Quiet(const char*, int, const char*, int, const char*, va_list) {}

// ALSA's messages dropped on this thread while it lives.
class QuietHere {
public:
    QuietHere() : previous_(snd_lib_error_set_local(Quiet)) {}
    ~QuietHere() { snd_lib_error_set_local(previous_); }
    QuietHere(const QuietHere&) = delete;
    QuietHere& operator=(const QuietHere&) = delete;

private:
    snd_local_error_handler_t previous_;
};

bool Configure(snd_pcm_t* pcm, unsigned rate) {
    snd_pcm_hw_params_t* params = nullptr;
    snd_pcm_hw_params_alloca(&params);
    unsigned bufferTime = kBufferMicroseconds;
    unsigned periodTime = kPeriodMicroseconds;
    return snd_pcm_hw_params_any(pcm, params) >= 0 &&
           snd_pcm_hw_params_set_access(pcm, params, SND_PCM_ACCESS_RW_INTERLEAVED) >= 0 &&
           snd_pcm_hw_params_set_format(pcm, params, SND_PCM_FORMAT_S16_LE) >= 0 &&
           snd_pcm_hw_params_set_channels(pcm, params, 1) >= 0 &&
           snd_pcm_hw_params_set_rate_resample(pcm, params, 1) >= 0 &&
           snd_pcm_hw_params_set_rate(pcm, params, rate, 0) >= 0 &&
           snd_pcm_hw_params_set_buffer_time_near(pcm, params, &bufferTime, nullptr) >= 0 &&
           snd_pcm_hw_params_set_period_time_near(pcm, params, &periodTime, nullptr) >= 0 &&
           snd_pcm_hw_params(pcm, params) >= 0;
}

// Status time stamps on the trigger's clock, for a stop during a suspend;
// a stream without them still records, and counts no more than it held.
void StampStatus(snd_pcm_t* pcm) {
    snd_pcm_sw_params_t* params = nullptr;
    snd_pcm_sw_params_alloca(&params);
    if (snd_pcm_sw_params_current(pcm, params) >= 0 &&
        snd_pcm_sw_params_set_tstamp_mode(pcm, params, SND_PCM_TSTAMP_ENABLE) >= 0) {
        (void)snd_pcm_sw_params(pcm, params);
    }
}

// When the stream last changed state, and what its buffer held then; and
// the status's time.
struct Trigger {
    snd_htimestamp_t at{};
    snd_pcm_uframes_t held = 0;
    snd_htimestamp_t now{};
};

bool ReadTrigger(snd_pcm_t* pcm, Trigger& trigger) {
    snd_pcm_status_t* status = nullptr;
    snd_pcm_status_alloca(&status);
    if (snd_pcm_status(pcm, status) < 0) {
        return false;
    }
    snd_pcm_status_get_trigger_htstamp(status, &trigger.at);
    snd_pcm_status_get_htstamp(status, &trigger.now);
    trigger.held = snd_pcm_status_get_avail(status);
    return true;
}

std::uint64_t FramesBetween(const snd_htimestamp_t& from, const snd_htimestamp_t& to,
                            unsigned rate) {
    const long long nanoseconds = (static_cast<long long>(to.tv_sec) - from.tv_sec) * 1000000000LL +
                                  (to.tv_nsec - from.tv_nsec);
    return nanoseconds <= 0 ? 0 : static_cast<std::uint64_t>(nanoseconds) * rate / 1000000000ULL;
}

class AlsaDevice final : public Device {
public:
    ~AlsaDevice() override {
        const QuietHere quiet;  // closing can print too
        if (pcm_ != nullptr) {
            snd_pcm_close(pcm_);
        }
        if (wakeFd_ >= 0) {
            ::close(wakeFd_);
        }
    }

    OpenResult Open(const std::string& name, unsigned rate) override {
        const QuietHere quiet;
        rate_ = rate;
        if (snd_pcm_open(&pcm_, name.c_str(), SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK) < 0) {
            pcm_ = nullptr;
            return OpenResult::NoDevice;
        }
        if (!Configure(pcm_, rate)) {
            return OpenResult::BadFormat;
        }
        StampStatus(pcm_);
        const int count = snd_pcm_poll_descriptors_count(pcm_);
        pcmDescriptors_ = count > 0 ? static_cast<unsigned>(count) : 0;
        descriptors_.reset(new (std::nothrow) pollfd[1 + pcmDescriptors_]);
        wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        if (descriptors_ == nullptr || wakeFd_ < 0) {
            return OpenResult::NoMemory;
        }
        descriptors_[0] = pollfd{wakeFd_, POLLIN, 0};
        return OpenResult::Opened;
    }

    bool Start() override {
        const QuietHere quiet;
        return snd_pcm_poll_descriptors(pcm_, &descriptors_[1], pcmDescriptors_) > 0 &&
               (snd_pcm_state(pcm_) == SND_PCM_STATE_PREPARED || snd_pcm_prepare(pcm_) >= 0) &&
               snd_pcm_start(pcm_) >= 0;
    }

    void Wait() override { WaitFor(-1); }

    void Wake() override {
        const std::uint64_t one = 1;
        // A full counter still wakes the thread, so a failed write is harmless.
        [[maybe_unused]] const ssize_t written = ::write(wakeFd_, &one, sizeof one);
    }

    Drained Drain(CaptureSink& sink) override {
        const QuietHere quiet;
        unsigned short events = 0;
        snd_pcm_poll_descriptors_revents(pcm_, &descriptors_[1], pcmDescriptors_, &events);
        // An overrun or a lost server shows in the state, not always in the
        // events, so the state is asked every time.
        const snd_pcm_sframes_t available = snd_pcm_avail_update(pcm_);
        if (available < 0) {
            return Recover(static_cast<int>(available), sink);
        }
        const Drained drained = Read(static_cast<snd_pcm_uframes_t>(available), sink);
        // A stream whose descriptors report an error, yet no error and no
        // audio of its own: a server gone, seen only by its silence.
        const bool failing = (events & (POLLERR | POLLHUP | POLLNVAL)) != 0;
        return drained == Drained::Idle && failing ? Drained::NoAudio : drained;
    }

    // snd_pcm_avail syncs with the hardware: the last period is kept too.
    void Finish(CaptureSink& sink) override {
        const QuietHere quiet;
        const snd_pcm_sframes_t available = snd_pcm_avail(pcm_);
        if (available > 0) {
            (void)Read(static_cast<snd_pcm_uframes_t>(available), sink);
        }
        snd_pcm_drop(pcm_);
    }

private:
    // True when woken through the eventfd.
    bool WaitFor(int milliseconds) {
        const nfds_t count = 1 + pcmDescriptors_;
        for (nfds_t k = 0; k < count; ++k) {
            descriptors_[k].revents = 0;
        }
        const nfds_t watched = milliseconds < 0 ? count : 1;
        if (::poll(descriptors_.get(), watched, milliseconds) <= 0) {
            return false;
        }
        if ((descriptors_[0].revents & POLLIN) == 0) {
            return false;
        }
        std::uint64_t ignored = 0;
        [[maybe_unused]] const ssize_t got = ::read(wakeFd_, &ignored, sizeof ignored);
        return true;
    }

    // No more than `frames`, what the PCM had on entry: a source that always
    // has more (ALSA's null device) must not keep the thread from a stop.
    Drained Read(snd_pcm_uframes_t frames, CaptureSink& sink) {
        Drained drained = Drained::Idle;
        while (frames > 0) {
            const snd_pcm_uframes_t want = std::min(frames, kReadFrames);
            std::memset(samples_, 0, sizeof samples_);
            const snd_pcm_sframes_t got = snd_pcm_readi(pcm_, samples_, want);
            if (got == -EAGAIN || got == 0) {
                break;
            }
            if (got < 0) {
                return Recover(static_cast<int>(got), sink);
            }
            sink.Push(samples_, static_cast<std::size_t>(got));
            drained = Drained::Audio;
            frames -= static_cast<snd_pcm_uframes_t>(got);
        }
        return drained;
    }

    // An overrun (-EPIPE) or a suspend (-ESTRPIPE): the stream runs again,
    // and the time it did not capture is told as lost. Anything else, or a
    // stream that will not run again, is Broken.
    Drained Recover(int error, CaptureSink& sink) {
        if (error == -EAGAIN) {
            return Drained::Idle;
        }
        Trigger broke;
        if ((error != -EPIPE && error != -ESTRPIPE) || !ReadTrigger(pcm_, broke)) {
            return Drained::Broken;
        }
        bool resumed = false;  // with its buffer as it was
        if (error == -ESTRPIPE) {
            int result = 0;
            while ((result = snd_pcm_resume(pcm_)) == -EAGAIN) {
                Trigger stopped;
                if (WaitFor(kResumePollMilliseconds)) {  // a stop: the loop ends
                    if (ReadTrigger(pcm_, stopped)) {
                        sink.Lose(broke.held + FramesBetween(broke.at, stopped.now, rate_),
                                  LossCause::Suspended);
                    }
                    return Drained::Idle;
                }
            }
            resumed = result >= 0;
        }
        Trigger ran;
        if ((!resumed && (snd_pcm_prepare(pcm_) < 0 || snd_pcm_start(pcm_) < 0)) ||
            !ReadTrigger(pcm_, ran)) {
            return Drained::Broken;
        }
        sink.Lose((resumed ? 0 : broke.held) + FramesBetween(broke.at, ran.at, rate_),
                  error == -EPIPE ? LossCause::DeviceOverrun : LossCause::Suspended);
        return Drained::NoAudio;
    }

    snd_pcm_t* pcm_ = nullptr;
    int wakeFd_ = -1;
    std::unique_ptr<pollfd[]> descriptors_;  // the eventfd, then the PCM's
    unsigned pcmDescriptors_ = 0;
    unsigned rate_ = 0;
    std::int16_t samples_[kReadFrames] = {};
};

}  // namespace

std::unique_ptr<Device> NewAlsaDevice() {
    return std::unique_ptr<Device>(new (std::nothrow) AlsaDevice);
}

}  // namespace pendrax::wavein
