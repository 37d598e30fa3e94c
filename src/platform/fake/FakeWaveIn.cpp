#include "FakeWaveIn.h"

#include <condition_variable>
#include <mutex>
#include <vector>

namespace fake_wave_in {
namespace {

using namespace pendrax::wavein;

std::mutex lock;
std::condition_variable changed;
Behaviour behaviour;
bool open = false;
bool capturing = false;
bool woken = false;
std::vector<unsigned char> pending;

class FakeDevice final : public Device {
public:
    ~FakeDevice() override {
        std::lock_guard<std::mutex> guard(lock);
        open = false;
        capturing = false;
        pending.clear();
        changed.notify_all();
    }
    OpenResult Open(const std::string&, unsigned) override {
        std::lock_guard<std::mutex> guard(lock);
        open = behaviour.open == OpenResult::Opened;
        return behaviour.open;
    }
    bool Start() override {
        std::lock_guard<std::mutex> guard(lock);
        capturing = !behaviour.startFails;
        woken = false;
        return capturing;
    }
    void Wait() override {
        std::unique_lock<std::mutex> guard(lock);
        changed.wait(guard, [] { return woken || !pending.empty(); });
        woken = false;
    }
    void Wake() override {
        std::lock_guard<std::mutex> guard(lock);
        woken = true;
        changed.notify_all();
    }
    Drained Drain(CaptureSink& sink) override {
        std::lock_guard<std::mutex> guard(lock);
        if (pending.empty()) {
            return Drained::Idle;
        }
        sink.Push(pending.data(), pending.size() / 2);
        pending.clear();
        changed.notify_all();
        return Drained::Audio;
    }
    void Finish(CaptureSink& sink) override {
        std::lock_guard<std::mutex> guard(lock);
        sink.Push(pending.data(), pending.size() / 2);
        pending.clear();
        capturing = false;
        changed.notify_all();
    }
};

}  // namespace

void Reset(const Behaviour& wanted) {
    std::lock_guard<std::mutex> guard(lock);
    behaviour = wanted;
}

bool DeviceOpen() {
    std::lock_guard<std::mutex> guard(lock);
    return open;
}

bool Deliver(std::size_t bytes, unsigned char fill) {
    std::unique_lock<std::mutex> guard(lock);
    if (!capturing) {
        return false;
    }
    pending.insert(pending.end(), bytes - bytes % 2, fill);
    changed.notify_all();
    changed.wait(guard, [] { return pending.empty() || !capturing; });
    return true;
}

}  // namespace fake_wave_in

std::string pendrax::wavein::DeviceName(const std::string& given) { return given; }

std::unique_ptr<pendrax::wavein::Device> pendrax::wavein::NewDevice() {
    return std::unique_ptr<Device>(new fake_wave_in::FakeDevice);
}
