// The recorder against the hand-driven fake capture layer.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "FakeWaveIn.h"
#include "PendraxWAVFlanger.h"
#include "TestSupport.h"

using pendrax_test::Bytes;
using pendrax_test::CanonicalHeader;
using pendrax_test::ReadBytes;
using pendrax_test::TempDir;
using pendrax_test::Wide;

namespace {

constexpr std::size_t kBlock = 16000;

long FileSize(const std::string& path) {
    struct stat info = {};
    return ::stat(path.c_str(), &info) == 0 ? static_cast<long>(info.st_size) : -1;
}

class Recorder : public ::testing::Test {
protected:
    void SetUp() override { fake_wave_in::Reset(); }
    void TearDown() override {
        SoundRecorderStop();  // leaves the module idle whatever a test did
        EXPECT_FALSE(fake_wave_in::DeviceOpen());
    }
    int Start(const std::string& name = "out.wav") {
        return SoundRecorderStart(Wide(dir.File(name)).c_str());
    }
    Bytes File(const std::string& name = "out.wav") const { return ReadBytes(dir.File(name)); }
    // Captures whole blocks and waits until the file holds `blocks` of them.
    bool Blocks(std::initializer_list<unsigned char> fills, long blocks,
                const std::string& name = "out.wav") {
        if (!std::all_of(fills.begin(), fills.end(),
                         [](unsigned char fill) { return fake_wave_in::Deliver(kBlock, fill); })) {
            return false;
        }
        // The header is rewritten after each block's samples: wait for both.
        const auto written = [&] {
            const Bytes file = ReadBytes(dir.File(name));
            const Bytes header = CanonicalHeader(static_cast<std::uint32_t>(blocks * kBlock));
            return file.size() == 44 + blocks * kBlock &&
                   std::equal(header.begin(), header.end(), file.begin());
        };
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!written()) {
            if (std::chrono::steady_clock::now() > end) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }

    TempDir dir;
};

// The header followed by one block per fill byte.
Bytes Recording(std::initializer_list<unsigned char> fills) {
    Bytes bytes = CanonicalHeader(static_cast<std::uint32_t>(fills.size() * kBlock));
    for (const unsigned char fill : fills) {
        bytes.insert(bytes.end(), kBlock, fill);
    }
    return bytes;
}

Bytes Head(const std::string& path) {
    Bytes head(44);
    std::FILE* file = std::fopen(path.c_str(), "rb");
    head.resize(file == nullptr ? 0 : std::fread(head.data(), 1, head.size(), file));
    if (file != nullptr) {
        (void)std::fclose(file);
    }
    return head;
}

}  // namespace

TEST_F(Recorder, BlocksHandedBackAreAppendedAndCounted) {
    ASSERT_EQ(Start(), PENDRAX_SUCCESS);
    EXPECT_EQ(File(), Recording({}));  // the placeholder is the header for 0 blocks
    const unsigned char fills[] = {0x11, 0x22, 0x33};
    for (int k = 0; k < 3; ++k) {
        ASSERT_TRUE(Blocks({fills[k]}, k + 1));
        // Every block leaves a valid WAV behind, should the host die now.
        const Bytes sofar = File();
        ASSERT_EQ(sofar.size(), 44 + (k + 1) * kBlock);
        EXPECT_EQ(Bytes(sofar.begin(), sofar.begin() + 44), CanonicalHeader((k + 1) * kBlock));
    }
    EXPECT_EQ(SoundRecorderStop(), 3);
    EXPECT_EQ(File(), Recording({0x11, 0x22, 0x33}));
}

