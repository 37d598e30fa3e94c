// The record command's pure pieces: when a recording stops, what a pause
// costs, and the live line's level.
#include <gtest/gtest.h>

#include <vector>

#include "PendraxWAVFlanger.h"
#include "record/LiveLine.h"
#include "record/Meter.h"
#include "record/StopPolicy.h"

namespace pendrax_host {
namespace {

using Verdict = StopPolicy::Verdict;

// Checks every 0.1 s from `from` to `to` with `blocks` written, as a
// source delivering one block a second from `lag` seconds on would.
Verdict RunSteady(StopPolicy& policy, double from, double to, double lag) {
    Verdict verdict = Verdict::Continue;
    for (int step = 0; from + 0.1 * step < to && verdict == Verdict::Continue; ++step) {
        const double t = from + 0.1 * step;
        verdict = policy.Check(t, t > lag ? static_cast<long>(t - lag) : 0);
    }
    return verdict;
}

TEST(StopPolicy, StopsOnceTheAskedBlockIsInWhateverThePace) {
    StopPolicy realTime(3);
    EXPECT_EQ(RunSteady(realTime, 0.0, 10.0, 0.05), Verdict::Done);
    StopPolicy fast(3);
    EXPECT_EQ(fast.Check(0.001, 2), Verdict::Continue);
    EXPECT_EQ(fast.Check(0.002, 5000), Verdict::Done);
    // A source ahead of the clock is looked at every millisecond.
    EXPECT_EQ(fast.WaitMilliseconds(0.5, 5000), 1);
    StopPolicy full(0);
    EXPECT_EQ(full.Check(0.5, PENDRAX_MAX_BLOCKS), Verdict::Full);
}

TEST(StopPolicy, AHostPauseIsNotAStallButADeadDeviceIs) {
    StopPolicy paused(0);
    EXPECT_EQ(RunSteady(paused, 0.0, 2.0, 0.05), Verdict::Continue);
    // Stopped for 3.5 s: the next check sees the backlog, the recording goes on.
    EXPECT_EQ(paused.Check(5.5, 2), Verdict::Continue);
    EXPECT_EQ(paused.Check(5.6, 5), Verdict::Continue);
    EXPECT_EQ(RunSteady(paused, 5.7, 9.0, 0.05), Verdict::Continue);
    EXPECT_DOUBLE_EQ(paused.LostSeconds(), 0.0);

    StopPolicy dead(0);
    EXPECT_EQ(RunSteady(dead, 0.0, 2.0, 0.05), Verdict::Continue);
    EXPECT_FALSE(dead.Overdue());
    EXPECT_EQ(RunSteady(dead, 2.0, 2.5, 0.05), Verdict::Continue);  // block 2 in, the last
    EXPECT_EQ(dead.Check(2.8, 2), Verdict::Continue);
    EXPECT_EQ(dead.Check(3.0, 2), Verdict::Continue);
    EXPECT_FALSE(dead.Overdue());
    EXPECT_EQ(dead.Check(3.25, 2), Verdict::Continue);
    EXPECT_TRUE(dead.Overdue());
    EXPECT_EQ(RunSteady(dead, 3.3, 8.0, 100.0), Verdict::Stalled);
}

TEST(StopPolicy, AudioLostInAPauseIsMeasuredAgainstTheClock) {
    StopPolicy policy(0);
    EXPECT_EQ(RunSteady(policy, 0.0, 3.0, 0.05), Verdict::Continue);
    // Half a second of audio skipped: every block from here is 0.5 s later.
    EXPECT_EQ(RunSteady(policy, 3.0, 9.0, 0.55), Verdict::Continue);
    EXPECT_NEAR(policy.LostSeconds(), 0.5, 0.1);
}

TEST(Meter, GivesTheBlocksPeakOrNoSignal) {
    struct Case {
        std::vector<unsigned char> bytes;
        const char* text;
    };
    const std::vector<Case> cases = {
        {{0, 0, 0, 0}, "no signal"},
        {{0, 0x40, 0, 0}, "peak -6.0 dBFS"},            // 16384
        {{0, 0x80, 0, 0}, "peak 0.0 dBFS"},             // -32768
        {{0x01, 0x00, 0xff, 0xff}, "peak -90.3 dBFS"},  // 1 and -1
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PeakText(c.bytes.data(), c.bytes.size()), c.text);
    }
    EXPECT_EQ(LiveLine::Text("'a.wav'", 3, 10, "no signal"),
              "recording 'a.wav': 3 of 10 s, no signal");
    EXPECT_EQ(LiveLine::Text("standard output", 3, 0, ""), "recording standard output: 3 s");
    // A narrow terminal loses the name first, then the tail; never wraps.
    EXPECT_EQ(LiveLine::Fit("recording 'a.wav': 3 s", 80), "recording 'a.wav': 3 s");
    EXPECT_EQ(LiveLine::Fit("recording 'a.wav': 3 s, no signal", 20), "3 s, no signal");
    EXPECT_EQ(LiveLine::Fit("recording 'a.wav': 3 s, no signal", 6), "3 s, ");
    EXPECT_EQ(LiveLine::Fit("recording '\xc3\xa9': 3 s\xc3\xa9", 4), "3 s");
}

}  // namespace
}  // namespace pendrax_host
