// A scripted ALSA capture PCM, from alsa-lib's documentation, for the calls
// the capture device makes: a non-blocking stream whose one poll
// descriptor is readable while frames are available; an overrun past its
// 3-second buffer (-EPIPE), whose frames a prepare drops; a suspend
// (-ESTRPIPE) that snd_pcm_resume ends (-EAGAIN while the system is not
// back), leaving the stream RUNNING with its buffer; snd_pcm_start only
// from PREPARED (-EBADFD otherwise); a status whose trigger time stamp is
// when the state last changed; a global error handler and a thread-local one;
// and, on cue, a descriptor readable only once a period is available.
#include "AlsaStandIn.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <mutex>

#include "StandIn.h"

struct _snd_pcm {
    snd_pcm_state_t state = SND_PCM_STATE_OPEN;
    // cppcheck-suppress unusedStructMember
    std::deque<std::uint16_t> frames;
    int fd = -1;
    snd_htimestamp_t trigger{};
    snd_pcm_uframes_t heldAtBreak = 0;
};

struct _snd_pcm_status {
    snd_pcm_uframes_t avail;
    snd_htimestamp_t trigger;
    snd_htimestamp_t now;
};

namespace {

constexpr std::size_t kCapacity = 24000;  // 3 s

std::mutex lock;
alsa_standin::Script script;
snd_pcm_t* current = nullptr;
int openDevices = 0;
unsigned next = 0;
std::size_t periodFrames = 0;  // as the service asked
snd_lib_error_handler_t hostHandler = nullptr;
thread_local snd_local_error_handler_t local = nullptr;

void Readable(snd_pcm_t* pcm, bool readable) {
    std::uint64_t value = 1;
    if (readable) {
        [[maybe_unused]] const ssize_t written = ::write(pcm->fd, &value, sizeof value);
    } else {
        [[maybe_unused]] const ssize_t got = ::read(pcm->fd, &value, sizeof value);
    }
}

// The stream's clock: one sample is 125 microseconds.
snd_htimestamp_t Now() {
    return snd_htimestamp_t{static_cast<time_t>(next / 8000),
                            static_cast<long>(next % 8000) * 125000};
}

void Trigger(snd_pcm_t* pcm, snd_pcm_state_t state) {
    pcm->state = state;
    pcm->trigger = Now();
}

int Broken(const snd_pcm_t* pcm) {
    return pcm->state == SND_PCM_STATE_XRUN        ? -EPIPE
           : pcm->state == SND_PCM_STATE_SUSPENDED ? -ESTRPIPE
                                                   : 0;
}

}  // namespace

namespace alsa_standin {

void Set(const Script& wanted) {
    std::lock_guard<std::mutex> guard(lock);
    script = wanted;
}

void Suspend() {
    std::lock_guard<std::mutex> guard(lock);
    current->heldAtBreak = current->frames.size();
    Trigger(current, SND_PCM_STATE_SUSPENDED);
    Readable(current, true);
}

snd_lib_error_handler_t Handler() { return hostHandler; }

}  // namespace alsa_standin

namespace standin {

void Produce(std::size_t samples) {
    std::lock_guard<std::mutex> guard(lock);
    for (; samples > 0; --samples, ++next) {
        if (current == nullptr || current->state != SND_PCM_STATE_RUNNING) {
            continue;
        }
        if (current->frames.size() == kCapacity) {
            current->heldAtBreak = kCapacity;
            Trigger(current, SND_PCM_STATE_XRUN);
            current->frames.clear();
        } else {
            current->frames.push_back(static_cast<std::uint16_t>(next));
        }
    }
    if (current != nullptr) {
        Readable(current, !script.periods || current->frames.size() >= periodFrames);
    }
}

bool Taken() {
    std::lock_guard<std::mutex> guard(lock);
    return current == nullptr || current->frames.empty();
}

int OpenDevices() {
    std::lock_guard<std::mutex> guard(lock);
    return openDevices;
}

bool Running() {
    std::lock_guard<std::mutex> guard(lock);
    return current != nullptr && current->state == SND_PCM_STATE_RUNNING;
}

}  // namespace standin