// The second in progress at the stop is kept: the samples recorded so far,
// then silence, counted as a block; with no whole sample there is no block.
TEST_F(Recorder, StopKeepsTheSecondInProgress) {
    for (const int recorded : {0, 1, 2, 6000, 15998, 16000}) {
        for (const bool earlierBlock : {false, true}) {
            SCOPED_TRACE(recorded);
            ASSERT_EQ(Start(), PENDRAX_SUCCESS);
            Bytes expected = Recording({});
            if (earlierBlock) {
                ASSERT_TRUE(Blocks({0x11}, 1));
                expected = Recording({0x11});
            }
            ASSERT_TRUE(fake_wave_in::Deliver(static_cast<std::size_t>(recorded), 0x5A));
            const auto kept = static_cast<std::size_t>(recorded - recorded % 2);
            if (kept > 0) {
                expected.insert(expected.end(), kept, 0x5A);
                expected.insert(expected.end(), kBlock - kept, 0);
            }
            const int blocks = (earlierBlock ? 1 : 0) + (kept > 0 ? 1 : 0);
            const Bytes header = CanonicalHeader(static_cast<std::uint32_t>(blocks * kBlock));
            std::copy(header.begin(), header.end(), expected.begin());
            EXPECT_EQ(SoundRecorderStop(), blocks);
            EXPECT_EQ(File(), expected);
        }
    }
}

TEST_F(Recorder, DeviceFailuresLeaveAnEmptyRecordingAndStopReturnsZero) {
    struct Case {
        fake_wave_in::Behaviour behaviour;
        int result;
    };
    const Case cases[] = {
        {{pendrax::wavein::OpenResult::NoDevice, false}, PENDRAX_RECORDER_DEVICE_OPEN_FAILED},
        {{pendrax::wavein::OpenResult::NoMemory, false}, PENDRAX_RECORDER_DEVICE_OPEN_FAILED},
        {{pendrax::wavein::OpenResult::Opened, true}, PENDRAX_RECORDER_START_FAILED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.result);
        fake_wave_in::Reset(c.behaviour);
        ASSERT_EQ(Start(), c.result);
        EXPECT_EQ(File(), Recording({}));
        // A retry before the stop tries the device again, as a host waiting
        // for one would, and is never busy.
        EXPECT_EQ(SoundRecorderStart(Wide(dir.File("other.wav")).c_str()), c.result);
        EXPECT_EQ(File("other.wav"), Recording({}));
        EXPECT_EQ(SoundRecorderStop(), 0);
        EXPECT_FALSE(fake_wave_in::DeviceOpen());
        EXPECT_EQ(File(), Recording({}));
    }
}

TEST_F(Recorder, AFileThatCannotBeCreatedOpensNothing) {
    const pendrax_test::WideString unpaired = {u'o', 0xD800, u'.', u'w', 0};
    const pendrax_test::WideString paths[] = {Wide(dir.File("missing/out.wav")), Wide(dir.path()),
                                              unpaired, Wide("/dev/full")};
    for (const auto& path : paths) {
        EXPECT_EQ(SoundRecorderStart(path.c_str()), PENDRAX_RECORDER_FILE_FAILED);
        EXPECT_EQ(SoundRecorderStop(), 0);
    }
    EXPECT_EQ(SoundRecorderStart(nullptr), PENDRAX_RECORDER_FILE_FAILED);
    // A file another writer holds locked (a host recording or flanging it)
    // is left as it is.
    const Bytes held = {1, 2, 3};
    pendrax_test::WriteBytes(dir.File("held.wav"), held);
    const int holder = ::open(dir.File("held.wav").c_str(), O_RDONLY);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    EXPECT_EQ(SoundRecorderStart(Wide(dir.File("held.wav")).c_str()), PENDRAX_RECORDER_FILE_FAILED);
    EXPECT_EQ(ReadBytes(dir.File("held.wav")), held);
    (void)::close(holder);
    EXPECT_FALSE(fake_wave_in::DeviceOpen());
    // Nothing is left half started: the next recording goes ahead.
    EXPECT_EQ(Start(), PENDRAX_SUCCESS);
}

