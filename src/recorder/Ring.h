// The recording's timeline between the capture thread and the writer: the
// samples captured, and marks where samples were lost. A lost span takes no
// room; the writer turns it into silence of its length, so what the file
// holds is never spliced.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

#include "Recorder.h"

namespace pendrax::recorder {

class Ring final : public wavein::CaptureSink {
public:
    // Room for `capacity` samples; Allocated() says whether it was had.
    explicit Ring(std::size_t capacity);
    bool Allocated() const { return samples_ != nullptr; }

    // The capture side. What finds the ring full is lost (WriterStalled),
    // unless the device is ahead of real time and no write is held up: such
    // a device (ALSA's null) loses nothing by waiting for the writer.
    void Push(const void* samples, std::size_t frames) override;
    void Lose(std::uint64_t frames, LossCause cause) override;
    // Nothing more comes: the writer takes the rest, then ends.
    void Close();

    // The writer's side: what one Pop took.
    static constexpr int kMaxLossesPerBlock = 8;
    struct Popped {
        std::size_t frames = 0;  // of timeline: 0 once closed and empty
        std::size_t silent = 0;  // of them, silence for losses
        // The losses that begin here (past the last one, merged into it).
        Loss losses[kMaxLossesPerBlock] = {};
        int lossCount = 0;
    };
    // Waits for `frames` of timeline, or what is left once closed, and
    // copies it into `block`, with silence where audio was lost.
    void Pop(std::int16_t* block, std::size_t frames, Popped& out);
    // Around each write of the writer's, so that a full ring knows whether
    // the sink is what holds it up.
    void WriteBegan();
    void WriteEnded();
    // How long the write in progress has taken; 0 with none.
    double WriteHeldSeconds() const;

private:
    struct Mark {
        std::uint64_t at;  // timeline position of the lost span's start
        std::uint64_t frames;
        LossCause cause;
        bool told;
    };
    // Lost spans waiting for the writer; real samples are only taken while
    // one is free, so a loss always has its mark.
    static constexpr int kMaxMarks = 64;

    using Clock = std::chrono::steady_clock;
    // How far ahead of real time a paced device's buffer can deliver.
    static constexpr int kPacedAheadSeconds = 8;
    // A write held this long is a stall: the capture waits no longer.
    static constexpr std::chrono::seconds kHeldWrite{kHeldWriteSeconds};

    bool AheadOfRealTimeLocked(std::size_t frames) const;
    bool RoomLocked(std::size_t frames) const { return capacity_ - count_ >= frames; }
    void LoseLocked(std::uint64_t frames, LossCause cause);
    void NotifyLocked();  // the writer, once what it waits for is in
    std::uint64_t AvailableLocked() const { return timelineEnd_ - popped_; }

    mutable std::mutex lock_;
    std::condition_variable ready_;
    std::condition_variable room_;  // the capture, waiting for the writer
    std::unique_ptr<std::int16_t[]> samples_;
    std::size_t capacity_ = 0;
    std::size_t head_ = 0;
    std::size_t count_ = 0;
    Mark marks_[kMaxMarks] = {};
    int markHead_ = 0;
    int markCount_ = 0;
    std::uint64_t timelineEnd_ = 0;  // samples and lost spans pushed
    std::uint64_t popped_ = 0;       // taken by the writer
    std::size_t wanted_ = 1;         // the writer waits for this much timeline
    bool closed_ = false;
    const Clock::time_point started_ = Clock::now();
    bool writing_ = false;
    Clock::time_point writeBegan_;
};

}  // namespace pendrax::recorder