int snd_pcm_open(snd_pcm_t** pcm, const char*, snd_pcm_stream_t, int) {
    std::lock_guard<std::mutex> guard(lock);
    if (script.openFails) {
        return -ENOENT;
    }
    current = new _snd_pcm;
    current->fd = ::eventfd(0, EFD_NONBLOCK);
    next = 0;
    *pcm = current;
    ++openDevices;
    return 0;
}

int snd_pcm_close(snd_pcm_t* pcm) {
    std::lock_guard<std::mutex> guard(lock);
    ::close(pcm->fd);
    current = current == pcm ? nullptr : current;
    delete pcm;
    --openDevices;
    return 0;
}

size_t snd_pcm_hw_params_sizeof() { return 64; }
int snd_pcm_hw_params_any(snd_pcm_t*, snd_pcm_hw_params_t*) { return 0; }
int snd_pcm_hw_params_set_access(snd_pcm_t*, snd_pcm_hw_params_t*, snd_pcm_access_t) { return 0; }
int snd_pcm_hw_params_set_format(snd_pcm_t*, snd_pcm_hw_params_t*, snd_pcm_format_t) { return 0; }
int snd_pcm_hw_params_set_channels(snd_pcm_t*, snd_pcm_hw_params_t*, unsigned) { return 0; }
int snd_pcm_hw_params_set_rate_resample(snd_pcm_t*, snd_pcm_hw_params_t*, unsigned) { return 0; }
int snd_pcm_hw_params_set_rate(snd_pcm_t*, snd_pcm_hw_params_t*, unsigned, int) { return 0; }
int snd_pcm_hw_params_set_buffer_time_near(snd_pcm_t*, snd_pcm_hw_params_t*, unsigned*, int*) {
    return 0;
}
// The service's period, kept; ALSA's own signature takes it by pointer.
int snd_pcm_hw_params_set_period_time_near(
    snd_pcm_t*, snd_pcm_hw_params_t*,
    unsigned* val,  // NOLINT(readability-non-const-parameter)
    int*) {
    std::lock_guard<std::mutex> guard(lock);
    periodFrames = std::size_t{*val} * 8000 / 1000000;
    return 0;
}

int snd_pcm_hw_params(snd_pcm_t* pcm, snd_pcm_hw_params_t*) {
    std::lock_guard<std::mutex> guard(lock);
    pcm->state = SND_PCM_STATE_PREPARED;
    return 0;
}

int snd_pcm_poll_descriptors_count(snd_pcm_t*) { return 1; }

int snd_pcm_poll_descriptors(snd_pcm_t* pcm, struct pollfd* pfds, unsigned space) {
    std::lock_guard<std::mutex> guard(lock);
    if (script.pollDescriptorsFail) {
        return -ENOMEM;
    }
    if (space < 1) {
        return 0;
    }
    pfds[0] = pollfd{pcm->fd, POLLIN, 0};
    return 1;
}

int snd_pcm_poll_descriptors_revents(snd_pcm_t*, struct pollfd* pfds, unsigned nfds,
                                     unsigned short* revents) {
    *revents = nfds > 0 ? pfds[0].revents : 0;
    return 0;
}

snd_pcm_state_t snd_pcm_state(snd_pcm_t* pcm) {
    std::lock_guard<std::mutex> guard(lock);
    return pcm->state;
}

int snd_pcm_prepare(snd_pcm_t* pcm) {
    std::lock_guard<std::mutex> guard(lock);
    pcm->state = SND_PCM_STATE_PREPARED;
    pcm->frames.clear();
    return 0;
}

