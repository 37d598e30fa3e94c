// Where SoundRecorderStart opens its file: an object of its own, so the
// capture tests can link one whose writes they hold up, as a slow disk does.
#pragma once

#include <memory>

#include "Io.h"
#include "PendraxWAVFlanger.h"

namespace pendrax::module {

// Opens `path` for a recording, created or cut to nothing, as the recorder's
// sink. PENDRAX_SUCCESS; PENDRAX_RECORDER_FILE_FAILED when it does not open
// (a null path, or one with no exact name, included); with no memory,
// PENDRAX_RECORDER_DEVICE_OPEN_FAILED, as for the recorder's own buffers.
int OpenRecordingFile(const PendraxWideChar* path, std::shared_ptr<io::Sink>& sink);

}  // namespace pendrax::module
