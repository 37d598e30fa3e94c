// What every capture service keeps, whichever system's stand-in is beneath.
#include "CaptureTest.h"

namespace capture_test {
namespace {

// The samples after the last whole block are the last block, padded with
// silence; a stop on a block's end adds none.
TEST_F(Capture, AStopKeepsEverySampleCapturedBeforeIt) {
    for (const std::size_t captured : {8300, 16000, 300}) {
        SCOPED_TRACE(captured);
        ASSERT_EQ(Start(), PENDRAX_SUCCESS);
        standin::Produce(captured);  // at once: the service has delivered none of it
        const auto blocks =
            static_cast<std::uint32_t>((captured + kBlockSamples - 1) / kBlockSamples);
        EXPECT_EQ(SoundRecorderStop(), static_cast<int>(blocks));
        EXPECT_EQ(File(), Ramp(captured, blocks));
    }
}

// Five seconds arrive while the first block's write is held up.
TEST_F(Capture, AStalledWriteLosesNothing) {
    ASSERT_EQ(Start(), PENDRAX_SUCCESS);
    standin::HoldWrites(true);
    Produce(6 * kBlockSamples);
    standin::HoldWrites(false);
    EXPECT_EQ(SoundRecorderStop(), 6);
    EXPECT_EQ(File(), Ramp(6 * kBlockSamples, 6));
}

}  // namespace
}  // namespace capture_test
