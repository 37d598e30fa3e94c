// When a recording ends on its own: at the asked length, or when the file
// has stopped growing. Time and blocks come in; nothing here reads a clock.
#pragma once

namespace pendrax_host {

class StopPolicy {
public:
    // A block is due every second; this long without one means the capture
    // or the file has stopped.
    static constexpr double kStallSeconds = 3.0;

    enum class Verdict {
        Continue,
        Done,     // the asked length is in
        Stalled,  // no block for kStallSeconds
    };

    // seconds: the asked length, 0 for none.
    explicit StopPolicy(long seconds) : seconds_(seconds) {}

    // Judges the recording `elapsed` seconds after its start, with `written`
    // whole blocks in the file.
    Verdict Check(double elapsed, long written);

    // How long to wait before the next check: a poll, shortened so that the
    // wait ends at the deadline.
    int WaitMilliseconds(double elapsed) const;

private:
    double Deadline() const;

    long seconds_;
    long lastBlocks_ = 0;
    double lastGrowth_ = 0.0;
};

}  // namespace pendrax_host
