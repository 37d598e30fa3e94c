// Many recordings in a row with blocks arriving all the while: every file
// stays exact, and nothing is left open or allocated afterwards (the
// sanitizer trees run this under ThreadSanitizer and LeakSanitizer).
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

#include "FakeWaveIn.h"
#include "PendraxWAVFlanger.h"
#include "TestSupport.h"

namespace {

constexpr std::size_t kBlock = 16000;

int OpenDescriptors() {
    DIR* fds = ::opendir("/proc/self/fd");
    if (fds == nullptr) {
        return -1;
    }
    int count = 0;
    // One thread reads this directory stream; readdir_r is deprecated.
    // cppcheck-suppress readdirCalled
    while (::readdir(fds) != nullptr) {
        ++count;
    }
    (void)::closedir(fds);
    return count;
}

pendrax_test::Bytes FirstBytes(const std::string& path, std::size_t count) {
    std::ifstream in(path, std::ios::binary);
    pendrax_test::Bytes bytes(count);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(count));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

TEST(RecorderStress, TenThousandRecordingsWithBlocksArrivingMeanwhileLeaveNothingBehind) {
    constexpr int kRecordings = 10000;
    pendrax_test::TempDir dir;
    const std::string name = dir.File("cycle.wav");
    const pendrax_test::WideString path = pendrax_test::Wide(name);
    fake_wave_in::Reset();
    const int descriptorsBefore = OpenDescriptors();
    ASSERT_GT(descriptorsBefore, 0);

    std::atomic<bool> finished{false};
    std::atomic<int> delivered{0};
    std::thread capture([&] {
        while (!finished.load()) {
            if (fake_wave_in::Deliver(kBlock, 0x5A)) {
                delivered.fetch_add(1);
            } else {
                std::this_thread::yield();
            }
        }
    });
    int recordedBlocks = 0;
    for (int recording = 0; recording < kRecordings; ++recording) {
        ASSERT_EQ(SoundRecorderStart(path.c_str()), PENDRAX_SUCCESS) << recording;
        if (recording % 1000 == 0) {
            // A few recordings wait for a block, so blocks surely arrive
            // during recordings however a loaded machine schedules the threads.
            const int before = delivered.load();
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
            while (delivered.load() == before && std::chrono::steady_clock::now() < until) {
                std::this_thread::yield();
            }
        }
        const int blocks = SoundRecorderStop();
        ASSERT_GE(blocks, 0);
        recordedBlocks += blocks;
        struct stat info = {};
        ASSERT_EQ(::stat(name.c_str(), &info), 0);
        ASSERT_EQ(static_cast<std::size_t>(info.st_size),
                  44 + static_cast<std::size_t>(blocks) * kBlock)
            << recording;
        ASSERT_EQ(FirstBytes(name, 44),
                  pendrax_test::CanonicalHeader(static_cast<std::uint32_t>(blocks * kBlock)))
            << recording;
        ASSERT_FALSE(fake_wave_in::DeviceOpen());
        // The next recording gets a device that opens and starts; none is open here.
        fake_wave_in::Reset();
    }
    finished = true;
    capture.join();

    EXPECT_EQ(OpenDescriptors(), descriptorsBefore);
    // The blocks really did arrive during the recordings, and each one that
    // the recorder accepted is in a file.
    EXPECT_GT(delivered.load(), 0);
    EXPECT_LE(recordedBlocks, delivered.load());
}

}  // namespace
