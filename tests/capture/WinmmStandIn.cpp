// A scripted winmm, from its documentation, and the Win32 events it signals.
// - waveInAddBuffer queues a prepared buffer; the device fills the queued
//   buffers in order and marks each done (WHDR_DONE, dwBytesRecorded) once
//   full, then signals the CALLBACK_EVENT event.
// - waveInStop hands back the buffer being filled, with dwBytesRecorded
//   set; empty buffers stay queued.
// - waveInReset hands back every queued buffer.
// - waveInUnprepareHeader and waveInClose refuse with WAVERR_STILLPLAYING
//   while the buffer, or any buffer, is queued.
// The script makes it misbehave on cue (WinmmStandIn.h).
#include "WinmmStandIn.h"

#include <windows.h>
#include <mmsystem.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

namespace {

std::mutex lock;
// Never destroyed: a forked child exits without waiting for its parent's waiters.
std::condition_variable& signalled = *new std::condition_variable;

struct Event {
    bool manual;
    bool set;
};

}  // namespace

struct StandInWaveIn {
    HANDLE event = nullptr;
    std::deque<WAVEHDR*> queue;
    std::deque<WAVEHDR*> late;  // done, handed back at `lateAt`
    std::chrono::steady_clock::time_point lateAt;
    bool started = false;
    std::size_t buffers = 0;  // headers prepared on it, however many the service uses
};

