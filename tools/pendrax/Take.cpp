#include "Take.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "WavHeader.h"

namespace pendrax_host {
namespace io = pendrax::io;
namespace recorder = pendrax::recorder;

void Take::Tell() {
    fresh_ = true;
    news_.notify_one();
}

void Take::OnBlock(const recorder::Counts& counts, const std::int16_t* samples) {
    int peak = 0;
    for (std::size_t k = 0; k < pendrax::wav::kSampleRate; ++k) {
        peak = std::max(peak, std::abs(static_cast<int>(samples[k])));
    }
    const std::lock_guard<std::mutex> guard(stateLock_);
    state_.blocks = counts.blocks;
    state_.framesLost = std::max(state_.framesLost, counts.framesLost);
    state_.peak = peak;
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

void Take::OnComplete() {
    const std::lock_guard<std::mutex> guard(stateLock_);
    state_.complete = true;
    Tell();
}

void Take::OnWriteFailed(io::OsError error) {
    const std::lock_guard<std::mutex> guard(stateLock_);
    state_.writeFailed = true;
    state_.error = error;
    Tell();
}

Take::State Take::Wait(int milliseconds) {
    std::unique_lock<std::mutex> lock(stateLock_);
    news_.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return fresh_; });
    fresh_ = false;
    return state_;
}

}  // namespace pendrax_host
