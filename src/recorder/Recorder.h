// The recorder's internals, shared by its exports and the tests that drive
// them through a fake capture layer.
#pragma once

#include "WaveIn.h"

namespace pendrax::recorder {

namespace wavein = pendrax::wavein;

// Opens the default capture device at 8000 Hz mono 16-bit, prepares and
// queues the one capture buffer and starts capture. Returns 999, or 1, 2, 3
// for the stage that failed.
int OpenCaptureDevice();

// The wave-in callback: appends every filled block to the recording.
// Runs on the capture service's thread, where queuing and file writes are
// allowed. During a stop it writes the block handed back, the last partial
// second, without queuing it again.
void OnCaptureBlock(wavein::HWAVEIN device, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                    DWORD_PTR param2);

}  // namespace pendrax::recorder
