// The ALSA service over an ALSA PCM that misbehaves on cue.
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

extern "C" void HostHandler(const char*, int, const char*, int, const char*, ...) {}

TEST_F(Alsa, TheHostsErrorHandlerSurvivesARecording) {
    snd_lib_error_set_handler(HostHandler);
    ASSERT_EQ(Start(), PENDRAX_SUCCESS);
    Produce(kBlockSamples);
    EXPECT_EQ(SoundRecorderStop(), 1);
    EXPECT_EQ(alsa_standin::Handler(), &HostHandler);
    snd_lib_error_set_handler(nullptr);
}

TEST_F(Alsa, NoPollDescriptorsFailTheStart) {
    alsa_standin::Set({true});
    EXPECT_EQ(Start(), PENDRAX_RECORDER_START_FAILED);
    EXPECT_EQ(SoundRecorderStop(), 0);
    EXPECT_EQ(File(), Ramp(0, 0));
}

}  // namespace
}  // namespace capture_test
