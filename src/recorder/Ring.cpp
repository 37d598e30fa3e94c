#include "Ring.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace pendrax::recorder {

Ring::Ring(std::size_t capacity) : capacity_(capacity) {
    samples_.reset(new (std::nothrow) std::int16_t[capacity]);
}

bool Ring::AheadOfRealTimeLocked(std::size_t frames) const {
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started_);
    const std::uint64_t paced =
        static_cast<std::uint64_t>(elapsed.count()) * wav::kSampleRate / 1000 +
        std::uint64_t{kPacedAheadSeconds} * wav::kSampleRate;
    return timelineEnd_ + frames > paced;
}

void Ring::Push(const void* samples, std::size_t frames) {
    std::unique_lock<std::mutex> guard(lock_);
    // An unpaced device has no deadline to miss, so it waits for room while
    // the writer is making progress; a write held for kHeldWrite is a stall.
    while (frames <= capacity_ && !RoomLocked(frames) && AheadOfRealTimeLocked(frames)) {
        const Clock::time_point until = (writing_ ? writeBegan_ : Clock::now()) + kHeldWrite;
        if (writing_ && Clock::now() >= until) {
            break;
        }
        room_.wait_until(guard, until);
    }
    const auto* bytes = static_cast<const unsigned char*>(samples);
    // Samples only while a mark is free, so a loss after them has one.
    const std::size_t room = markCount_ < kMaxMarks ? capacity_ - count_ : 0;
    const std::size_t kept = std::min(frames, room);
    for (std::size_t done = 0; done < kept;) {
        const std::size_t tail = (head_ + count_) % capacity_;
        const std::size_t run = std::min(kept - done, capacity_ - tail);
        std::memcpy(samples_.get() + tail, bytes + 2 * done, 2 * run);
        count_ += run;
        done += run;
    }
    timelineEnd_ += kept;
    LoseLocked(frames - kept, LossCause::WriterStalled);
    NotifyLocked();
}

void Ring::Lose(std::uint64_t frames, LossCause cause) {
    std::lock_guard<std::mutex> guard(lock_);
    LoseLocked(frames, cause);
    NotifyLocked();
}

void Ring::NotifyLocked() {
    if (AvailableLocked() >= wanted_) {
        ready_.notify_one();
    }
}

void Ring::LoseLocked(std::uint64_t frames, LossCause cause) {
    if (frames == 0) {
        return;
    }
    Mark* last = markCount_ > 0 ? &marks_[(markHead_ + markCount_ - 1) % kMaxMarks] : nullptr;
    const bool atEnd = last != nullptr && last->at + last->frames == timelineEnd_;
    if (atEnd && (last->cause == cause || markCount_ == kMaxMarks)) {
        last->frames += frames;  // one span goes on
    } else {
        marks_[(markHead_ + markCount_) % kMaxMarks] = Mark{timelineEnd_, frames, cause, false};
        ++markCount_;
    }
    timelineEnd_ += frames;
}

void Ring::WriteBegan() {
    std::lock_guard<std::mutex> guard(lock_);
    writing_ = true;
    writeBegan_ = Clock::now();
}

void Ring::WriteEnded() {
    std::lock_guard<std::mutex> guard(lock_);
    writing_ = false;
    room_.notify_one();
}

double Ring::WriteHeldSeconds() const {
    std::lock_guard<std::mutex> guard(lock_);
    return writing_ ? std::chrono::duration<double>(Clock::now() - writeBegan_).count() : 0;
}

void Ring::Close() {
    std::lock_guard<std::mutex> guard(lock_);
    closed_ = true;
    ready_.notify_one();
}

void Ring::Pop(std::int16_t* block, std::size_t frames, Popped& out) {
    std::unique_lock<std::mutex> guard(lock_);
    wanted_ = frames;
    ready_.wait(guard, [&] { return closed_ || AvailableLocked() >= frames; });
    out = Popped{};
    const auto taken = static_cast<std::size_t>(std::min<std::uint64_t>(frames, AvailableLocked()));
    while (out.frames < taken) {
        const std::size_t left = taken - out.frames;
        Mark* mark = markCount_ > 0 ? &marks_[markHead_] : nullptr;
        if (mark != nullptr && mark->at == popped_) {
            if (!mark->told) {
                mark->told = true;
                if (out.lossCount < kMaxLossesPerBlock) {
                    out.losses[out.lossCount++] = Loss{mark->at, mark->frames, mark->cause};
                } else {
                    out.losses[kMaxLossesPerBlock - 1].frames += mark->frames;
                }
            }
            const auto silent =
                static_cast<std::size_t>(std::min<std::uint64_t>(mark->frames, left));
            std::memset(block + out.frames, 0, 2 * silent);
            out.frames += silent;
            out.silent += silent;
            popped_ += silent;
            mark->at += silent;
            mark->frames -= silent;
            if (mark->frames == 0) {
                markHead_ = (markHead_ + 1) % kMaxMarks;
                --markCount_;
            }
            continue;
        }
        const std::uint64_t until = mark != nullptr ? mark->at : timelineEnd_;
        std::size_t run = static_cast<std::size_t>(std::min<std::uint64_t>(left, until - popped_));
        run = std::min(run, capacity_ - head_);
        std::memcpy(block + out.frames, samples_.get() + head_, 2 * run);
        head_ = (head_ + run) % capacity_;
        count_ -= run;
        out.frames += run;
        popped_ += run;
    }
    room_.notify_one();
}

}  // namespace pendrax::recorder
