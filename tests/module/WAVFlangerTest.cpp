// The flanger export on files: what it writes, what it prints and returns,
// and what each failure leaves.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "Flange.h"
#include "FlangeOracle.h"
#include "PendraxWAVFlanger.h"
#include "TestSupport.h"

namespace {

using pendrax_test::Bytes;
using pendrax_test::ExpectedFlangerOutput;
using pendrax_test::TempDir;
using pendrax_test::Wide;
using pendrax_test::WideString;

const std::string kSuccessMessage = "Flanger effect applied and saved to output.wav\n";
const std::string kOpenInputMessage = "Failed to open input file.\n";
const std::string kOpenOutputMessage = "Failed to open output file.\n";
const std::string kReadMessage = "Failed to read input file.\n";
const std::string kWriteMessage = "Failed to write output file.\n";

struct Outcome {
    int result;
    std::string printed;
};

Outcome Flange(const PendraxWideChar* input, const PendraxWideChar* output) {
    Outcome outcome{};
    outcome.printed =
        pendrax_test::CaptureStdout([&] { outcome.result = WAVFlanger(input, output); });
    return outcome;
}

Outcome Flange(const std::string& input, const std::string& output) {
    return Flange(Wide(input).c_str(), Wide(output).c_str());
}

class WAVFlangerFiles : public ::testing::Test {
protected:
    TempDir dir;
    std::string in = dir.File("in.wav");
    std::string out = dir.File("out.wav");
};

TEST_F(WAVFlangerFiles, ProcessesWholeAndPartialBlocksExactly) {
    constexpr auto kChunk = static_cast<std::size_t>(pendrax::kFlangerChunkSamples);
    // 3.5 blocks, then one sample, then an odd trailing byte; past the
    // 256-block chunks the file is read in, ending mid-block and on one.
    for (const std::size_t sampleCount :
         {std::size_t{1}, std::size_t{1024}, std::size_t{3584}, std::size_t{20000},
          std::size_t{kChunk + 1000}, std::size_t{kChunk} * 2}) {
        for (const bool oddByte : {false, true}) {
            Bytes input = pendrax_test::MakeWav(pendrax_test::RandomSamples(sampleCount, 5));
            if (oddByte) {
                input.push_back(0x7F);
            }
            pendrax_test::WriteBytes(in, input);
            const Outcome outcome = Flange(in, out);
            EXPECT_EQ(outcome.result, 999);
            EXPECT_EQ(outcome.printed, kSuccessMessage);
            const Bytes output = pendrax_test::ReadBytes(out);
            EXPECT_EQ(output.size(), 44 + 2 * sampleCount) << sampleCount << " odd " << oddByte;
            EXPECT_TRUE(output == ExpectedFlangerOutput(input))
                << sampleCount << " odd " << oddByte;
        }
    }
}

TEST_F(WAVFlangerFiles, BlocksStartAfreshEvery1024Samples) {
    std::vector<std::int16_t> samples(2048, 1000);
    samples[0] = 0;
    samples[1024] = 0;
    pendrax_test::WriteBytes(in, pendrax_test::MakeWav(samples));
    ASSERT_EQ(Flange(in, out).result, 999);
    const Bytes output = pendrax_test::ReadBytes(out);
    auto sampleAt = [&](std::size_t i) {
        return static_cast<std::int16_t>(output[44 + 2 * i] | (output[45 + 2 * i] << 8));
    };
    EXPECT_EQ(sampleAt(19), 1000);
    EXPECT_EQ(sampleAt(20), 500);
    // In the second block the delay starts at 27: its first 27 samples pass through.
    EXPECT_EQ(sampleAt(1024), 0);
    for (std::size_t i = 1025; i < 1024 + 27; ++i) {
        ASSERT_EQ(sampleAt(i), 1000) << i;
    }
    EXPECT_EQ(sampleAt(1024 + 27), 500);
}

TEST_F(WAVFlangerFiles, HeaderOnlyAndShortInputsGiveA44ByteOutput) {
    const Bytes header = pendrax_test::CanonicalHeader(0);
    const Bytes shortInput = {'R', 'I', 'F', 'F', 1, 2, 3};
    for (const Bytes& input : {header, shortInput, Bytes{}}) {
        pendrax_test::WriteBytes(in, input);
        const Outcome outcome = Flange(in, out);
        EXPECT_EQ(outcome.result, 999);
        Bytes expected = input;
        expected.resize(44, 0);
        EXPECT_EQ(pendrax_test::ReadBytes(out), expected) << input.size() << " bytes in";
    }
}

TEST_F(WAVFlangerFiles, TreatsEverythingAfterByte44AsSamples) {
    // An extra chunk before the data is not parsed: it is flanged with the rest.
    Bytes input = pendrax_test::CanonicalHeader(0);
    const Bytes list = {'L', 'I', 'S', 'T', 4, 0, 0, 0, 'a', 'b', 'c', 'd'};
    input.insert(input.end(), list.begin(), list.end());
    pendrax_test::AppendSamples(input, pendrax_test::RandomSamples(3000, 8));
    pendrax_test::WriteBytes(in, input);
    ASSERT_EQ(Flange(in, out).result, 999);
    EXPECT_TRUE(pendrax_test::ReadBytes(out) == ExpectedFlangerOutput(input));
}

TEST_F(WAVFlangerFiles, SuccessMessageNamesOutputWavWhateverThePath) {
    pendrax_test::WriteBytes(in, pendrax_test::MakeWav(pendrax_test::RandomSamples(100, 1)));
    const Outcome outcome = Flange(in, dir.File("elsewhere.raw"));
    EXPECT_EQ(outcome.printed, kSuccessMessage);
    EXPECT_TRUE(pendrax_test::Exists(dir.File("elsewhere.raw")));
}

TEST_F(WAVFlangerFiles, SoxReadsTheOutputWithTheInputsFormatAndLength) {
    ASSERT_EQ(pendrax_test::RunCommand("sox -n -r 8000 -c 1 -b 16 -e signed '" + in +
                                       "' synth 1.5 sine 300-2000"),
              0);
    ASSERT_EQ(Flange(in, out).result, 999);
    std::string inInfo;
    std::string outInfo;
    ASSERT_EQ(pendrax_test::RunCommand("soxi -r -c -b -e -s '" + in + "'", &inInfo), 0);
    ASSERT_EQ(pendrax_test::RunCommand("soxi -r -c -b -e -s '" + out + "'", &outInfo), 0);
    EXPECT_EQ(outInfo, inInfo);
    EXPECT_NE(outInfo.find("12000"), std::string::npos) << outInfo;
}

TEST_F(WAVFlangerFiles, NonAsciiPathsOpenByTheirUtf8Names) {
    const std::string name = dir.File("fl\xc3\xa4nger \xe2\x99\xab \xf0\x9f\x8e\xb8.wav");
    pendrax_test::WriteBytes(name, pendrax_test::MakeWav(pendrax_test::RandomSamples(50, 2)));
    EXPECT_EQ(Flange(name, name + ".out").result, 999);
    EXPECT_TRUE(pendrax_test::Exists(name + ".out"));
}

// Failures: each gives its message and code, and loses nothing.

TEST_F(WAVFlangerFiles, InputThatCannotBeOpenedCreatesNoOutput) {
    const WideString missing = Wide(dir.File("missing.wav"));
    const WideString output = Wide(out);
    const WideString empty;
    const PendraxWideChar unpaired[] = {u'/', u't', u'm', u'p', 0xD800, u'x', 0};
    const WideString huge(100000, u'a');
    for (const PendraxWideChar* input :
         {missing.c_str(), static_cast<const PendraxWideChar*>(nullptr), empty.c_str(), unpaired,
          huge.c_str()}) {
        const Outcome outcome = Flange(input, output.c_str());
        EXPECT_EQ(outcome.result, 1);
        EXPECT_EQ(outcome.printed, kOpenInputMessage);
        EXPECT_FALSE(pendrax_test::Exists(out));
    }
}

TEST_F(WAVFlangerFiles, OutputThatCannotBeOpenedLeavesTheInputAlone) {
    const Bytes input = pendrax_test::MakeWav(pendrax_test::RandomSamples(3000, 3));
    pendrax_test::WriteBytes(in, input);
    const WideString wideIn = Wide(in);
    const WideString missingDir = Wide(dir.File("no/such/dir/out.wav"));
    const WideString empty;
    WideString unpaired = Wide(dir.File("x"));
    unpaired.push_back(0xDC00);
    const WideString huge = Wide(dir.File(std::string(100000, 'b')));
    for (const PendraxWideChar* output :
         {missingDir.c_str(), static_cast<const PendraxWideChar*>(nullptr), empty.c_str(),
          unpaired.c_str(), huge.c_str()}) {
        const Outcome outcome = Flange(wideIn.c_str(), output);
        EXPECT_EQ(outcome.result, 1);
        EXPECT_EQ(outcome.printed, kOpenOutputMessage);
    }
    EXPECT_EQ(pendrax_test::ReadBytes(in), input);
    EXPECT_FALSE(pendrax_test::Exists(dir.File("x")));
}

TEST_F(WAVFlangerFiles, RefusesToWriteOverItsOwnInput) {
    const Bytes input = pendrax_test::MakeWav(pendrax_test::RandomSamples(3000, 4));
    pendrax_test::WriteBytes(in, input);
    ASSERT_EQ(::link(in.c_str(), dir.File("hard.wav").c_str()), 0);
    ASSERT_EQ(::symlink(in.c_str(), dir.File("soft.wav").c_str()), 0);
    const std::string spellings[] = {in, dir.File("hard.wav"), dir.File("soft.wav"),
                                     dir.path() + "/./in.wav", dir.path() + "//in.wav"};
    for (const std::string& output : spellings) {
        const Outcome outcome = Flange(in, output);
        EXPECT_EQ(outcome.result, 1) << output;
        EXPECT_EQ(outcome.printed, kOpenOutputMessage) << output;
        ASSERT_EQ(pendrax_test::ReadBytes(in), input) << output;
    }
    // A character device is read and written at once without conflict.
    EXPECT_EQ(Flange("/dev/null", "/dev/null").result, PENDRAX_SUCCESS);
}

TEST_F(WAVFlangerFiles, UnreadableInputIsAReadFailureWithNoOutput) {
    // A directory opens for reading but every read fails.
    const Outcome outcome = Flange(dir.path(), out);
    EXPECT_EQ(outcome.result, 2);
    EXPECT_EQ(outcome.printed, kReadMessage);
    EXPECT_FALSE(pendrax_test::Exists(out));
}

// A pipe hands the input over in short reads that end mid-sample and
// mid-block; the output is the same as from a file.
TEST_F(WAVFlangerFiles, InputArrivingInShortReadsGivesTheSameOutput) {
    Bytes input = pendrax_test::MakeWav(pendrax_test::RandomSamples(300000, 8));
    input.push_back(0x11);
    ASSERT_EQ(::mkfifo(in.c_str(), 0600), 0);
    std::thread writer([&] {
        std::FILE* pipe = std::fopen(in.c_str(), "wb");
        ASSERT_NE(pipe, nullptr);
        (void)std::setvbuf(pipe, nullptr, _IONBF, 0);
        for (std::size_t at = 0; at < input.size(); at += 1001) {
            (void)std::fwrite(input.data() + at, 1, std::min<std::size_t>(1001, input.size() - at),
                              pipe);
        }
        (void)std::fclose(pipe);
    });
    const Outcome outcome = Flange(in, out);
    writer.join();
    EXPECT_EQ(outcome.result, 999);
    EXPECT_TRUE(pendrax_test::ReadBytes(out) == ExpectedFlangerOutput(input));
}

// A write that fails part-way through a chunk (here, at a file size limit,
// mid-sample) is a write failure, and the output keeps what was written.
TEST_F(WAVFlangerFiles, AWriteFailingMidChunkLeavesWhatWasWritten) {
    const Bytes input = pendrax_test::MakeWav(pendrax_test::RandomSamples(300000, 9));
    pendrax_test::WriteBytes(in, input);
    constexpr std::size_t kLimit = 44 + 100001;
    EXPECT_EQ(pendrax_test::WithFileSizeLimit(kLimit, [this] { return Flange(in, out).result; }),
              2);
    const Bytes expected = ExpectedFlangerOutput(input);
    EXPECT_TRUE(pendrax_test::ReadBytes(out) == Bytes(expected.begin(), expected.begin() + kLimit));
}

TEST_F(WAVFlangerFiles, FullDeviceIsAWriteFailureNotSuccess) {
    pendrax_test::WriteBytes(in, pendrax_test::MakeWav(pendrax_test::RandomSamples(50000, 6)));
    const Outcome outcome = Flange(in, "/dev/full");
    EXPECT_EQ(outcome.result, 2);
    EXPECT_EQ(outcome.printed, kWriteMessage);
}

}  // namespace
