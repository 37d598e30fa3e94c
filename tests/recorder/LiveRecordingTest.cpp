// The module recording from a real sound server (through its own client
// library, the default device's backend while it answers): a private
// PulseAudio (started by the test fixture) plays a 440 Hz tone into a null
// sink whose monitor is the default source.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <thread>
#include <vector>

#include "PendraxWAVFlanger.h"
#include "TestSupport.h"

using pendrax_test::RunCommand;
using pendrax_test::TempDir;
using pendrax_test::Wide;

namespace {

constexpr long kBlock = PENDRAX_BLOCK_BYTES;
constexpr long kRate = PENDRAX_SAMPLE_RATE;

std::vector<std::int16_t> Samples(const pendrax_test::Bytes& wav) {
    std::vector<std::int16_t> samples;
    for (std::size_t at = PENDRAX_WAV_HEADER_BYTES; at + 1 < wav.size(); at += 2) {
        samples.push_back(static_cast<std::int16_t>(wav[at] | (wav[at + 1] << 8)));
    }
    return samples;
}

// The worst error of predicting each sample of a pure tone from the two
// before it, x[n] = 2cos(w)x[n-1] - x[n-2]: at the first two samples of each
// one-second block after the first (where a gap between blocks would show),
// and everywhere else, up to `end`. The first few milliseconds are left out:
// the sound server's resampler fades a new stream in.
struct JoinErrors {
    double atJoins = 0;
    double elsewhere = 0;
};
JoinErrors PredictionErrors(const std::vector<std::int16_t>& x, std::size_t end, double hertz) {
    const double twoCos = 2 * std::cos(2 * M_PI * hertz / kRate);
    JoinErrors errors;
    for (std::size_t n = 32; n < end && n < x.size(); ++n) {
        const double error = std::fabs(x[n] - twoCos * x[n - 1] + x[n - 2]);
        double& worst = n % kRate < 2 ? errors.atJoins : errors.elsewhere;
        worst = std::max(worst, error);
    }
    return errors;
}

// A value from sox's stat report, whose lines read "Name:   value"; -1 when absent.
double StatField(const std::string& stat, const std::string& field) {
    const std::size_t at = stat.find(field + ":");
    return at == std::string::npos ? -1.0
                                   : std::strtod(stat.c_str() + at + field.size() + 1, nullptr);
}

class LiveRecording : public ::testing::Test {
protected:
    // One tone for the whole suite, played into the sink whose monitor is
    // recorded, and heard there before any case starts.
    static void SetUpTestSuite() {
        tones = new TempDir;
        std::string output;
        ASSERT_EQ(
            RunCommand(std::string(PENDRAX_START_TONE) + " " + tones->File("tone.wav") + " 120",
                       &output),
            0)
            << output;
        player = static_cast<pid_t>(std::stol(output));
    }
    static void TearDownTestSuite() {
        if (player > 0) {
            ::kill(player, SIGTERM);
        }
        delete tones;
    }

