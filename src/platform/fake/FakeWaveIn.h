// A capture device that tests drive by hand, linked into the recorder's
// test build instead of the system's.
#pragma once

#include <cstddef>

#include "WaveIn.h"

namespace fake_wave_in {

struct Behaviour {
    pendrax::wavein::OpenResult open = pendrax::wavein::OpenResult::Opened;
    bool startFails = false;
};

// Sets how the next device behaves. No device may be open.
void Reset(const Behaviour& wanted = Behaviour());

bool DeviceOpen();

// The device captures `bytes` bytes of `fill` (whole samples of them) and
// the recorder takes them. False, and nothing captured, when no device is
// capturing.
bool Deliver(std::size_t bytes, unsigned char fill);

}  // namespace fake_wave_in
