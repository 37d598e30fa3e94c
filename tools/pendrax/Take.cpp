#include "Take.h"

#include <algorithm>
#include <cstdlib>

#include "WavHeader.h"

namespace pendrax_host {
namespace io = pendrax::io;
namespace recorder = pendrax::recorder;
namespace wav = pendrax::wav;
namespace {

// The take's own end, told to the recorder as a failed write: never shown,
// since the take knows it is complete.
constexpr io::OsError kTakeComplete = 0xFFFFFFFFU;

int Peak(const unsigned char* bytes, std::size_t size) {
    int peak = 0;
    for (std::size_t k = 0; k + 1 < size; k += 2) {
        const auto sample = static_cast<std::int16_t>(bytes[k] | (bytes[k + 1] << 8));
        peak = std::max(peak, std::abs(static_cast<int>(sample)));
    }
    return peak;
}

}  // namespace

Take::Take(io::Sink& target, std::uint32_t maxBlocks)
    : target_(target),
      limitBytes_(wav::kWavHeaderBytes +
                  std::uint64_t{maxBlocks != 0 ? maxBlocks : recorder::kRecordingMaxBlocks} *
                      wav::kBlockBytes) {}

io::Transfer Take::Write(const void* data, std::size_t size) {
    if (written_ + size > limitBytes_) {
        complete_ = true;
        return {0, kTakeComplete};
    }
    writeSince_ = Clock::now().time_since_epoch().count();
    const io::Transfer done = target_.Write(data, size);
    writeSince_ = 0;
    written_ += done.bytes;
    if (size == wav::kBlockBytes && done.error == 0) {
        peak_ = Peak(static_cast<const unsigned char*>(data), size);
    }
    return done;
}

void Take::Tell() {
    fresh_ = true;
    news_.notify_one();
}

void Take::OnBlock(const recorder::Counts& counts) {
    const std::lock_guard<std::mutex> guard(stateLock_);
    state_.blocks = counts.blocks;
    state_.framesLost = std::max(state_.framesLost, counts.framesLost);
    Tell();
}

void Take::OnLoss(const recorder::Loss& loss) {
    const std::lock_guard<std::mutex> guard(stateLock_);
    toldLost_ += loss.frames;
    state_.framesLost = std::max(state_.framesLost, toldLost_);
    state_.cause = loss.cause;
    Tell();
}

void Take::OnDeviceEnd() {
    const std::lock_guard<std::mutex> guard(stateLock_);
    state_.deviceEnded = true;
    Tell();
}

void Take::OnWriteFailed(io::OsError error) {
    const std::lock_guard<std::mutex> guard(stateLock_);
    if (!complete_) {
        state_.writeFailed = true;
        state_.error = error;
    }
    Tell();
}

Take::State Take::Wait(int milliseconds) {
    std::unique_lock<std::mutex> lock(stateLock_);
    news_.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return fresh_; });
    fresh_ = false;
    State state = state_;
    state.complete = complete_;
    state.peak = peak_;
    const Clock::rep since = writeSince_;
    if (since != 0) {
        state.heldFor =
            std::chrono::duration<double>(Clock::now().time_since_epoch() - Clock::duration(since))
                .count();
    }
    return state;
}

}  // namespace pendrax_host
