#include "WaveInService.h"

#include <cstring>
#include <system_error>

namespace pendrax::wavein {

void Device::SetCallback(DWORD_PTR callback, DWORD flags, DWORD_PTR instance) {
    callback_ = flags == CALLBACK_FUNCTION ? reinterpret_cast<WaveInCallback>(callback) : nullptr;
    instance_ = instance;
}

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
    {
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
    }
    Wake();
    return MMSYSERR_NOERROR;
}

bool Device::AnyQueued() {
    std::lock_guard<std::mutex> guard(lock_);
    return queueCount_ > 0;
}

MMRESULT Device::Send(Command command) {
    if (std::this_thread::get_id() == thread_.get_id()) {
        // From inside a callback: the thread is ours and between two reads.
        // It cannot close itself.
        return command == Command::Close ? MMSYSERR_ERROR : Execute(command);
    }
    std::unique_lock<std::mutex> guard(lock_);
    changed_.wait(guard, [this] { return command_ == Command::None; });
    command_ = command;
    Wake();
    changed_.wait(guard, [this] { return command_ == Command::None; });
    return commandResult_;
}

bool Device::StartThread() {
    try {
        thread_ = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void Device::JoinThread() {
    if (thread_.joinable()) {
        thread_.join();
    }
}

WAVEHDR* Device::TakeFront() {
    std::lock_guard<std::mutex> guard(lock_);
    if (queueCount_ == 0) {
        return nullptr;
    }
    WAVEHDR* header = queue_[queueHead_];
    queueHead_ = (queueHead_ + 1) % kMaxQueued;
    --queueCount_;
    header->dwFlags = (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
    return header;
}

std::size_t Device::Deliver(const char* bytes, std::size_t count) {
    std::size_t taken = 0;
    while (taken < count) {
        WAVEHDR* header = nullptr;
        {
            std::lock_guard<std::mutex> guard(lock_);
            header = queueCount_ == 0 ? nullptr : queue_[queueHead_];
        }
        if (header == nullptr) {
            break;
        }
        // Only this thread fills a queued buffer, so its bytes need no lock.
        const std::size_t room = header->dwBufferLength - header->dwBytesRecorded;
        const std::size_t part = count - taken < room ? count - taken : room;
        std::memcpy(header->lpData + header->dwBytesRecorded, bytes + taken, part);
        header->dwBytesRecorded += static_cast<DWORD>(part);
        taken += part;
        if (header->dwBytesRecorded == header->dwBufferLength) {
            HandBackFront();
        }
    }
    return taken;
}

std::size_t Device::Room() {
    std::lock_guard<std::mutex> guard(lock_);
    std::size_t room = 0;
    for (int k = 0; k < queueCount_; ++k) {
        const WAVEHDR* header = queue_[(queueHead_ + k) % kMaxQueued];
        room += header->dwBufferLength - header->dwBytesRecorded;
    }
    return room;
}

void Device::HandBackFront() {
    if (WAVEHDR* header = TakeFront()) {
        Notify(WIM_DATA, header);
    }
}

void Device::HandBackAll() {
    while (WAVEHDR* header = TakeFront()) {
        Notify(WIM_DATA, header);
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
            // The buffer in progress goes back with what it holds so far.
            CaptureEnded();
            return MMSYSERR_NOERROR;
        case Command::Reset:
            if (capturing_) {
                EndStream();
                capturing_ = false;
            }
            HandBackAll();
            return MMSYSERR_NOERROR;
        case Command::Close: {
            if (capturing_) {
                EndStream();
                capturing_ = false;
            }
            const MMRESULT result = CloseStream();
            closed_ = result == MMSYSERR_NOERROR;
            return result;
        }
        case Command::None: break;
    }
    return MMSYSERR_NOERROR;
}

void Device::CaptureEnded() {
    if (capturing_) {
        EndStream();
        capturing_ = false;
        HandBackFront();
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
    if (device == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    if (device->AnyQueued()) {
        return WAVERR_STILLPLAYING;
    }
    const MMRESULT result = device->Send(Command::Close);
    if (result != MMSYSERR_NOERROR) {
        return result;
    }
    device->JoinThread();
    device->Notify(WIM_CLOSE, nullptr);
    delete device;
    return MMSYSERR_NOERROR;
}

}  // namespace pendrax::wavein
