// Which backend records, decided at the open by the device's name: "pulse",
// and "default" while a sound server answers (without starting one), go to
// the server's own client library, whose one-second fragments wake the
// process about once a second; any other name, or "default" with no server,
// goes to ALSA. A build without the client library has ALSA alone.
#include <cstdlib>
#include <new>

#include "PosixWaveIn.h"

namespace pendrax::wavein {
namespace {

class ChosenDevice final : public Device {
public:
    OpenResult Open(const std::string& name, unsigned rate) override {
#if PENDRAX_WITH_PULSE
        if (name == "pulse" || name == "default") {
            chosen_ = NewPulseDevice();
            if (chosen_ == nullptr) {
                return OpenResult::NoMemory;
            }
            const OpenResult opened = chosen_->Open(name, rate);
            if (opened != OpenResult::NoDevice || name == "pulse") {
                return opened;
            }
        }
#endif
        chosen_ = NewAlsaDevice();
        return chosen_ == nullptr ? OpenResult::NoMemory : chosen_->Open(name, rate);
    }
    bool Start() override { return chosen_->Start(); }
    void Wait() override { chosen_->Wait(); }
    void Wake() override { chosen_->Wake(); }
    Drained Drain(CaptureSink& sink) override { return chosen_->Drain(sink); }
    void Finish(CaptureSink& sink) override { chosen_->Finish(sink); }

private:
    std::unique_ptr<Device> chosen_;
};

}  // namespace

std::string DeviceName(const std::string& given) {
    if (!given.empty()) {
        return given;
    }
    const char* named = std::getenv("PENDRAX_CAPTURE_DEVICE");  // NOLINT(concurrency-mt-unsafe)
    return named != nullptr && *named != '\0' ? named : "default";
}

std::unique_ptr<Device> NewDevice() {
    return std::unique_ptr<Device>(new (std::nothrow) ChosenDevice);
}

}  // namespace pendrax::wavein