namespace {

winmm_standin::Script script;
StandInWaveIn* current = nullptr;
std::vector<std::unique_ptr<StandInWaveIn>> neverClosed;
int openDevices = 0;
int adds = 0;
int prepares = 0;
int prepared = 0;
int resets = 0;
unsigned next = 0;  // the next sample's number

void SetLocked(HANDLE handle) {
    static_cast<Event*>(handle)->set = true;
    signalled.notify_all();
}

void HandBack(StandInWaveIn* device, WAVEHDR* header) {
    __atomic_store_n(&header->dwFlags, (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE,
                     __ATOMIC_RELEASE);
    SetLocked(device->event);
}

void HandBackFront(StandInWaveIn* device, bool stopping = false) {
    if (stopping && script.lateMilliseconds > 0) {
        device->late.push_back(device->queue.front());
        device->lateAt =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(script.lateMilliseconds);
    } else {
        HandBack(device, device->queue.front());
    }
    device->queue.pop_front();
}

// The driver's thread, as late as scripted, when anyone waits.
void HandBackLate() {
    if (current == nullptr || current->late.empty() ||
        std::chrono::steady_clock::now() < current->lateAt) {
        return;
    }
    for (WAVEHDR* header : current->late) {
        HandBack(current, header);
    }
    current->late.clear();
}

bool TakeSignalled(HANDLE handle) {
    auto* event = static_cast<Event*>(handle);
    const bool was = event->set;
    event->set = event->set && event->manual;
    return was;
}

}  // namespace

namespace winmm_standin {

void Set(const Script& wanted) {
    std::lock_guard<std::mutex> guard(lock);
    script = wanted;
    adds = 0;
    resets = 0;
    prepares = 0;
}

int Prepared() {
    std::lock_guard<std::mutex> guard(lock);
    return prepared;
}

}  // namespace winmm_standin

namespace standin {

void Produce(std::size_t samples) {
    std::lock_guard<std::mutex> guard(lock);
    for (; samples > 0; --samples, ++next) {
        if (current == nullptr || !current->started || current->queue.empty()) {
            continue;  // nowhere to go: lost
        }
        WAVEHDR* header = current->queue.front();
        const auto sample = static_cast<std::uint16_t>(next);
        std::memcpy(header->lpData + header->dwBytesRecorded, &sample, 2);
        header->dwBytesRecorded += 2;
        if (header->dwBytesRecorded == header->dwBufferLength) {
            HandBackFront(current);
        }
    }
}

bool Taken() {
    std::lock_guard<std::mutex> guard(lock);
    return current == nullptr || current->queue.size() >= current->buffers || !current->started;
}

int OpenDevices() {
    std::lock_guard<std::mutex> guard(lock);
    return openDevices;
}

bool Running() {
    std::lock_guard<std::mutex> guard(lock);
    return current != nullptr && current->started;
}

}  // namespace standin

MMRESULT waveInOpen(HWAVEIN* device, UINT, const WAVEFORMATEX*, DWORD_PTR callback, DWORD_PTR,
                    DWORD flags) {
    if (flags != CALLBACK_EVENT) {
        return MMSYSERR_INVALFLAG;
    }
    std::lock_guard<std::mutex> guard(lock);
    if (current != nullptr) {
        neverClosed.emplace_back(current);
    }
    current = new StandInWaveIn;
    current->event = reinterpret_cast<HANDLE>(callback);
    next = 0;
    *device = current;
    ++openDevices;
    return MMSYSERR_NOERROR;
}

MMRESULT waveInPrepareHeader(HWAVEIN device, WAVEHDR* header, UINT) {
    std::lock_guard<std::mutex> guard(lock);
    if (script.preparesAccepted >= 0 && prepares++ >= script.preparesAccepted) {
        return MMSYSERR_NOMEM;
    }
    device->buffers += !(header->dwFlags & WHDR_PREPARED);
    prepared += !(header->dwFlags & WHDR_PREPARED);
    header->dwFlags |= WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT waveInUnprepareHeader(HWAVEIN, WAVEHDR* header, UINT) {
    std::lock_guard<std::mutex> guard(lock);
    if (header->dwFlags & WHDR_INQUEUE) {
        return WAVERR_STILLPLAYING;
    }
    prepared -= (header->dwFlags & WHDR_PREPARED) != 0;
    header->dwFlags &= ~WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT waveInAddBuffer(HWAVEIN device, WAVEHDR* header, UINT) {
    std::lock_guard<std::mutex> guard(lock);
    if (!(header->dwFlags & WHDR_PREPARED)) {
        return WAVERR_UNPREPARED;
    }
    if (script.addsAccepted >= 0 && adds >= script.addsAccepted) {
        return MMSYSERR_NODRIVER;
    }
    ++adds;
    header->dwBytesRecorded = 0;
    __atomic_store_n(&header->dwFlags, (header->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE,
                     __ATOMIC_RELEASE);
    if (script.emptyReturns && device->started) {
        HandBack(device, header);
    } else {
        device->queue.push_back(header);
    }
    return MMSYSERR_NOERROR;
}

MMRESULT waveInStart(HWAVEIN device) {
    std::lock_guard<std::mutex> guard(lock);
    device->started = true;
    while (script.emptyReturns && !device->queue.empty()) {
        HandBackFront(device);
    }
    return MMSYSERR_NOERROR;
}

MMRESULT waveInStop(HWAVEIN device) {
    std::lock_guard<std::mutex> guard(lock);
    device->started = false;
    if (!device->queue.empty() && device->queue.front()->dwBytesRecorded > 0) {
        HandBackFront(device, true);
    }
    return MMSYSERR_NOERROR;
}

MMRESULT waveInReset(HWAVEIN device) {
    std::lock_guard<std::mutex> guard(lock);
    device->started = false;
    const bool keep = resets++ < script.resetsKeepingOne;
    while (device->queue.size() > (keep ? 1U : 0U)) {
        HandBackFront(device, true);
    }
    return MMSYSERR_NOERROR;
}

MMRESULT waveInClose(HWAVEIN device) {
    std::lock_guard<std::mutex> guard(lock);
    if (!device->queue.empty() || !device->late.empty()) {
        return WAVERR_STILLPLAYING;
    }
    --openDevices;
    current = current == device ? nullptr : current;
    delete device;
    return MMSYSERR_NOERROR;
}

HANDLE CreateEventW(void*, BOOL manualReset, BOOL initialState, const wchar_t*) {
    return new Event{manualReset != FALSE, initialState != FALSE};
}

BOOL SetEvent(HANDLE event) {
    std::lock_guard<std::mutex> guard(lock);
    SetLocked(event);
    return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
    delete static_cast<Event*>(handle);
    return TRUE;
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL, DWORD milliseconds) {
    std::unique_lock<std::mutex> guard(lock);
    DWORD woken = WAIT_TIMEOUT;
    const auto any = [&] {
        HandBackLate();
        for (DWORD k = 0; k < count; ++k) {
            if (TakeSignalled(handles[k])) {
                woken = WAIT_OBJECT_0 + k;
                return true;
            }
        }
        return false;
    };
    if (milliseconds == INFINITE) {
        signalled.wait(guard, any);
    } else if (!signalled.wait_for(guard, std::chrono::milliseconds(milliseconds), any)) {
        HandBackLate();
    }
    return woken;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    return WaitForMultipleObjects(1, &handle, FALSE, milliseconds);
}
