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
    // Headers prepared before preparing fails; -1: never.
    int preparesAccepted = -1;
    // How long after a stop or a reset the buffers they hand back come.
    int lateMilliseconds = 0;
};

// Headers prepared and not unprepared.
int Prepared();

// Sets the script.
void Set(const Script& wanted);

}  // namespace winmm_standin
