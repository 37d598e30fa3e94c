// How the winmm stand-in misbehaves, on cue.
#pragma once

namespace winmm_standin {

struct Script {
    // Buffers queued before the device is lost and refuses more; -1: never.
    int addsAccepted = -1;
    // Every buffer queued while started comes straight back, empty.
    bool emptyReturns = false;
    // Resets that keep one queued buffer back (the driver's last).
    int resetsKeepingOne = 0;
};

// Sets the script.
void Set(const Script& wanted);

}  // namespace winmm_standin
