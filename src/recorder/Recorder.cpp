// The writer holds its session alive, so a stop that gave up on a held
// write frees nothing the writer still needs.
#include "Recorder.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <new>
#include <thread>

#include "Ring.h"

namespace pendrax::recorder {

using wav::kBlockBytes;
using wav::kSampleRate;
using wav::kWavHeaderBytes;

constexpr std::size_t kBlockFrames = kSampleRate;

class Session : public std::enable_shared_from_this<Session> {
public:
    Session(std::shared_ptr<io::Sink> sink, const Options& options)
        : sink_(std::move(sink)),
          options_(options),
          deviceName_(wavein::DeviceName(options.device)),
          maxBlocks_(options.maxBlocks != 0 && options.maxBlocks < kRecordingMaxBlocks
                         ? options.maxBlocks
                         : kRecordingMaxBlocks),
          ring_(std::size_t{kRingSeconds} * kSampleRate) {}
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    StartOutcome Start();
    StopResult Stop();
    const std::string& DeviceName() const { return deviceName_; }
    Counts Current() const;

private:
    void CaptureLoop();
    void WriterLoop();
    void Write(const Ring::Popped& popped);
    io::OsError WriteHeader(std::uint32_t blocks, bool first);
    void EndCapture();
    // Calls the observer, unless a stop gave up on the writer (the observer
    // may be gone then).
    template <typename Call>
    void Tell(Call call) {
        std::lock_guard<std::mutex> guard(telling_);
        if (options_.observer != nullptr && !abandoned_.load()) {
            call(*options_.observer);
        }
    }

    std::shared_ptr<io::Sink> sink_;
    Options options_;
    std::string deviceName_;
    std::uint32_t maxBlocks_;
    Ring ring_;
    std::unique_ptr<wavein::Device> device_;
    std::thread capture_;
    std::thread writer_;
    std::atomic<std::thread::id> writerId_{};  // set by the writer itself
    std::atomic<bool> stopAsked_{false};
    std::atomic<bool> abandoned_{false};  // a stop gave up waiting: write no more
    std::atomic<bool> deviceEnded_{false};
    std::atomic<bool> complete_{false};
    std::atomic<io::OsError> writeError_{0};
    std::atomic<std::uint32_t> blocks_{0};
    std::atomic<std::uint64_t> lostWritten_{0};
    std::int16_t block_[kBlockFrames] = {};  // the writer's

