// The record command's pure pieces: where the take ends, and the live line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LiveLine.h"
#include "Take.h"
#include "WavHeader.h"

namespace pendrax_host {
namespace {

namespace io = pendrax::io;

// OUT as bytes in memory.
class MemorySink final : public io::Sink {
public:
    io::Transfer Write(const void* data, std::size_t size) override {
        bytes.append(static_cast<const char*>(data), size);
        return {size, 0};
    }
    bool Seekable() const override { return true; }
    io::OsError WriteAt(std::uint64_t offset, const void* data, std::size_t size) override {
        bytes.replace(offset, size, static_cast<const char*>(data), size);
        return 0;
    }
    io::OsError Truncate(std::uint64_t size) override {
        bytes.resize(size);
        return 0;
    }
    std::string bytes;
};

TEST(Take, EndsAfterTheAskedBlocksAndTellsTheLevel) {
    const std::string header(pendrax::wav::kWavHeaderBytes, 'H');
    const std::vector<unsigned char> block(pendrax::wav::kBlockBytes, 0x40);
    MemorySink out;
    Take take(out, 2);
    ASSERT_EQ(take.Write(header.data(), header.size()).error, 0U);
    for (int k = 0; k < 2; ++k) {
        ASSERT_EQ(take.Write(block.data(), block.size()).error, 0U);
    }
    EXPECT_FALSE(take.Wait(0).complete);
    EXPECT_NE(take.Write(block.data(), block.size()).error, 0U);
    take.OnWriteFailed(1);
    const Take::State state = take.Wait(0);
    EXPECT_TRUE(state.complete);
    EXPECT_FALSE(state.writeFailed);  // the take's own end is no failure
    EXPECT_EQ(LevelText(state.peak), "peak -6.0 dBFS");
    EXPECT_EQ(out.bytes.size(), header.size() + 2 * block.size());
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
}

}  // namespace
}  // namespace pendrax_host
