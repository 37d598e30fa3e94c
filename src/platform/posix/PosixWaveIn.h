// The capture backends on Linux, of which WaveInChoice.cpp picks one per
// recording by the device's name.
#pragma once

#include <memory>

#include "WaveIn.h"

namespace pendrax::wavein {

// Any ALSA PCM by name; null without memory.
std::unique_ptr<Device> NewAlsaDevice();
// The sound server's default source through its own client library; null
// without memory.
std::unique_ptr<Device> NewPulseDevice();

}  // namespace pendrax::wavein
