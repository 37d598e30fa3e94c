#include "FakeWaveIn.h"

#include <condition_variable>
#include <cstring>
#include <mutex>

#include "PendraxWAVFlanger.h"

namespace pendrax::wavein {
struct Device {
    int unused = 0;
};
}  // namespace pendrax::wavein

namespace fake_wave_in {

using pendrax::wavein::HWAVEIN;
using pendrax::wavein::WaveInCallback;
using WaveInDevice = pendrax::wavein::Device;

namespace {

struct FakeState {
    std::mutex lock;
    std::condition_variable idle;
    Behaviour behaviour;
    std::vector<std::string> calls;
    WaveInDevice device;
    bool open = false;
    bool started = false;
    bool firstAdd = true;
    bool sizesRight = true;
    int callbacksRunning = 0;
    WAVEHDR* queued = nullptr;
    WaveInCallback callback = nullptr;
    DWORD_PTR instance = 0;
};

FakeState fake;

MMRESULT Log(const char* name, MMRESULT result) {
    fake.calls.push_back(result == MMSYSERR_NOERROR ? std::string(name) : std::string(name) + "!");
    return result;
}

bool Ours(const WaveInDevice* device) { return fake.open && device == &fake.device; }

// Hands `header` back to the callback on this thread; called without the lock.
void HandBack(WAVEHDR* header, std::unique_lock<std::mutex>& guard) {
    header->dwFlags = (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
    WaveInCallback callback = fake.callback;
    const DWORD_PTR instance = fake.instance;
    ++fake.callbacksRunning;
    guard.unlock();
    callback(&fake.device, WIM_DATA, instance, reinterpret_cast<DWORD_PTR>(header), 0);
    guard.lock();
    --fake.callbacksRunning;
    fake.idle.notify_all();
}

}  // namespace

void Reset(const Behaviour& behaviour) {
    std::lock_guard<std::mutex> guard(fake.lock);
    fake.behaviour = behaviour;
    fake.calls.clear();
    fake.open = false;
    fake.started = false;
    fake.firstAdd = true;
    fake.sizesRight = true;
    fake.queued = nullptr;
}

std::vector<std::string> Calls() {
    std::lock_guard<std::mutex> guard(fake.lock);
    return fake.calls;
}

bool DeviceOpen() {
    std::lock_guard<std::mutex> guard(fake.lock);
    return fake.open;
}

bool BufferQueued() {
    std::lock_guard<std::mutex> guard(fake.lock);
    return fake.queued != nullptr;
}

bool HeaderSizesRight() {
    std::lock_guard<std::mutex> guard(fake.lock);
    return fake.sizesRight;
}

bool DeliverBlock(std::size_t count, unsigned char fill) {
    std::unique_lock<std::mutex> guard(fake.lock);
    if (!fake.open || !fake.started || fake.queued == nullptr) {
        return false;
    }
    WAVEHDR* header = fake.queued;
    fake.queued = nullptr;
    std::memset(header->lpData, fill,
                count < header->dwBufferLength ? count : header->dwBufferLength);
    header->dwBytesRecorded = static_cast<DWORD>(count);
    HandBack(header, guard);
    return true;
}

void SendMessage(UINT message) {
    std::unique_lock<std::mutex> guard(fake.lock);
    if (fake.callback != nullptr) {
        WaveInCallback callback = fake.callback;
        guard.unlock();
        callback(&fake.device, message, fake.instance, 0, 0);
    }
}

}  // namespace fake_wave_in

namespace pendrax::wavein {

using namespace fake_wave_in;

MMRESULT waveInOpen(HWAVEIN* device, UINT deviceId, const WAVEFORMATEX* format, DWORD_PTR callback,
                    DWORD_PTR instance, DWORD flags) {
    std::unique_lock<std::mutex> guard(fake.lock);
    const bool wellFormed = device != nullptr && deviceId == WAVE_MAPPER && format != nullptr &&
                            format->wFormatTag == WAVE_FORMAT_PCM && format->nChannels == 1 &&
                            format->nSamplesPerSec == PENDRAX_SAMPLE_RATE &&
                            format->nAvgBytesPerSec == PENDRAX_BLOCK_BYTES &&
                            format->nBlockAlign == 2 && format->wBitsPerSample == 16 &&
                            format->cbSize == 0 && flags == CALLBACK_FUNCTION && callback != 0;
    if (!wellFormed) {
        return Log("open", MMSYSERR_INVALPARAM);
    }
    if (fake.open) {
        return Log("open", MMSYSERR_ALLOCATED);
    }
    if (fake.behaviour.openResult != MMSYSERR_NOERROR) {
        return Log("open", fake.behaviour.openResult);
    }
    fake.open = true;
    fake.callback = reinterpret_cast<WaveInCallback>(callback);
    fake.instance = instance;
    *device = &fake.device;
    Log("open", MMSYSERR_NOERROR);
    WaveInCallback notify = fake.callback;
    guard.unlock();
    notify(&fake.device, WIM_OPEN, instance, 0, 0);
    return MMSYSERR_NOERROR;
}

MMRESULT waveInPrepareHeader(HWAVEIN device, WAVEHDR* header, UINT headerSize) {
    std::lock_guard<std::mutex> guard(fake.lock);
    fake.sizesRight = fake.sizesRight && headerSize == sizeof(WAVEHDR);
    if (!Ours(device) || header == nullptr || header->lpData == nullptr) {
        return Log("prepare", MMSYSERR_INVALHANDLE);
    }
    header->dwFlags |= WHDR_PREPARED;
    return Log("prepare", MMSYSERR_NOERROR);
}

MMRESULT waveInAddBuffer(HWAVEIN device, WAVEHDR* header, UINT headerSize) {
    std::lock_guard<std::mutex> guard(fake.lock);
    fake.sizesRight = fake.sizesRight && headerSize == sizeof(WAVEHDR);
    if (!Ours(device) || header == nullptr) {
        return Log("add", MMSYSERR_INVALHANDLE);
    }
    if (!(header->dwFlags & WHDR_PREPARED)) {
        return Log("add", WAVERR_UNPREPARED);
    }
    if (fake.queued != nullptr) {
        return Log("add", WAVERR_STILLPLAYING);
    }
    if (fake.firstAdd) {
        fake.firstAdd = false;
        if (fake.behaviour.addResult != MMSYSERR_NOERROR) {
            return Log("add", fake.behaviour.addResult);
        }
    }
    header->dwFlags = (header->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
    fake.queued = header;
    return Log("add", MMSYSERR_NOERROR);
}

MMRESULT waveInStart(HWAVEIN device) {
    std::lock_guard<std::mutex> guard(fake.lock);
    if (!Ours(device)) {
        return Log("start", MMSYSERR_INVALHANDLE);
    }
    if (fake.behaviour.startResult != MMSYSERR_NOERROR) {
        return Log("start", fake.behaviour.startResult);
    }
    fake.started = true;
    return Log("start", MMSYSERR_NOERROR);
}

MMRESULT waveInStop(HWAVEIN device) {
    std::unique_lock<std::mutex> guard(fake.lock);
    if (!Ours(device)) {
        return Log("stop", MMSYSERR_INVALHANDLE);
    }
    Log("stop", MMSYSERR_NOERROR);
    const bool wasStarted = fake.started;
    fake.started = false;
    if (wasStarted && fake.queued != nullptr && fake.behaviour.stopHandsBack >= 0) {
        WAVEHDR* header = fake.queued;
        fake.queued = nullptr;
        std::memset(header->lpData, 0x5A, static_cast<std::size_t>(fake.behaviour.stopHandsBack));
        header->dwBytesRecorded = static_cast<DWORD>(fake.behaviour.stopHandsBack);
        HandBack(header, guard);
    }
    return MMSYSERR_NOERROR;
}

MMRESULT waveInReset(HWAVEIN device) {
    std::unique_lock<std::mutex> guard(fake.lock);
    if (!Ours(device)) {
        return Log("reset", MMSYSERR_INVALHANDLE);
    }
    Log("reset", MMSYSERR_NOERROR);
    fake.started = false;
    if (WAVEHDR* header = fake.queued) {
        fake.queued = nullptr;
        header->dwBytesRecorded = 0;
        HandBack(header, guard);
    }
    return MMSYSERR_NOERROR;
}

MMRESULT waveInUnprepareHeader(HWAVEIN device, WAVEHDR* header, UINT headerSize) {
    std::lock_guard<std::mutex> guard(fake.lock);
    fake.sizesRight = fake.sizesRight && headerSize == sizeof(WAVEHDR);
    if (!Ours(device) || header == nullptr) {
        return Log("unprepare", MMSYSERR_INVALHANDLE);
    }
    if (header == fake.queued) {
        return Log("unprepare", WAVERR_STILLPLAYING);
    }
    header->dwFlags &= ~WHDR_PREPARED;
    return Log("unprepare", MMSYSERR_NOERROR);
}

MMRESULT waveInClose(HWAVEIN device) {
    std::unique_lock<std::mutex> guard(fake.lock);
    if (!Ours(device)) {
        return Log("close", MMSYSERR_INVALHANDLE);
    }
    if (fake.queued != nullptr) {
        return Log("close", WAVERR_STILLPLAYING);
    }
    // No callback runs after close returns.
    fake.idle.wait(guard, [] { return fake.callbacksRunning == 0; });
    fake.open = false;
    fake.started = false;
    Log("close", MMSYSERR_NOERROR);
    WaveInCallback notify = fake.callback;
    const DWORD_PTR instance = fake.instance;
    guard.unlock();
    notify(&fake.device, WIM_CLOSE, instance, 0, 0);
    return MMSYSERR_NOERROR;
}

}  // namespace pendrax::wavein
