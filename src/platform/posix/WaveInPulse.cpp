// Capture through the sound server's own client library (PulseAudio's
// protocol, which PipeWire serves too).
//
// ALSA's plugin for the server runs a client thread of its own that wakes
// several times a second whatever the period asked for. Here a non-threaded
// main loop runs on the recorder's capture thread. The server sends audio
// as its source hands it on, which is every few milliseconds while another
// client wants low latency; so Wait first sleeps for as long as the block
// in progress still needs to be captured (or until a Wake), then waits on
// the loop and takes everything that arrived: about one wake-up a second,
// each block handed on as it completes. The stream asks for one-second
// fragments, so an otherwise idle server wakes little too. Wake writes an
// eventfd the loop watches, so a wakeup that comes before the sleep is kept.
//
// A stop asks the server for short fragments and for its latency, then
// takes what it owed up to the stop (see Finish): the second in progress
// is kept.
// A hole in the stream (data the server no longer had) is a loss; a server
// that goes, or a stream it fails, ends the recording.
#include <poll.h>
#include <pulse/pulseaudio.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <new>

#include "PosixWaveIn.h"

namespace pendrax::wavein {
namespace {

constexpr unsigned kBytesPerFrame = 2;
// What the server gathers before it sends: the one-second blocks the
// recorder writes, so the capture thread wakes once per block.
constexpr unsigned kFragmentMilliseconds = 1000;
// How long after a block should be complete the capture thread looks: the
// server's own delay in handing audio on.
constexpr auto kSlack = std::chrono::milliseconds(100);
// The most events handled in one look: bounds a look at a flood.
constexpr int kMostEvents = 10000;
// At a stop: short fragments, so what the server holds arrives at once.
constexpr unsigned kFinalFragmentMilliseconds = 20;
// The longest a connection, or a stop's last audio, is waited for.
constexpr auto kConnectTimeout = std::chrono::seconds(5);
// A stop waits for at most a fragment more.
constexpr auto kFinishTimeout = std::chrono::milliseconds(kFragmentMilliseconds + 200);
// How long each estimate of the stream's start is kept.
constexpr auto kStartWindow = std::chrono::seconds(10);
constexpr std::uint64_t kNoLimit = ~std::uint64_t{0};

using Clock = std::chrono::steady_clock;

extern "C" void Done(pa_stream*, int, void* flag) { *static_cast<bool*>(flag) = true; }

extern "C" void Woken(pa_mainloop_api*, pa_io_event*, int fd, pa_io_event_flags_t, void*) {
    std::uint64_t ignored = 0;
    [[maybe_unused]] const ssize_t got = ::read(fd, &ignored, sizeof ignored);
}

class PulseDevice final : public Device {
public:
    ~PulseDevice() override {
        if (stream_ != nullptr) {
            pa_stream_disconnect(stream_);
            pa_stream_unref(stream_);
        }
        if (context_ != nullptr) {
            pa_context_disconnect(context_);
            pa_context_unref(context_);
        }
        if (loop_ != nullptr) {
            pa_mainloop_free(loop_);  // and the eventfd's watch
        }
        if (wakeFd_ >= 0) {
            ::close(wakeFd_);
        }
    }

