// The recorder's internals, used by its exports: the device's opening and
// the capture callback.
#pragma once

#include "WaveIn.h"

namespace pendrax::recorder {

namespace wavein = pendrax::wavein;

// Opens the default capture device at 8000 Hz mono 16-bit, prepares and
// queues the one capture buffer and starts capture. Returns 999, or 1, 2, 3
// for the stage that failed.
int OpenCaptureDevice();

// The wave-in callback: appends every filled block to the recording.
// Runs on a thread of the capture service, where queuing and file writes are
// allowed. During a stop it writes every block handed back, and queues
// again all but the last, partial one.
void OnCaptureBlock(wavein::HWAVEIN device, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                    DWORD_PTR param2);

}  // namespace pendrax::recorder
