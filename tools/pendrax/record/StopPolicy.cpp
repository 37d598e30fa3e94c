#include "record/StopPolicy.h"

#include <algorithm>
#include <cmath>

#include "PendraxWAVFlanger.h"

namespace pendrax_host {
namespace {

constexpr double kPollSeconds = 0.1;
// Checks further apart than this were the host's pause, not the device's
// silence; only this much of such a gap counts as time awake.
constexpr double kLongestWake = 0.5;
// Device clocks run a little slow or fast: a lag this small for the length
// of the recording is drift, not loss.
constexpr double kDriftPerSecond = 0.0005;
constexpr double kSmallestLoss = 0.2;

}  // namespace

StopPolicy::Verdict StopPolicy::Check(double elapsed, long written) {
    awake_ += std::clamp(elapsed - lastCheck_, 0.0, kLongestWake);
    lastCheck_ = elapsed;
    if (written > lastBlocks_) {
        lastBlocks_ = written;
        awakeAtGrowth_ = awake_;
        const double lag = elapsed - static_cast<double>(written);
        firstLag_ = arrivals_ == 0 ? lag : std::min(firstLag_, lag);
        recentLags_[arrivals_ % kRecent] = lag;
        ++arrivals_;
    }
    if (seconds_ > 0 && written >= seconds_) {
        return Verdict::Done;
    }
    if (written >= PENDRAX_MAX_BLOCKS) {
        return Verdict::Full;
    }
    if (awake_ - awakeAtGrowth_ >= kStallSeconds) {
        return Verdict::Stalled;
    }
    return Verdict::Continue;
}

int StopPolicy::WaitMilliseconds(double elapsed, long written) const {
    // A source faster than real time fills a block in microseconds: look
    // often, so little is written past the asked length.
    if (static_cast<double>(written) > elapsed + 1.0 || elapsed < 0.2) {
        return seconds_ > 0 ? 1 : 10;
    }
    double wait = kPollSeconds;
    if (seconds_ > 0) {
        // Block N is due at N seconds: look often from just before it.
        const double due = static_cast<double>(seconds_) - 0.2 - elapsed;
        wait = std::clamp(due, 0.01, kPollSeconds);
    }
    return static_cast<int>(std::ceil(1000 * wait));
}

double StopPolicy::LostSeconds() const {
    if (arrivals_ < 2) {
        return 0.0;
    }
    const int recent = std::min(arrivals_, kRecent);
    const double lately = *std::min_element(recentLags_, recentLags_ + recent);
    const double lost = lately - firstLag_;
    const double allowed = kSmallestLoss + kDriftPerSecond * lastCheck_;
    return lost >= allowed ? lost : 0.0;
}

}  // namespace pendrax_host