    // Either name means the server's default source.
    OpenResult Open(const std::string&, unsigned rate) override {
        rate_ = rate;
        loop_ = pa_mainloop_new();
        if (loop_ == nullptr) {
            return OpenResult::NoMemory;
        }
        pa_mainloop_api* api = pa_mainloop_get_api(loop_);
        wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        if (wakeFd_ < 0 ||
            api->io_new(api, wakeFd_, PA_IO_EVENT_INPUT, Woken, nullptr) == nullptr) {
            return OpenResult::NoMemory;
        }
        context_ = pa_context_new(api, "PendraxWAVFlanger");
        if (context_ == nullptr) {
            return OpenResult::NoMemory;
        }
        // A server that does not answer is not started for us: the caller
        // then opens through ALSA.
        if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
            !Settle(Clock::now() + kConnectTimeout,
                    [this] { return pa_context_get_state(context_) == PA_CONTEXT_READY; })) {
            return OpenResult::NoDevice;
        }
        const pa_sample_spec format{PA_SAMPLE_S16LE, rate, 1};
        if (!pa_sample_spec_valid(&format)) {
            return OpenResult::BadFormat;
        }
        stream_ = pa_stream_new(context_, "recording", &format, nullptr);
        if (stream_ == nullptr) {
            return OpenResult::NoMemory;
        }
        const pa_buffer_attr attributes = Fragments(kFragmentMilliseconds);
        if (pa_stream_connect_record(stream_, nullptr, &attributes, PA_STREAM_ADJUST_LATENCY) < 0 ||
            !Settle(Clock::now() + kConnectTimeout,
                    [this] { return pa_stream_get_state(stream_) == PA_STREAM_READY; })) {
            return OpenResult::NoDevice;
        }
        return OpenResult::Opened;
    }

    // The stream runs from its connection.
    bool Start() override { return true; }

    void Wait() override {
        const std::uint64_t missing = rate_ - taken_ % rate_;  // of the block in progress
        const auto sleep = std::chrono::milliseconds(missing * 1000 / rate_) + kSlack;
        pollfd wake{wakeFd_, POLLIN, 0};
        if (::poll(&wake, 1, static_cast<int>(sleep.count())) == 0 &&
            pa_mainloop_iterate(loop_, 1, nullptr) < 0) {
            loopFailed_ = true;
            return;
        }
        // Everything else that is ready, the eventfd's count too, without waiting.
        int events = 0;
        int handled = 0;
        while (events < kMostEvents && (handled = pa_mainloop_iterate(loop_, 0, nullptr)) > 0) {
            events += handled;
        }
        loopFailed_ = handled < 0;
    }

    void Wake() override {
        const std::uint64_t one = 1;
        // A full counter still wakes the loop, so a failed write is harmless.
        [[maybe_unused]] const ssize_t written = ::write(wakeFd_, &one, sizeof one);
    }

    Drained Drain(CaptureSink& sink) override { return Take(sink, kNoLimit); }

    // What the stop owes: what the server says it captured and this end has
    // not read (short fragments bring it), and at least what the clock says
    // was captured since the stream's start, for a source that hands audio
    // on only in blocks of the latency asked for (a sink's monitor with no
    // other listener). No more than that is kept; what has arrived is read
    // whatever the server answers.
    void Finish(CaptureSink& sink) override {
        const Clock::time_point now = Clock::now();
        const Clock::time_point end = now + kFinishTimeout;
        std::uint64_t owed = taken_;
        if (heard_ && now > Started()) {
            const auto since =
                std::chrono::duration_cast<std::chrono::microseconds>(now - Started());
            owed = std::max<std::uint64_t>(
                owed, static_cast<std::uint64_t>(since.count()) * rate_ / 1000000);
        }
        bool resized = false;
        bool timed = false;
        const pa_buffer_attr attributes = Fragments(kFinalFragmentMilliseconds);
        pa_usec_t latency = 0;
        int negative = 0;
        if (Good() && Run(pa_stream_set_buffer_attr(stream_, &attributes, Done, &resized)) &&
            Run(pa_stream_update_timing_info(stream_, Done, &timed)) &&
            Settle(end, [&] { return resized && timed; }) &&
            pa_stream_get_latency(stream_, &latency, &negative) >= 0 && negative == 0) {
            owed = std::max(owed, taken_ + latency * rate_ / 1000000);
        }
        if (Take(sink, owed) == Drained::Broken) {
            return;
        }
        while (taken_ < owed && Step(end)) {
            if (Take(sink, owed) == Drained::Broken) {
                return;
            }
        }
    }

private:
    pa_buffer_attr Fragments(unsigned milliseconds) const {
        const auto none = static_cast<std::uint32_t>(-1);  // the server's choice
        return pa_buffer_attr{none, none, none, none, rate_ * kBytesPerFrame * milliseconds / 1000};
    }

