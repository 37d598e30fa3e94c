// The module recording through ALSA from a real sound server: a private
// PulseAudio (started by the test fixture) plays a 440 Hz tone into a null
// sink whose monitor is the default source.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "PendraxWAVFlanger.h"
#include "TestSupport.h"

using pendrax_test::RunCommand;
using pendrax_test::TempDir;
using pendrax_test::Wide;

namespace {

constexpr long kBlock = 16000;

// A value from sox's stat report, whose lines read "Name:   value"; -1 when absent.
double StatField(const std::string& stat, const std::string& field) {
    const std::size_t at = stat.find(field + ":");
    return at == std::string::npos ? -1.0
                                   : std::strtod(stat.c_str() + at + field.size() + 1, nullptr);
}

class LiveRecording : public ::testing::Test {
protected:
    // One tone for the whole suite. The null sink runs with a latency of
    // seconds while nothing plays; a low-latency stream and a short wait
    // bring it down, so blocks arrive on time.
    static void SetUpTestSuite() {
        tones = new TempDir;
        const std::string tone = tones->File("tone.wav");
        ASSERT_EQ(RunCommand("sox -n -r 8000 -c 1 -b 16 " + tone + " synth 30 sine 440 vol 0.5"),
                  0);
        player = ::fork();
        ASSERT_GE(player, 0);
        if (player == 0) {
            ::execlp("paplay", "paplay", "--latency-msec=20", tone.c_str(),
                     static_cast<char*>(nullptr));
            ::_exit(127);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    }
    static void TearDownTestSuite() {
        if (player > 0) {
            ::kill(player, SIGTERM);
            ::waitpid(player, nullptr, 0);
        }
        delete tones;
    }

    static TempDir* tones;
    static pid_t player;
    TempDir dir;
};

TempDir* LiveRecording::tones = nullptr;
pid_t LiveRecording::player = -1;

TEST_F(LiveRecording, RecordsTheToneWithAnExactHeader) {
    const std::string path = dir.File("tone.wav");
    ASSERT_EQ(SoundRecorderStart(Wide(path).c_str()), PENDRAX_SUCCESS);
    std::this_thread::sleep_for(std::chrono::milliseconds(3300));
    const auto before = std::chrono::steady_clock::now();
    const int blocks = SoundRecorderStop();
    const double stopMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - before)
            .count();
    std::printf(
        "[ figure ] SoundRecorderStop took %.2f ms (goal: under 100 ms); %d blocks in 3.3 s\n",
        stopMs, blocks);

    EXPECT_GE(blocks, 2);
    EXPECT_LE(blocks, 4);
    EXPECT_EQ(pendrax_test::ReadBytes(path).size(), static_cast<std::size_t>(44 + blocks * kBlock));
    std::string info;
    ASSERT_EQ(RunCommand("soxi -s " + path, &info), 0) << info;  // sox reads the header
    EXPECT_EQ(std::stol(info), blocks * 8000L);
    std::string stat;
    // The first block may start mid-way into the stream: look at the last second.
    ASSERT_EQ(RunCommand("sox " + path + " -n trim -1 stat", &stat), 0) << stat;
    EXPECT_NEAR(StatField(stat, "Rough   frequency"), 440, 15) << stat;
    EXPECT_NEAR(StatField(stat, "RMS     amplitude"), 0.3535, 0.03) << stat;
}

// The host, not a fork of this process: the sound server's client library
// refuses to run in a forked copy of a process that has used it.
TEST_F(LiveRecording, AKilledRecordingLeavesAReadableFile) {
    const std::string path = dir.File("killed.wav");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::execl(PENDRAX_HOST, PENDRAX_HOST, "record", path.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(3300));
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the host ended by itself: " << status;
    std::string seconds;
    ASSERT_EQ(RunCommand("soxi -D " + path, &seconds), 0) << seconds;
    EXPECT_GE(std::stod(seconds), 2.0);
    std::string stat;
    ASSERT_EQ(RunCommand("sox " + path + " -n stat", &stat), 0) << stat;
}

TEST_F(LiveRecording, NoCaptureDeviceGivesResultOne) {
    ::setenv("PENDRAX_CAPTURE_DEVICE", "pendrax_no_such_device", 1);
    const std::string path = dir.File("none.wav");
    EXPECT_EQ(SoundRecorderStart(Wide(path).c_str()), PENDRAX_RECORDER_DEVICE_OPEN_FAILED);
    EXPECT_EQ(SoundRecorderStop(), 0);
    ::unsetenv("PENDRAX_CAPTURE_DEVICE");
    EXPECT_EQ(pendrax_test::ReadBytes(path), pendrax_test::CanonicalHeader(0));
}

}  // namespace
