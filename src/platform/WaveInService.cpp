#include "WaveInService.h"

#include <cstring>
#include <system_error>

namespace pendrax::wavein {
namespace {

bool Launch(std::thread& thread, Device* device, void (*body)(Device*)) {
    try {
        thread = std::thread(body, device);
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

}  // namespace

void Device::Notify(UINT message, WAVEHDR* header) {
    if (callback_ != nullptr) {
        callback_(this, message, instance_, reinterpret_cast<DWORD_PTR>(header), 0);
    }
}

MMRESULT Device::Prepare(WAVEHDR* header, UINT headerSize) {
    if (header == nullptr || headerSize < sizeof(WAVEHDR) || header->lpData == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    std::lock_guard<std::mutex> guard(lock_);
    header->dwFlags = (header->dwFlags & ~WHDR_DONE) | WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT Device::Unprepare(WAVEHDR* header, UINT headerSize) {
    if (header == nullptr || headerSize < sizeof(WAVEHDR)) {
        return MMSYSERR_INVALPARAM;
    }
    std::lock_guard<std::mutex> guard(lock_);
    if (header->dwFlags & WHDR_INQUEUE) {
        return WAVERR_STILLPLAYING;
    }
    header->dwFlags &= ~WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT Device::Add(WAVEHDR* header, UINT headerSize) {
    if (header == nullptr || headerSize < sizeof(WAVEHDR)) {
        return MMSYSERR_INVALPARAM;
    }
    std::lock_guard<std::mutex> guard(lock_);
    if (!(header->dwFlags & WHDR_PREPARED)) {
        return WAVERR_UNPREPARED;
    }
    if (header->dwFlags & WHDR_INQUEUE) {
        return WAVERR_STILLPLAYING;
    }
    if (queueCount_ == kMaxQueued) {
        return MMSYSERR_NOMEM;
    }
    header->dwFlags = (header->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
    header->dwBytesRecorded = 0;
    queue_[(queueHead_ + queueCount_) % kMaxQueued] = header;
    ++queueCount_;
    work_.notify_one();
    return MMSYSERR_NOERROR;
}

MMRESULT Device::Send(Command command) {
    const MMRESULT result = [&] {
        std::unique_lock<std::mutex> guard(lock_);
        changed_.wait(guard, [this] { return command_ == Command::None; });
        command_ = command;
        Wake();
        changed_.wait(guard, [this] { return command_ == Command::None; });
        return commandResult_;
    }();
    if (command == Command::Stop || command == Command::Reset) {
        Flush(command == Command::Reset);
    }
    return result;
}

void Device::Flush(bool all) {
    std::unique_lock<std::mutex> guard(lock_);
    const int wanted = all ? 2 : 1;
    flushWanted_ = flushWanted_ > wanted ? flushWanted_ : wanted;
    work_.notify_one();
    if (OnDeliveryThread()) {
        return;  // carried out once the callback under way returns
    }
    // A flush under way may have begun before this request: wait for the next.
    const unsigned target = flushesDone_ + (flushing_ ? 2U : 1U);
    changed_.wait(guard, [&] { return flushesDone_ - target < 0x80000000U; });
}

MMRESULT Device::Close() {
    if (OnDeliveryThread() || std::this_thread::get_id() == capture_.get_id()) {
        return MMSYSERR_ERROR;  // a thread cannot wait for its own end
    }
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (queueCount_ > 0) {
            return WAVERR_STILLPLAYING;
        }
    }
    Send(Command::Close);
    capture_.join();
    {
        std::lock_guard<std::mutex> guard(lock_);
        quit_ = true;
    }
    work_.notify_one();
    delivery_.join();
    Notify(WIM_CLOSE, nullptr);
    delete this;
    return MMSYSERR_NOERROR;
}

void Device::Capture(const char* bytes, std::size_t count) {
    std::lock_guard<std::mutex> guard(lock_);
    const std::size_t room = ringSize_ - ringCount_;
    const std::size_t kept = count < room ? count : room;
    const std::size_t tail = (ringHead_ + ringCount_) % ringSize_;
    const std::size_t first = kept < ringSize_ - tail ? kept : ringSize_ - tail;
    std::memcpy(ring_.get() + tail, bytes, first);
    std::memcpy(ring_.get(), bytes + first, kept - first);
    ringCount_ += kept;
    if (kept > 0) {
        work_.notify_one();
    }
}

MMRESULT Device::Execute(Command command) {
    switch (command) {
        case Command::Start:
            if (!capturing_) {
                if (!StartStream()) {
                    return MMSYSERR_ERROR;
                }
                capturing_ = true;
            }
            return MMSYSERR_NOERROR;
        case Command::Stop:
        case Command::Reset: EndCapture(); return MMSYSERR_NOERROR;
        case Command::Close:
            EndCapture();
            CloseStream();
            closed_ = true;
            return MMSYSERR_NOERROR;
        case Command::None: break;
    }
    return MMSYSERR_NOERROR;
}

void Device::EndCapture() {
    if (capturing_) {
        EndStream();
        capturing_ = false;
    }
}

void Device::CaptureEnded() {
    if (capturing_) {
        EndCapture();
        // Not waited for: the callback may be waiting for this thread.
        std::lock_guard<std::mutex> guard(lock_);
        flushWanted_ = flushWanted_ > 1 ? flushWanted_ : 1;
        work_.notify_one();
    }
}

bool Device::CarryOutCommand() {
    Command command = Command::None;
    {
        std::lock_guard<std::mutex> guard(lock_);
        command = command_;
    }
    if (command == Command::None) {
        return false;
    }
    const MMRESULT result = Execute(command);
    {
        std::lock_guard<std::mutex> guard(lock_);
        commandResult_ = result;
        command_ = Command::None;
    }
    changed_.notify_all();
    return true;
}

WAVEHDR* Device::TakeFront() {
    if (queueCount_ == 0) {
        return nullptr;
    }
    WAVEHDR* header = queue_[queueHead_];
    queueHead_ = (queueHead_ + 1) % kMaxQueued;
    --queueCount_;
    header->dwFlags = (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
    return header;
}

void Device::DeliverLoop() {
    std::unique_lock<std::mutex> guard(lock_);
    for (;;) {
        work_.wait(guard, [this] {
            return quit_ || flushWanted_ != 0 || (ringCount_ > 0 && queueCount_ > 0);
        });
        if (quit_) {
            return;
        }
        if (ringCount_ > 0 && queueCount_ > 0) {
            // The buffer's bytes are written here alone, under the lock the
            // ring needs anyway; a copy is one contiguous run of the ring.
            WAVEHDR* header = queue_[queueHead_];
            const std::size_t room = header->dwBufferLength - header->dwBytesRecorded;
            const std::size_t run = ringSize_ - ringHead_;
            std::size_t part = ringCount_ < run ? ringCount_ : run;
            part = part < room ? part : room;
            std::memcpy(header->lpData + header->dwBytesRecorded, ring_.get() + ringHead_, part);
            header->dwBytesRecorded += static_cast<DWORD>(part);
            ringHead_ = (ringHead_ + part) % ringSize_;
            ringCount_ -= part;
            if (header->dwBytesRecorded == header->dwBufferLength) {
                TakeFront();
                guard.unlock();
                Notify(WIM_DATA, header);
                guard.lock();
            }
            continue;
        }
        // A flush, with the ring delivered as far as the queued buffers go.
        // What no buffer took is dropped with the stream.
        const bool all = flushWanted_ == 2;
        flushWanted_ = 0;
        flushing_ = true;
        ringHead_ = 0;
        ringCount_ = 0;
        // Buffers the callback queues again during a reset stay queued.
        for (int left = all ? queueCount_ : 1; left > 0; --left) {
            WAVEHDR* header = TakeFront();
            if (header == nullptr) {
                break;
            }
            guard.unlock();
            Notify(WIM_DATA, header);
            guard.lock();
        }
        flushing_ = false;
        ++flushesDone_;
        changed_.notify_all();
    }
}

MMRESULT OpenDevice(Device* opened, HWAVEIN* device, UINT deviceId, const WAVEFORMATEX* format,
                    DWORD_PTR callback, DWORD_PTR instance, DWORD flags) {
    std::unique_ptr<Device> owner(opened);
    if (device == nullptr || format == nullptr || format->nBlockAlign == 0 ||
        format->nAvgBytesPerSec == 0) {
        return MMSYSERR_INVALPARAM;
    }
    if (flags != CALLBACK_FUNCTION && flags != 0) {
        return MMSYSERR_INVALFLAG;
    }
    if (owner == nullptr) {
        return MMSYSERR_NOMEM;
    }
    const MMRESULT result = owner->OpenStream(deviceId, *format);
    if (result != MMSYSERR_NOERROR) {
        return result;
    }
    std::size_t ringSize = Device::kRingSeconds * format->nAvgBytesPerSec;
    ringSize -= ringSize % format->nBlockAlign;
    owner->ring_.reset(new (std::nothrow) char[ringSize]);
    owner->ringSize_ = ringSize;
    owner->callback_ =
        flags == CALLBACK_FUNCTION ? reinterpret_cast<WaveInCallback>(callback) : nullptr;
    owner->instance_ = instance;
    const bool started =
        owner->ring_ != nullptr &&
        Launch(owner->delivery_, owner.get(), [](Device* self) { self->DeliverLoop(); });
    if (!started || !Launch(owner->capture_, owner.get(), [](Device* self) { self->Run(); })) {
        if (started) {
            {
                std::lock_guard<std::mutex> guard(owner->lock_);
                owner->quit_ = true;
            }
            owner->work_.notify_one();
            owner->delivery_.join();
        }
        owner->CloseStream();
        return MMSYSERR_NOMEM;
    }
    *device = owner.release();
    (*device)->Notify(WIM_OPEN, nullptr);
    return MMSYSERR_NOERROR;
}

MMRESULT waveInPrepareHeader(HWAVEIN device, WAVEHDR* header, UINT headerSize) {
    return device == nullptr ? MMSYSERR_INVALHANDLE : device->Prepare(header, headerSize);
}

MMRESULT waveInUnprepareHeader(HWAVEIN device, WAVEHDR* header, UINT headerSize) {
    return device == nullptr ? MMSYSERR_INVALHANDLE : device->Unprepare(header, headerSize);
}

MMRESULT waveInAddBuffer(HWAVEIN device, WAVEHDR* header, UINT headerSize) {
    return device == nullptr ? MMSYSERR_INVALHANDLE : device->Add(header, headerSize);
}

MMRESULT waveInStart(HWAVEIN device) {
    return device == nullptr ? MMSYSERR_INVALHANDLE : device->Send(Command::Start);
}

MMRESULT waveInStop(HWAVEIN device) {
    return device == nullptr ? MMSYSERR_INVALHANDLE : device->Send(Command::Stop);
}

MMRESULT waveInReset(HWAVEIN device) {
    return device == nullptr ? MMSYSERR_INVALHANDLE : device->Send(Command::Reset);
}

MMRESULT waveInClose(HWAVEIN device) {
    return device == nullptr ? MMSYSERR_INVALHANDLE : device->Close();
}

}  // namespace pendrax::wavein