    bool Good() const {
        return !loopFailed_ && PA_CONTEXT_IS_GOOD(pa_context_get_state(context_)) &&
               PA_STREAM_IS_GOOD(pa_stream_get_state(stream_));
    }

    // What arrived, up to `limit` frames since the connection, into `sink`.
    Drained Take(CaptureSink& sink, std::uint64_t limit) {
        if (!Good()) {
            return Drained::Broken;
        }
        Drained drained = Drained::Idle;
        const void* data = nullptr;
        std::size_t bytes = 0;
        // Only what arrived before this drain: nothing is received during it.
        while (taken_ < limit && pa_stream_peek(stream_, &data, &bytes) >= 0 && bytes > 0) {
            const auto frames = static_cast<std::size_t>(
                std::min<std::uint64_t>(bytes / kBytesPerFrame, limit - taken_));
            if (data == nullptr) {
                sink.Lose(frames, LossCause::DeviceOverrun);
            } else {
                sink.Push(data, frames);
                drained = Drained::Audio;
            }
            taken_ += frames;
            if (pa_stream_drop(stream_) < 0) {
                return Drained::Broken;
            }
        }
        if (drained == Drained::Audio) {
            Heard(Clock::now());
        }
        return Good() ? drained : Drained::Broken;
    }

    // Audio read by `at` was captured by then, so the stream started no
    // later than `at` less its length: the earliest such bound, over this
    // window and the one before (so the two clocks' drift never adds up),
    // is when it started.
    void Heard(Clock::time_point at) {
        const Clock::time_point bound = at - std::chrono::microseconds(taken_ * 1000000 / rate_);
        if (!heard_ || at - windowBegan_ > kStartWindow) {
            previousStart_ = heard_ ? start_ : bound;
            start_ = bound;
            windowBegan_ = at;
            heard_ = true;
        } else {
            start_ = std::min(start_, bound);
        }
    }
    Clock::time_point Started() const { return std::min(start_, previousStart_); }

    // Dropped at once: its callback says when it is done.
    static bool Run(pa_operation* operation) {
        if (operation == nullptr) {
            return false;
        }
        pa_operation_unref(operation);
        return true;
    }

    // Iterates the loop until `ready`, a failure, or `end`.
    template <typename Ready>
    bool Settle(Clock::time_point end, Ready ready) {
        while (!ready()) {
            if (!Step(end)) {
                return false;
            }
        }
        return true;
    }

    // One iteration of the loop, waiting no later than `end`; false on a
    // failure or once `end` has passed.
    bool Step(Clock::time_point end) {
        if ((stream_ != nullptr && !PA_STREAM_IS_GOOD(pa_stream_get_state(stream_))) ||
            !PA_CONTEXT_IS_GOOD(pa_context_get_state(context_))) {
            return false;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::microseconds>(end - Clock::now()).count();
        return left > 0 && pa_mainloop_prepare(loop_, static_cast<int>(left)) >= 0 &&
               pa_mainloop_poll(loop_) >= 0 && pa_mainloop_dispatch(loop_) >= 0;
    }

    pa_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    pa_stream* stream_ = nullptr;
    int wakeFd_ = -1;
    unsigned rate_ = 0;
    std::uint64_t taken_ = 0;  // frames read or lost since the connection
    bool heard_ = false;       // audio has arrived, so the start is bounded
    Clock::time_point start_;  // the earliest bound on the start in this window
    Clock::time_point previousStart_;
    Clock::time_point windowBegan_;
    bool loopFailed_ = false;
};

}  // namespace

std::unique_ptr<Device> NewPulseDevice() {
    return std::unique_ptr<Device>(new (std::nothrow) PulseDevice);
}

}  // namespace pendrax::wavein