TEST_F(Recorder, GuardedCallOrders) {
    EXPECT_EQ(SoundRecorderStop(), 0) << "stop without a start";

    ASSERT_EQ(Start(), PENDRAX_SUCCESS);
    ASSERT_TRUE(Blocks({0x44}, 1));
    EXPECT_EQ(Start("second.wav"), PENDRAX_RECORDER_BUSY);
    EXPECT_EQ(Start(), PENDRAX_RECORDER_BUSY) << "not even the same file is truncated";
    EXPECT_FALSE(pendrax_test::Exists(dir.File("second.wav")));
    ASSERT_TRUE(Blocks({0x55}, 2)) << "the running recording goes on";
    EXPECT_EQ(SoundRecorderStop(), 2);
    EXPECT_EQ(SoundRecorderStop(), 0) << "a second stop";
    EXPECT_EQ(File(), Recording({0x44, 0x55}));

    // A second recording starts from the header for 0 blocks, not the last one's.
    ASSERT_EQ(Start("second.wav"), PENDRAX_SUCCESS);
    EXPECT_EQ(File("second.wav"), Recording({}));
    ASSERT_TRUE(Blocks({0x66}, 1, "second.wav"));
    EXPECT_EQ(SoundRecorderStop(), 1);
    EXPECT_EQ(File("second.wav"), Recording({0x66}));
    EXPECT_EQ(File(), Recording({0x44, 0x55}));
}

// Pieces of any length join into blocks without a gap; only the last is padded.
TEST_F(Recorder, PiecesJoinIntoWholeBlocks) {
    ASSERT_EQ(Start(), PENDRAX_SUCCESS);
    for (const unsigned char fill : {0x22, 0x33, 0x44}) {
        ASSERT_TRUE(fake_wave_in::Deliver(7000, fill));
    }
    ASSERT_TRUE(fake_wave_in::Deliver(1001, 0x55));  // a half sample is dropped
    EXPECT_EQ(SoundRecorderStop(), 2);
    Bytes expected = CanonicalHeader(2 * kBlock);
    for (const unsigned char fill : {0x22, 0x33, 0x44}) {
        expected.insert(expected.end(), 7000, fill);
    }
    expected.insert(expected.end(), 1000, 0x55);
    expected.resize(44 + 2 * kBlock, 0);
    EXPECT_EQ(File(), expected);
}

// A block handed back on another thread while stop runs is either written
// whole and counted, or not at all; nothing reaches the file after it closes.
TEST_F(Recorder, BlocksDeliveredWhileStopRunsKeepTheFileExact) {
    constexpr int kRounds = 1000;
    for (int round = 0; round < kRounds; ++round) {
        ASSERT_EQ(Start(), PENDRAX_SUCCESS);
        std::atomic<bool> stopped{false};
        std::thread deliverer([&] {
            int delivered = 0;
            while (!stopped.load() && delivered < 3) {
                delivered +=
                    fake_wave_in::Deliver(kBlock, static_cast<unsigned char>(round)) ? 1 : 0;
            }
        });
        std::this_thread::sleep_for(std::chrono::microseconds(round % 50));
        const int blocks = SoundRecorderStop();
        stopped = true;
        deliverer.join();
        ASSERT_EQ(FileSize(dir.File("out.wav")), 44 + static_cast<long>(blocks) * kBlock)
            << "round " << round;
        ASSERT_EQ(Head(dir.File("out.wav")), CanonicalHeader(blocks * kBlock));
        ASSERT_FALSE(fake_wave_in::DeviceOpen());
    }
}

// A full disk (here, a file size limit) stops the writing; the file keeps
// its whole blocks and says so, and so does the result.
TEST_F(Recorder, AFailedWriteLeavesAConsistentFile) {
    for (const std::size_t limit : {44 + 2 * kBlock + 5000, 44 + 2 * kBlock, 44 + 2 * kBlock + 2}) {
        SCOPED_TRACE(limit);
        const auto record = [this] {
            if (Start() != PENDRAX_SUCCESS) {
                return 100;
            }
            for (int k = 0; k < 5; ++k) {
                fake_wave_in::Deliver(kBlock, static_cast<unsigned char>(0x10 + k));
            }
            return SoundRecorderStop();
        };
        EXPECT_EQ(pendrax_test::WithFileSizeLimit(limit, record), 2);
        EXPECT_EQ(File(), Recording({0x10, 0x11}));
    }
}
