// The record command's pure pieces: the live line.
#include <gtest/gtest.h>

#include <string>

#include "LiveLine.h"

namespace pendrax_host {
namespace {

TEST(LiveLine, LevelLossAndAFitToTheTerminal) {
    EXPECT_EQ(LevelText(0), "no signal");
    EXPECT_EQ(LevelText(32768), "peak 0.0 dBFS");
    EXPECT_EQ(LevelText(1), "peak -90.3 dBFS");
    EXPECT_EQ(LiveLine::Text("'a.wav'", 3, 10, "no signal", ""),
              "recording 'a.wav': 3 of 10 s, no signal");
    EXPECT_EQ(LiveLine::Text("standard output", 3, 0, "", "4.0 s lost (disk stalled)"),
              "recording standard output: 3 s, 4.0 s lost (disk stalled)");
    // A narrow terminal loses the name first, then the tail; never wraps.
    EXPECT_EQ(LiveLine::Fit("recording 'a.wav': 3 s", 80), "recording 'a.wav': 3 s");
    EXPECT_EQ(LiveLine::Fit("recording 'a.wav': 3 s, no signal", 20), "3 s, no signal");
    EXPECT_EQ(LiveLine::Fit("recording 'a.wav': 3 s, no signal", 6), "3 s, ");
    EXPECT_EQ(LiveLine::Fit("recording '\xc3\xa9': 3 s\xc3\xa9", 4), "3 s");
}

}  // namespace
}  // namespace pendrax_host
