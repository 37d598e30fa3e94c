// When a recording ends on its own: at the asked length, at the WAV size
// limit, or when the file has stopped growing; and how much audio a pause
// cost. Times and block counts come in; nothing here reads a clock.
#pragma once

namespace pendrax_host {

class StopPolicy {
public:
    // A block is due every second; this long awake without one means the
    // capture or the file has stopped.
    static constexpr double kStallSeconds = 3.0;
    // A block this late is overdue: the file is worth asking why.
    static constexpr double kOverdueSeconds = 1.1;

    enum class Verdict {
        Continue,
        Done,     // the asked length is in
        Full,     // the file holds the most blocks a WAV header describes
        Stalled,  // no block for kStallSeconds of the host's own time
    };

    // seconds: the asked length, 0 for none.
    explicit StopPolicy(long seconds) : seconds_(seconds) {}

    // Judges the recording `elapsed` seconds after its start, with `written`
    // whole blocks in the file. A long gap since the last check is the host's
    // own pause (stopped, or starved of the processor): it does not count
    // toward a stall, since the device could not be heard meanwhile.
    Verdict Check(double elapsed, long written);

    // True when the next block is late enough to ask the file why.
    bool Overdue() const { return awake_ - awakeAtGrowth_ >= kOverdueSeconds; }

    // How long to wait before the next check.
    int WaitMilliseconds(double elapsed, long written) const;

    // Seconds of audio lost so far (a pause or a stall longer than capture
    // buffers): how much later than at the start the blocks now arrive.
    double LostSeconds() const;

private:
    static constexpr int kRecent = 2;

    long seconds_;
    long lastBlocks_ = 0;
    double lastCheck_ = 0.0;
    double awake_ = 0.0;
    double awakeAtGrowth_ = 0.0;
    // Each arrival's lag (time minus audio): the least before and lately.
    double firstLag_ = 0.0;
    double recentLags_[kRecent] = {};
    int arrivals_ = 0;
};

}  // namespace pendrax_host
