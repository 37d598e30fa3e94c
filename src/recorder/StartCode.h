// The public code of each start result, for both faces: the module returns
// it, the host exits with it added to its base.
#pragma once

#include "PendraxWAVFlanger.h"
#include "Recorder.h"

namespace pendrax::recorder {

// Code 2 is never returned: no memory or thread for the capture counts as
// the device not opening, the stage that asked for them.
constexpr int PublicStartCode(StartResult result) {
    switch (result) {
        case StartResult::Started: return PENDRAX_SUCCESS;
        case StartResult::DeviceOpenFailed:
        case StartResult::OutOfResources: return PENDRAX_RECORDER_DEVICE_OPEN_FAILED;
        case StartResult::StartFailed: return PENDRAX_RECORDER_START_FAILED;
        case StartResult::WriteFailed: return PENDRAX_RECORDER_FILE_FAILED;
        case StartResult::Busy: return PENDRAX_RECORDER_BUSY;
    }
    return PENDRAX_RECORDER_FILE_FAILED;
}

}  // namespace pendrax::recorder
