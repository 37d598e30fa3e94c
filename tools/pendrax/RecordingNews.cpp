#include "RecordingNews.h"

#include <algorithm>
#include <cstdlib>

#include "Os.h"
#include "WavHeader.h"

namespace pendrax_host {
namespace io = pendrax::io;
namespace recorder = pendrax::recorder;

void RecordingNews::OnBlock(const recorder::Counts& counts, const std::int16_t* samples) {
    int peak = 0;
    for (std::size_t k = 0; k < pendrax::wav::kSampleRate; ++k) {
        peak = std::max(peak, std::abs(static_cast<int>(samples[k])));
    }
    const std::lock_guard<std::mutex> guard(stateLock_);
    state_.blocks = counts.blocks;
    state_.framesLost = std::max(state_.framesLost, counts.framesLost);
    state_.peak = peak;
    WakeWaiter();
}

void RecordingNews::OnLoss(const recorder::Loss& loss) {
    const std::lock_guard<std::mutex> guard(stateLock_);
    lostSoFar_ += loss.frames;
    state_.framesLost = std::max(state_.framesLost, lostSoFar_);
    state_.cause = loss.cause;
    WakeWaiter();
}

void RecordingNews::OnDeviceEnd() {
    const std::lock_guard<std::mutex> guard(stateLock_);
    state_.deviceEnded = true;
    WakeWaiter();
}

void RecordingNews::OnComplete() {
    const std::lock_guard<std::mutex> guard(stateLock_);
    state_.complete = true;
    WakeWaiter();
}

void RecordingNews::OnWriteFailed(io::OsError error) {
    const std::lock_guard<std::mutex> guard(stateLock_);
    state_.writeFailed = true;
    state_.error = error;
    WakeWaiter();
}

RecordingNews::State RecordingNews::Wait(int milliseconds) {
    // The wake-up is taken before the state: news after it wakes the next wait.
    WaitForWake(milliseconds);
    const std::lock_guard<std::mutex> guard(stateLock_);
    return state_;
}

}  // namespace pendrax_host