    std::mutex telling_;  // held while the observer is told
    std::mutex lock_;     // never held across a write
    std::condition_variable changed_;
    bool writerDone_ = false;
    bool stopping_ = false;
    bool stopped_ = false;
    StopResult result_;
};

Counts Session::Current() const {
    return Counts{blocks_.load(), lostWritten_.load(), ring_.WriteHeldSeconds()};
}

io::OsError Session::WriteHeader(std::uint32_t blocks, bool first) {
    unsigned char bytes[kWavHeaderBytes];
    if (options_.header == HeaderMode::Streamed) {
        wav::StreamedHeader(bytes);
    } else {
        wav::CanonicalHeader(std::uint64_t{blocks} * kBlockBytes, bytes);
    }
    if (first) {
        const io::Transfer sent = sink_->Write(bytes, sizeof bytes);
        return sent.bytes == sizeof bytes ? 0 : (sent.error != 0 ? sent.error : io::kShortWrite);
    }
    return sink_->WriteAt(0, bytes, sizeof bytes);
}

StartOutcome Session::Start() {
    device_ = wavein::NewDevice();
    if (!ring_.Allocated() || device_ == nullptr) {
        return {StartResult::OutOfResources, 0, {}};
    }
    const bool sizesEachBlock = options_.header == HeaderMode::SizesEachBlock;
    if (sizesEachBlock && !sink_->Seekable()) {
        return {StartResult::WriteFailed, 0, {}};
    }
    // A file gets its header whatever follows; a stream only once capture runs.
    if (const io::OsError error = sizesEachBlock ? WriteHeader(0, true) : 0) {
        return {StartResult::WriteFailed, error, {}};
    }
    switch (device_->Open(deviceName_, kSampleRate)) {
        case wavein::OpenResult::Opened: break;
        case wavein::OpenResult::NoMemory: return {StartResult::OutOfResources, 0, {}};
        case wavein::OpenResult::NoDevice:
        case wavein::OpenResult::BadFormat: return {StartResult::DeviceOpenFailed, 0, {}};
    }
    if (!device_->Start()) {
        return {StartResult::StartFailed, 0, {}};
    }
    if (const io::OsError error = sizesEachBlock ? 0 : WriteHeader(0, true)) {
        return {StartResult::WriteFailed, error, {}};
    }
    try {
        capture_ = std::thread([this] { CaptureLoop(); });
        writer_ = std::thread([self = shared_from_this()]() mutable {
            self->WriterLoop();
            self.reset();  // the last holder, after a stop that gave up, frees it here
        });
    } catch (const std::exception&) {
        // No thread, or no memory to make one: the capture thread, if it
        // started, is joined, so nothing runs and nothing is left joinable.
        EndCapture();
        return {StartResult::OutOfResources, 0, {}};
    }
    return {StartResult::Started, 0, {}};
}

// The one run loop, whatever the system.
void Session::CaptureLoop() {
    int noAudioInARow = 0;
    bool gone = false;
    while (!gone && !stopAsked_.load()) {
        device_->Wait();
        if (stopAsked_.load()) {
            break;
        }
        switch (device_->Drain(ring_)) {
            case wavein::Drained::Audio: noAudioInARow = 0; break;
            case wavein::Drained::Idle: break;
            case wavein::Drained::NoAudio:
                gone = ++noAudioInARow >= wavein::kNoAudioDrainsForGone;
                break;
            case wavein::Drained::Broken: gone = true; break;
        }
    }
    device_->Finish(ring_);
    deviceEnded_ = gone;
    ring_.Close();
}

void Session::EndCapture() {
    stopAsked_ = true;
    if (capture_.joinable()) {
        device_->Wake();
        capture_.join();
    }
    device_.reset();  // closes the device
}

void Session::Write(const Ring::Popped& popped) {
    const std::uint32_t written = blocks_.load();
    ring_.WriteBegan();
    const io::Transfer sent = sink_->Write(block_, sizeof block_);
    io::OsError error =
        sent.bytes == sizeof block_ ? 0 : (sent.error != 0 ? sent.error : io::kShortWrite);
    if (error == 0 && options_.header == HeaderMode::SizesEachBlock) {
        error = WriteHeader(written + 1, false);
    }
    ring_.WriteEnded();
    if (error != 0) {
        if (options_.header == HeaderMode::SizesEachBlock) {
            // Back to the last whole block, under its header.
            (void)sink_->Truncate(kWavHeaderBytes + std::uint64_t{written} * kBlockBytes);
            (void)WriteHeader(written, false);
        }
        writeError_ = error;
        Tell([error](Observer& observer) { observer.OnWriteFailed(error); });
        return;
    }
    lostWritten_ += popped.silent;
    blocks_ = written + 1;
    const Counts counts = Current();
    Tell([&](Observer& observer) { observer.OnBlock(counts, block_); });
    if (written + 1 == maxBlocks_) {
        complete_ = true;
        Tell([](Observer& observer) { observer.OnComplete(); });
    }
}

void Session::WriterLoop() {
    writerId_ = std::this_thread::get_id();
    Ring::Popped popped;
    for (;;) {
        ring_.Pop(block_, kBlockFrames, popped);
        if (popped.frames == 0 || abandoned_.load()) {
            break;
        }
        if (complete_.load() || writeError_.load() != 0) {
            continue;  // the ring is still emptied, so no loss is claimed
        }
        std::memset(block_ + popped.frames, 0, 2 * (kBlockFrames - popped.frames));
        for (int k = 0; k < popped.lossCount; ++k) {
            Tell([&](Observer& observer) { observer.OnLoss(popped.losses[k]); });
        }
        Write(popped);
    }
    if (deviceEnded_.load()) {
        Tell([](Observer& observer) { observer.OnDeviceEnd(); });
    }
    std::lock_guard<std::mutex> guard(lock_);
    writerDone_ = true;
    changed_.notify_all();
}

StopResult Session::Stop() {
    if (writerId_.load() == std::this_thread::get_id()) {
        StopResult refused;
        refused.counts = Current();
        refused.fromObserver = true;
        return refused;
    }
    std::unique_lock<std::mutex> guard(lock_);
    if (stopping_) {
        changed_.wait(guard, [this] { return stopped_; });
        return result_;
    }
    stopping_ = true;
    guard.unlock();
    EndCapture();  // first, so nothing captured after the call is kept
    guard.lock();
    const bool finished = changed_.wait_for(guard, std::chrono::milliseconds(kStopWaitMilliseconds),
                                            [this] { return writerDone_; });
    if (finished) {
        writer_.join();  // it takes lock_ no more
    } else {
        const std::lock_guard<std::mutex> quiet(telling_);
        abandoned_ = true;
        writer_.detach();  // it holds the session; it ends once its write returns
    }
    result_ = {Current(), !finished, deviceEnded_.load(), complete_.load(), writeError_.load()};
    stopped_ = true;
    changed_.notify_all();
    return result_;
}

Recorder::~Recorder() { (void)Stop(); }

StartOutcome Recorder::Start(std::shared_ptr<io::Sink> sink, const Options& options) {
    std::lock_guard<std::mutex> guard(lock_);
    if (session_ != nullptr) {
        return {StartResult::Busy, 0, {}};
    }
    if (sink == nullptr) {
        return {StartResult::WriteFailed, 0, {}};
    }
    std::shared_ptr<Session> session;
    try {
        session = std::make_shared<Session>(std::move(sink), options);
    } catch (const std::bad_alloc&) {
        return {StartResult::OutOfResources, 0, {}};
    }
    StartOutcome outcome = session->Start();
    outcome.device = session->DeviceName();
    if (outcome.result == StartResult::Started) {
        session_ = std::move(session);
    }
    return outcome;
}

StopResult Recorder::Stop() {
    std::shared_ptr<Session> session;
    {
        std::lock_guard<std::mutex> guard(lock_);
        session = session_;
    }
    if (session == nullptr) {
        return StopResult{};
    }
    const StopResult result = session->Stop();
    if (result.fromObserver) {
        return result;  // the recording goes on
    }
    std::lock_guard<std::mutex> guard(lock_);
    // A Start on another thread may have put a new session there meanwhile.
    // cppcheck-suppress knownConditionTrueFalse
    if (session_ == session) {
        session_.reset();
    }
    return result;
}

bool Recorder::Recording() const {
    std::lock_guard<std::mutex> guard(lock_);
    return session_ != nullptr;
}

Counts Recorder::Current() const {
    std::lock_guard<std::mutex> guard(lock_);
    return session_ != nullptr ? session_->Current() : Counts{};
}

}  // namespace pendrax::recorder