    static TempDir* tones;
    static pid_t player;
    TempDir dir;
};

TempDir* LiveRecording::tones = nullptr;
pid_t LiveRecording::player = -1;

// Eight and a half seconds: eight whole blocks joined without a gap, then
// the second in progress at the stop, which holds the tone and then silence.
TEST_F(LiveRecording, KeepsEverySampleOfTheTone) {
    const std::string path = dir.File("tone.wav");
    const auto begin = std::chrono::steady_clock::now();
    ASSERT_EQ(SoundRecorderStart(Wide(path).c_str()), PENDRAX_SUCCESS);
    std::this_thread::sleep_for(std::chrono::milliseconds(8500));
    const auto before = std::chrono::steady_clock::now();
    const int blocks = SoundRecorderStop();
    const auto after = std::chrono::steady_clock::now();

    ASSERT_EQ(blocks, 9);
    const pendrax_test::Bytes wav = pendrax_test::ReadBytes(path);
    ASSERT_EQ(wav.size(), static_cast<std::size_t>(PENDRAX_WAV_HEADER_BYTES + blocks * kBlock));
    std::string info;
    ASSERT_EQ(RunCommand("soxi -s " + path, &info), 0) << info;  // sox reads the header
    EXPECT_EQ(std::stol(info), blocks * kRate);
    std::string stat;
    ASSERT_EQ(RunCommand("sox " + path + " -n trim 1 1 stat", &stat), 0) << stat;
    EXPECT_NEAR(StatField(stat, "Rough   frequency"), 440, 15) << stat;
    EXPECT_NEAR(StatField(stat, "RMS     amplitude"), 0.3535, 0.03) << stat;

    const std::vector<std::int16_t> samples = Samples(wav);
    const auto lastBlock = static_cast<std::size_t>((blocks - 1) * kRate);
    std::size_t end = samples.size();
    while (end > lastBlock && samples[end - 1] == 0) {
        --end;
    }
    EXPECT_GT(end, lastBlock + kRate / 4) << "the last second holds the tone";
    EXPECT_LT(end, samples.size() - kRate / 4) << "and then silence";

    const JoinErrors errors = PredictionErrors(samples, lastBlock, 440);
    const double seconds = std::chrono::duration<double>(before - begin).count();
    const double stopMs = std::chrono::duration<double, std::milli>(after - before).count();
    std::printf(
        "[ figure ] first frame %.3f s after SoundRecorderStart (goal: at most 0.3 s); "
        "SoundRecorderStop took %.2f ms (goal: under 100 ms)\n",
        seconds - static_cast<double>(end) / kRate, stopMs);
    std::printf("[ figure ] worst prediction error at %d one-second joins %.0f, elsewhere %.0f\n",
                blocks - 2, errors.atJoins, errors.elsewhere);
    EXPECT_LE(errors.atJoins, errors.elsewhere) << "a gap or an overlap where two blocks meet";
    EXPECT_LT(errors.elsewhere, 2000) << "the tone is not steady";
}

// --seconds N gives N blocks, whenever the first audio arrives.
TEST_F(LiveRecording, TheHostRecordsTheSecondsAskedFor) {
    int exact = 0;
    for (int run = 0; run < 10; ++run) {
        const std::string path = dir.File("timed.wav");
        std::string output;
        ASSERT_EQ(
            RunCommand(std::string(PENDRAX_HOST) + " record '" + path + "' --seconds 3", &output),
            0)
            << output;
        exact += pendrax_test::ReadBytes(path).size() ==
                 static_cast<std::size_t>(PENDRAX_WAV_HEADER_BYTES + 3 * kBlock);
    }
    std::printf("[ figure ] --seconds 3 gave 3 blocks in %d runs of 10\n", exact);
    EXPECT_EQ(exact, 10);
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

// A host that unloads the library mid-recording, in a process of its own
// (the sound server's client library does not survive a fork).
TEST_F(LiveRecording, UnloadingStopsTheRecording) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "an instrumented library cannot be loaded into an uninstrumented interpreter";
#endif
    const std::string path = dir.File("unloaded.wav");
    const std::string script =
        "import ctypes, _ctypes, time\n"
        "m = ctypes.CDLL('" PENDRAX_MODULE
        "')\n"
        "assert m.SoundRecorderStart(ctypes.create_string_buffer('" +
        path +
        "'.encode('utf-16-le') + bytes(2))) == 999\n"
        "time.sleep(1.5)\n"
        "_ctypes.dlclose(m._handle)\n"
        "time.sleep(0.5)\n";
    std::string output;
    ASSERT_EQ(RunCommand("/usr/bin/python3 -c \"" + script + "\"", &output), 0) << output;
    const pendrax_test::Bytes wav = pendrax_test::ReadBytes(path);
    ASSERT_EQ(wav.size(), static_cast<std::size_t>(PENDRAX_WAV_HEADER_BYTES + 2 * kBlock));
    EXPECT_EQ(pendrax_test::Bytes(wav.begin(), wav.begin() + PENDRAX_WAV_HEADER_BYTES),
              pendrax_test::CanonicalHeader(2 * kBlock));
}

// The sound server's own client library records "pulse", and "default"
// while a server answers, on the recorder's two threads: no client thread
// of the library's (ALSA's plugin for the server would start one), and the
// stop keeps the second in progress.
TEST_F(LiveRecording, TheServersDevicesRecordOnTheRecordersThreadsAlone) {
    const auto threads = [] {
        const std::filesystem::directory_iterator tasks("/proc/self/task");
        return std::distance(begin(tasks), end(tasks));
    };
    for (const char* device : {"pulse", "default"}) {
        SCOPED_TRACE(device);
        ::setenv("PENDRAX_CAPTURE_DEVICE", device, 1);
        const std::string path = dir.File("threads.wav");
        const auto before = threads();
        ASSERT_EQ(SoundRecorderStart(Wide(path).c_str()), PENDRAX_SUCCESS);
        EXPECT_EQ(threads(), before + 2);
        std::this_thread::sleep_for(std::chrono::milliseconds(1300));
        EXPECT_EQ(SoundRecorderStop(), 2);
    }
    ::unsetenv("PENDRAX_CAPTURE_DEVICE");
}

// A name no device has; and "pulse" while no server answers, for which none
// is started.
TEST_F(LiveRecording, NoCaptureDeviceGivesResultOne) {
    const std::string server = std::getenv("PULSE_SERVER") ? std::getenv("PULSE_SERVER") : "";
    const std::string noServer = "unix:" + dir.File("no-server");
    for (const auto& [device, serverAt] :
         {std::pair{"pendrax_no_such_device", server}, std::pair{"pulse", noServer}}) {
        SCOPED_TRACE(device);
        ::setenv("PENDRAX_CAPTURE_DEVICE", device, 1);
        ::setenv("PULSE_SERVER", serverAt.c_str(), 1);
        const std::string path = dir.File("none.wav");
        EXPECT_EQ(SoundRecorderStart(Wide(path).c_str()), PENDRAX_RECORDER_DEVICE_OPEN_FAILED);
        EXPECT_EQ(SoundRecorderStop(), 0);
        EXPECT_EQ(pendrax_test::ReadBytes(path), pendrax_test::CanonicalHeader(0));
    }
    ::unsetenv("PENDRAX_CAPTURE_DEVICE");
    ::setenv("PULSE_SERVER", server.c_str(), 1);
}

}  // namespace
