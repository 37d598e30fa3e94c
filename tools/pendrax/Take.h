// What the host sees of a recording while the recorder writes it. The Take
// is the sink the recorder writes to, in front of OUT's: it ends the take
// after the asked number of blocks, and notes each block's level and how
// long a write has been held up. It is also the observer the recorder
// tells of blocks, losses, the device's end and write failures; the host's
// thread waits on it for news.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "Io.h"
#include "Recorder.h"

namespace pendrax_host {

class Take final : public pendrax::io::Sink, public pendrax::recorder::Observer {
public:
    using Clock = std::chrono::steady_clock;

    // What the recording has done, as the host's thread sees it.
    struct State {
        std::uint32_t blocks = 0;
        std::uint64_t framesLost = 0;
        pendrax::recorder::LossCause cause = pendrax::recorder::LossCause::WriterStalled;
        bool deviceEnded = false;
        bool writeFailed = false;        // OUT's sink failed (not the take's own end)
        pendrax::io::OsError error = 0;  // why
        bool complete = false;           // the asked number of blocks is in
        int peak = -1;                   // the latest block's peak sample, -1 before one
        double heldFor = 0.0;            // seconds the write in progress has taken
    };

    // `maxBlocks`: the asked length in blocks (0 for the recorder's limit).
    Take(pendrax::io::Sink& target, std::uint32_t maxBlocks);

    pendrax::io::Transfer Write(const void* data, std::size_t size) override;
    bool Seekable() const override { return target_.Seekable(); }
    pendrax::io::OsError WriteAt(std::uint64_t offset, const void* data,
                                 std::size_t size) override {
        return target_.WriteAt(offset, data, size);
    }
    pendrax::io::OsError Truncate(std::uint64_t size) override { return target_.Truncate(size); }

    void OnBlock(const pendrax::recorder::Counts& counts) override;
    void OnLoss(const pendrax::recorder::Loss& loss) override;
    void OnDeviceEnd() override;
    void OnWriteFailed(pendrax::io::OsError error) override;

    // Waits up to `milliseconds` for news, then tells the state.
    State Wait(int milliseconds);

private:
    void Tell();  // under stateLock_

    pendrax::io::Sink& target_;
    std::uint64_t limitBytes_;
    // The writer's side: written by the recorder's writer, read by the host.
    std::uint64_t written_ = 0;
    std::atomic<bool> complete_{false};
    std::atomic<int> peak_{-1};
    std::atomic<Clock::rep> writeSince_{0};  // 0 when no write is in progress
    // What the host's thread is told.
    std::mutex stateLock_;
    std::condition_variable news_;
    bool fresh_ = false;
    std::uint64_t toldLost_ = 0;
    State state_;
};

}  // namespace pendrax_host
