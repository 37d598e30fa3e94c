// The ALSA service over an ALSA PCM that misbehaves on cue.
#include <chrono>
#include <thread>

#include "AlsaStandIn.h"
#include "CaptureTest.h"

namespace capture_test {
namespace {

class Alsa : public Capture {
protected:
    void TearDown() override {
        Capture::TearDown();
        alsa_standin::Set({});
    }
};

TEST_F(Alsa, ARecordingGoesOnAfterASuspendAndResume) {
    ASSERT_EQ(Start(), PENDRAX_SUCCESS);
    Produce(4000);
    alsa_standin::Suspend();
    ASSERT_TRUE(standin::WaitFor(standin::Running)) << "resumed";
    Produce(8000);
    EXPECT_EQ(SoundRecorderStop(), 2);
    EXPECT_EQ(File(), Ramp(12000, 2));
}

// 42,000 samples at once overrun the 3 s buffer: the 24,000 it held and
// the 18,000 after are silence of their length, told as an overrun.
TEST_F(Alsa, AnOverrunBecomesSilenceOfItsLength) {
    Core core;
    ASSERT_TRUE(StartCore(core));
    standin::Produce(42000);
    ASSERT_TRUE(standin::WaitFor(standin::Running));
    Produce(8000);
    const auto result = core.recorder.Stop();
    EXPECT_EQ(result.counts.framesLost, 42000U);
    EXPECT_EQ(core.Losses(), (std::vector<pendrax::recorder::Loss>{
                                 {0, 42000, pendrax::recorder::LossCause::DeviceOverrun}}));
    EXPECT_EQ(core.Written(), Heard(7, {{42000, 50000}}));
}

// The system takes its time to come back: the second it was away is
// silence; and a stop while it is away returns at once, with the time it
// was away up to the stop told as lost.
TEST_F(Alsa, ASlowResumeIsSilenceAndDoesNotHoldAStop) {
    Core core;
    ASSERT_TRUE(StartCore(core));
    Produce(4000);
    alsa_standin::Set({false, false, true});
    alsa_standin::Suspend();
    standin::Produce(8000);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    alsa_standin::Set({});
    ASSERT_TRUE(standin::WaitFor(standin::Running));
    Produce(4000);
    const auto result = core.recorder.Stop();
    EXPECT_EQ(result.counts.framesLost, 8000U);
    EXPECT_EQ(core.Written(), Heard(2, {{0, 4000}, {12000, 16000}}));

    Core away;
    ASSERT_TRUE(StartCore(away));
    Produce(4000);
    alsa_standin::Set({false, false, true});
    alsa_standin::Suspend();
    standin::Produce(2000);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    const auto began = std::chrono::steady_clock::now();
    const auto stopped = away.recorder.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::milliseconds(300));
    EXPECT_EQ(stopped.counts.framesLost, 2000U);
    EXPECT_EQ(away.Losses(), (std::vector<pendrax::recorder::Loss>{
                                 {4000, 2000, pendrax::recorder::LossCause::Suspended}}));
    EXPECT_EQ(away.Written(), Heard(1, {{0, 4000}}));
}

// A device that reports frames it never fills (ALSA's null) gives silence.
TEST_F(Alsa, FramesReportedButNotFilledAreSilence) {
    alsa_standin::Set({false, true, false});
    ASSERT_EQ(Start(), PENDRAX_SUCCESS);
    Produce(16000);
    EXPECT_EQ(SoundRecorderStop(), 2);
    EXPECT_EQ(File(), Heard(2, {}));
}

// A device that wakes the service once a period: a period and a half is
// taken at the first wake-up, the rest waits in the device through the
// period in progress, and a stop there keeps every sample up to it.
TEST_F(Alsa, AStopInTheMiddleOfAPeriodKeepsEverySample) {
    alsa_standin::Set({false, false, false, false, true});
    ASSERT_EQ(Start(), PENDRAX_SUCCESS);
    standin::Produce(12000);
    ASSERT_TRUE(standin::WaitFor(standin::Taken));
    standin::Produce(3000);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(standin::Taken()) << "woken before the period was in";
    EXPECT_EQ(SoundRecorderStop(), 2);
    EXPECT_EQ(File(), Ramp(15000, 2));
}

extern "C" void HostHandler(const char*, int, const char*, int, const char*, ...) {}

TEST_F(Alsa, TheHostsErrorHandlerSurvivesARecording) {
    snd_lib_error_set_handler(HostHandler);
    ASSERT_EQ(Start(), PENDRAX_SUCCESS);
    Produce(kBlockSamples);
    EXPECT_EQ(SoundRecorderStop(), 1);
    EXPECT_EQ(alsa_standin::Handler(), &HostHandler);
    snd_lib_error_set_handler(nullptr);
}

// Each failed start: its file (if it made one) holds the header for no
// blocks, the owed stop returns 0, and a start without that stop records.
TEST_F(Alsa, AStartAfterEachFailedStartRecords) {
    const struct {
        alsa_standin::Script script;
        bool noFolder;
        int result;
    } failures[] = {{{false, false, false, true}, false, PENDRAX_RECORDER_DEVICE_OPEN_FAILED},
                    {{true}, false, PENDRAX_RECORDER_START_FAILED},
                    {{}, true, PENDRAX_RECORDER_FILE_FAILED}};
    for (const auto& failure : failures) {
        for (const bool stopOwed : {true, false}) {
            SCOPED_TRACE(failure.result * 10 + stopOwed);
            alsa_standin::Set(failure.script);
            const std::string name =
                failure.noFolder ? dir.File("no/such.wav") : dir.File("failed.wav");
            EXPECT_EQ(SoundRecorderStart(pendrax_test::Wide(name).c_str()), failure.result);
            if (stopOwed) {
                EXPECT_EQ(SoundRecorderStop(), 0);
            }
            EXPECT_EQ(pendrax_test::ReadBytes(name), failure.noFolder ? Bytes{} : Ramp(0, 0));
            alsa_standin::Set({});
            ASSERT_EQ(Start(), PENDRAX_SUCCESS);
            Produce(kBlockSamples);
            EXPECT_EQ(SoundRecorderStop(), 1);
            EXPECT_EQ(File(), Ramp(kBlockSamples, 1));
            EXPECT_EQ(standin::OpenDevices(), 0);
        }
    }
}

}  // namespace
}  // namespace capture_test
