#include "record/StopPolicy.h"

#include <algorithm>
#include <cmath>

namespace pendrax_host {
namespace {

constexpr double kPollSeconds = 0.1;
// --seconds N stops this much before N seconds: capture runs only a few
// milliseconds behind the clock, so a host that woke a little late would
// catch the first samples of second N + 1, and the file would hold N + 1
// blocks. The last block then ends in about this much silence.
constexpr double kEarlySeconds = 0.1;

}  // namespace

double StopPolicy::Deadline() const { return static_cast<double>(seconds_) - kEarlySeconds; }

StopPolicy::Verdict StopPolicy::Check(double elapsed, long written) {
    if (written > lastBlocks_) {
        lastBlocks_ = written;
        lastGrowth_ = elapsed;
    }
    // The module keeps the second in progress at the stop: no wait for it.
    // N - 1 whole blocks go first, so audio that came late still gives N.
    if (seconds_ > 0 && elapsed >= Deadline() && written >= seconds_ - 1) {
        return Verdict::Done;
    }
    if (elapsed - lastGrowth_ >= kStallSeconds) {
        return Verdict::Stalled;
    }
    return Verdict::Continue;
}

int StopPolicy::WaitMilliseconds(double elapsed) const {
    // Wakes at the deadline, not at the next poll after it.
    const double left = seconds_ > 0 ? Deadline() - elapsed : kPollSeconds;
    return static_cast<int>(std::ceil(1000 * std::clamp(left, 0.01, kPollSeconds)));
}

}  // namespace pendrax_host