int snd_pcm_start(snd_pcm_t* pcm) {
    std::lock_guard<std::mutex> guard(lock);
    if (pcm->state != SND_PCM_STATE_PREPARED) {
        return -EBADFD;
    }
    Trigger(pcm, SND_PCM_STATE_RUNNING);
    return 0;
}

int snd_pcm_drop(snd_pcm_t* pcm) {
    std::lock_guard<std::mutex> guard(lock);
    pcm->state = SND_PCM_STATE_SETUP;
    pcm->frames.clear();
    return 0;
}

snd_pcm_sframes_t snd_pcm_avail_update(snd_pcm_t* pcm) {
    std::lock_guard<std::mutex> guard(lock);
    const int error = Broken(pcm);
    return error != 0 ? error : static_cast<snd_pcm_sframes_t>(pcm->frames.size());
}

snd_pcm_sframes_t snd_pcm_readi(snd_pcm_t* pcm, void* buffer, snd_pcm_uframes_t size) {
    std::lock_guard<std::mutex> guard(lock);
    if (const int error = Broken(pcm)) {
        return error;
    }
    if (pcm->state != SND_PCM_STATE_RUNNING && pcm->frames.empty()) {
        return -EBADFD;
    }
    if (pcm->frames.empty()) {
        Readable(pcm, false);
        return -EAGAIN;
    }
    snd_pcm_uframes_t got = 0;
    for (; got < size && !pcm->frames.empty(); ++got) {
        if (!script.unfilled) {
            std::memcpy(static_cast<char*>(buffer) + 2 * got, &pcm->frames.front(), 2);
        }
        pcm->frames.pop_front();
    }
    if (pcm->frames.empty() && pcm->state == SND_PCM_STATE_RUNNING) {
        Readable(pcm, false);
    }
    return static_cast<snd_pcm_sframes_t>(got);
}

snd_pcm_sframes_t snd_pcm_avail(snd_pcm_t* pcm) { return snd_pcm_avail_update(pcm); }

int snd_pcm_resume(snd_pcm_t* pcm) {
    std::lock_guard<std::mutex> guard(lock);
    if (pcm->state != SND_PCM_STATE_SUSPENDED) {
        return -EBADFD;
    }
    if (script.holdResume) {
        return -EAGAIN;
    }
    Trigger(pcm, SND_PCM_STATE_RUNNING);
    return 0;
}

size_t snd_pcm_status_sizeof() { return sizeof(snd_pcm_status_t); }

int snd_pcm_status(snd_pcm_t* pcm, snd_pcm_status_t* status) {
    std::lock_guard<std::mutex> guard(lock);
    const bool broken = Broken(pcm) != 0;
    status->avail = broken ? pcm->heldAtBreak : pcm->frames.size();
    status->trigger = pcm->trigger;
    status->now = Now();
    return 0;
}

snd_pcm_uframes_t snd_pcm_status_get_avail(const snd_pcm_status_t* obj) { return obj->avail; }

void snd_pcm_status_get_trigger_htstamp(const snd_pcm_status_t* obj, snd_htimestamp_t* ptr) {
    *ptr = obj->trigger;
}

void snd_pcm_status_get_htstamp(const snd_pcm_status_t* obj, snd_htimestamp_t* ptr) {
    *ptr = obj->now;
}

size_t snd_pcm_sw_params_sizeof() { return 64; }
int snd_pcm_sw_params_current(snd_pcm_t*, snd_pcm_sw_params_t*) { return 0; }
int snd_pcm_sw_params_set_tstamp_mode(snd_pcm_t*, snd_pcm_sw_params_t*, snd_pcm_tstamp_t) {
    return 0;
}
int snd_pcm_sw_params(snd_pcm_t*, snd_pcm_sw_params_t*) { return 0; }

int snd_lib_error_set_handler(snd_lib_error_handler_t handler) {
    hostHandler = handler;
    return 0;
}

snd_local_error_handler_t snd_lib_error_set_local(snd_local_error_handler_t func) {
    const snd_local_error_handler_t previous = local;
    local = func;
    return previous;
}
