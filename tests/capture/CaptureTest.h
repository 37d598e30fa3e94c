// The real recorder over a real capture service over a stand-in system.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iterator>

#include "PendraxWAVFlanger.h"
#include "StandIn.h"
#include "TestSupport.h"

namespace capture_test {

using pendrax_test::Bytes;

constexpr std::size_t kBlockSamples = 8000;

// The file of a recording of samples 0 to count - 1, in `blocks` blocks.
inline Bytes Ramp(std::size_t count, std::size_t blocks) {
    Bytes bytes =
        pendrax_test::CanonicalHeader(static_cast<std::uint32_t>(blocks * 2 * kBlockSamples));
    for (std::size_t k = 0; k < count; ++k) {
        bytes.push_back(static_cast<unsigned char>(k & 0xFF));
        bytes.push_back(static_cast<unsigned char>((k >> 8) & 0xFF));
    }
    bytes.resize(44 + blocks * 2 * kBlockSamples, 0);
    return bytes;
}

inline long Threads() {
    const std::filesystem::directory_iterator tasks("/proc/self/task");
    return std::distance(begin(tasks), end(tasks));
}

class Capture : public ::testing::Test {
protected:
    void TearDown() override {
        standin::HoldWrites(false);
        SoundRecorderStop();
    }
    int Start() { return SoundRecorderStart(pendrax_test::Wide(dir.File("out.wav")).c_str()); }
    Bytes File() const { return pendrax_test::ReadBytes(dir.File("out.wav")); }
    // Captures `count` samples a tenth of a second at a time, each given a
    // moment to be taken before the next, as a device paces them.
    static void Produce(std::size_t count) {
        while (count > 0) {
            const std::size_t part = std::min<std::size_t>(count, kBlockSamples / 10);
            standin::Produce(part);
            standin::WaitFor(standin::Taken, 0.5);
            count -= part;
        }
    }

    pendrax_test::TempDir dir;
};

}  // namespace capture_test
