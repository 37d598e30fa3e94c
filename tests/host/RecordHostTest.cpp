// The record command's pieces: the recording's news and what wakes the
// host for it, and the live line.
#include <gtest/gtest.h>

#include <chrono>
#include <clocale>
#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include "LiveLine.h"
#include "Os.h"
#include "RecordingNews.h"
#include "WavHeader.h"

namespace pendrax_host {
namespace {

TEST(RecordingNews, GivesTheLevelAndTheEnd) {
    const std::vector<std::int16_t> block(pendrax::wav::kSampleRate, 0x4040);
    RecordingNews news;
    EXPECT_EQ(news.Wait(0).peak, -1);
    news.OnBlock({1, 0, 0}, block.data());
    news.OnComplete();
    const RecordingNews::State state = news.Wait(0);
    EXPECT_TRUE(state.complete);
    EXPECT_FALSE(state.writeFailed);
    EXPECT_EQ(LevelText(state.peak), "peak -6.0 dBFS");
}

// The host sleeps with no time of its own due: a stop signal taken on
// another thread (the recorder's) must still end the wait.
TEST(RecordingNews, AStopSignalOnAnyThreadEndsTheWait) {
    InstallStopHandlers();
    RecordingNews news;
    const auto start = std::chrono::steady_clock::now();
    std::thread other([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        (void)std::raise(SIGTERM);  // handled on this thread
    });
    (void)news.Wait(60000);
    other.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    EXPECT_TRUE(StopRequested());
    EXPECT_EQ(StopStatus(), 143);
}

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
#ifndef _WIN32
    // Wide characters take two columns each: four of them fill eight.
    if (std::setlocale(LC_CTYPE, "C.UTF-8") != nullptr) {
        const std::string wide = "\xe5\xa3\xb0\xe9\x9f\xb3\xe6\x96\x87\xe4\xbb\xb6";
        EXPECT_EQ(LiveLine::Fit("recording '" + wide + "': 3 s", 24), "3 s");
        EXPECT_EQ(LiveLine::Fit(wide, 8), "\xe5\xa3\xb0\xe9\x9f\xb3\xe6\x96\x87");
    }
#endif
}

}  // namespace
}  // namespace pendrax_host
