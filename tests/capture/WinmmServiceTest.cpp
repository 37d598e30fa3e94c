// The winmm service over a winmm that misbehaves on cue.
#include <chrono>
#include <thread>

#include "CaptureTest.h"
#include "WinmmStandIn.h"

namespace capture_test {
namespace {

class Winmm : public Capture {
protected:
    void TearDown() override {
        Capture::TearDown();
        winmm_standin::Set({});
    }
};

// A device lost with a completed buffer (4000 samples) still waiting: it
// reaches the file, and then capture ends.
TEST_F(Winmm, ALostDeviceKeepsEveryCompletedBuffer) {
    winmm_standin::Set({4, false, 0});  // the first buffer queued again is refused
    ASSERT_EQ(Start(), PENDRAX_SUCCESS);
    standin::Produce(4000);
    EXPECT_TRUE(standin::WaitFor([] { return !standin::Running(); }));
    standin::Produce(8000);
    EXPECT_EQ(SoundRecorderStop(), 1);
    EXPECT_EQ(File(), Ramp(4000, 1));
}

// A driver that keeps a buffer through one reset, or through every one:
// no thread of the service is left, and the device is closed unless winmm
// never lets it be.
TEST_F(Winmm, AStopLeavesNoThreadWhateverWinmmKeeps) {
    std::thread([] {}).join();  // a sanitizer's helper thread, if any, starts here
    for (const int keeping : {1, 1000}) {
        SCOPED_TRACE(keeping);
        winmm_standin::Set({-1, false, keeping});
        const long threads = Threads();
        const int devices = standin::OpenDevices();
        ASSERT_EQ(Start(), PENDRAX_SUCCESS);
        standin::Produce(1000);
        EXPECT_EQ(SoundRecorderStop(), 1);
        EXPECT_EQ(File(), Ramp(1000, 1));
        // A joined thread's entry can outlive it for a moment (under qemu-user).
        EXPECT_TRUE(standin::WaitFor([&] { return Threads() == threads; })) << Threads();
        EXPECT_EQ(standin::OpenDevices(), devices + (keeping == 1 ? 0 : 1));
    }
}

// The third driver buffer cannot be prepared: the two before are released
// and the device closed.
TEST_F(Winmm, AFailedPrepareLeavesNothingPrepared) {
    winmm_standin::Set({-1, false, 0, 2});
    const int devices = standin::OpenDevices();
    const int prepared = winmm_standin::Prepared();
    EXPECT_EQ(Start(), PENDRAX_RECORDER_DEVICE_OPEN_FAILED);
    EXPECT_EQ(winmm_standin::Prepared(), prepared);
    EXPECT_EQ(standin::OpenDevices(), devices);
}

// The buffers a stop hands back come late: within the stop's wait they
// are kept; past it, the one in progress (after a full one of 4000
// samples) is told as lost for its length.
TEST_F(Winmm, LateBuffersAreKeptOrCounted) {
    for (const int late : {100, 1000}) {
        SCOPED_TRACE(late);
        winmm_standin::Script script;
        script.lateMilliseconds = late;
        winmm_standin::Set(script);
        Core core;
        ASSERT_TRUE(StartCore(core));
        Produce(5000);
        const auto result = core.recorder.Stop();
        EXPECT_EQ(result.counts.framesLost, late == 100 ? 0U : 4000U);
        EXPECT_EQ(core.Written(), Ramp(late == 100 ? 5000 : 4000, 1));
    }
}

TEST_F(Winmm, BuffersHandedBackEmptyEndCaptureAndTheStopReturns) {
    winmm_standin::Set({-1, true, 0});
    ASSERT_EQ(Start(), PENDRAX_SUCCESS);
    EXPECT_TRUE(standin::WaitFor([] { return !standin::Running(); }));
    const auto began = std::chrono::steady_clock::now();
    EXPECT_EQ(SoundRecorderStop(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::milliseconds(100));
    EXPECT_EQ(File(), Ramp(0, 0));
}

}  // namespace
}  // namespace capture_test
