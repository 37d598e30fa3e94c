// A recording still running when the library is unloaded (dlclose, or the
// process exiting) is stopped first: its file gets its final header, and no
// capture thread is left running code that is about to be unmapped.
#include "PendraxWAVFlanger.h"

namespace {

__attribute__((destructor)) void StopRecordingOnUnload() { (void)SoundRecorderStop(); }

}  // namespace
