// The real recorder over a real capture service over a stand-in system.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <mutex>
#include <utility>
#include <vector>

#include "PendraxWAVFlanger.h"
#include "Recorder.h"
#include "StandIn.h"
#include "TestSupport.h"

namespace pendrax::recorder {
inline bool operator==(const Loss& a, const Loss& b) {
    return a.atFrame == b.atFrame && a.frames == b.frames && a.cause == b.cause;
}
}  // namespace pendrax::recorder

namespace capture_test {

using pendrax_test::Bytes;

constexpr std::size_t kBlockSamples = 8000;

// The file of a recording in `blocks` blocks that heard the samples in the
// spans [from, to) and silence elsewhere: sample k holds k where heard.
inline Bytes Heard(std::size_t blocks,
                   const std::vector<std::pair<std::size_t, std::size_t>>& spans) {
    Bytes bytes =
        pendrax_test::CanonicalHeader(static_cast<std::uint32_t>(blocks * 2 * kBlockSamples));
    bytes.resize(44 + blocks * 2 * kBlockSamples, 0);
    for (const auto& [from, to] : spans) {
        for (std::size_t k = from; k < to; ++k) {
            bytes[44 + 2 * k] = static_cast<unsigned char>(k & 0xFF);
            bytes[45 + 2 * k] = static_cast<unsigned char>((k >> 8) & 0xFF);
        }
    }
    return bytes;
}

// Samples 0 to count - 1, in `blocks` blocks.
inline Bytes Ramp(std::size_t count, std::size_t blocks) { return Heard(blocks, {{0, count}}); }

// The recorder itself on a sink in memory whose writes stall with the
// file's, with the losses it told.
struct Core : pendrax::recorder::Observer {
    Core();
    void OnLoss(const pendrax::recorder::Loss& loss) override {
        const std::lock_guard<std::mutex> guard(lock);
        losses.push_back(loss);
    }
    std::vector<pendrax::recorder::Loss> Losses() {
        const std::lock_guard<std::mutex> guard(lock);
        return losses;
    }
    Bytes Written() const;

    std::shared_ptr<pendrax::io::Sink> sink;
    pendrax::recorder::Recorder recorder;  // stopped before the sink is dropped
    std::mutex lock;
    std::vector<pendrax::recorder::Loss> losses;
};

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
    static bool StartCore(Core& core, std::uint32_t maxBlocks = 0) {
        pendrax::recorder::Options options;
        options.observer = &core;
        options.maxBlocks = maxBlocks;
        return core.recorder.Start(core.sink, options).result ==
               pendrax::recorder::StartResult::Started;
    }
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
