// SoundRecorderStart and SoundRecorderStop: the recorder on a file, its
// header kept up to date after every block, mapped to the documented
// numbers. A start that failed after the file was created still needs its
// stop, which finishes the file, as it always has.
#include <atomic>
#include <cstdlib>
#include <memory>
#include <mutex>

#include "PendraxWAVFlanger.h"
#include "Recorder.h"
#include "RecordingFile.h"

namespace {

using namespace pendrax;

struct RecorderState {
    std::mutex lock;  // Start against Start; a stop waits in the recorder, not here
    recorder::Recorder recorder;
    bool failedStart = false;  // a start failed after creating its file: a stop is owed
};

RecorderState& State() {
    static RecorderState* state = new RecorderState;  // outlives the unload's stop
    return *state;
}

// Whether the state was ever made: a stop before any start (the unload's,
// for one) then has nothing to stop and makes nothing that would outlive it.
std::atomic<bool> stateMade{false};

}  // namespace

extern "C" PENDRAX_API int SoundRecorderStart(const PendraxWideChar* path) {
    RecorderState& state = State();
    stateMade = true;
    std::lock_guard<std::mutex> guard(state.lock);
    if (state.failedStart || state.recorder.Recording()) {
        return PENDRAX_RECORDER_BUSY;
    }
    std::shared_ptr<io::Sink> sink;
    if (const int opened = module::OpenRecordingFile(path, sink); opened != PENDRAX_SUCCESS) {
        return opened;
    }
    recorder::Options options;
#if !defined(_WIN32)
    // Read on the caller's thread; nothing here sets it.
    const char* device = std::getenv("PENDRAX_CAPTURE_DEVICE");  // NOLINT(concurrency-mt-unsafe)
    options.device = device != nullptr ? device : "";
#endif
    switch (state.recorder.Start(std::move(sink), options).result) {
        case recorder::StartResult::Started: return PENDRAX_SUCCESS;
        case recorder::StartResult::WriteFailed: return PENDRAX_RECORDER_FILE_FAILED;
        case recorder::StartResult::Busy: return PENDRAX_RECORDER_BUSY;
        case recorder::StartResult::StartFailed:
            state.failedStart = true;
            return PENDRAX_RECORDER_START_FAILED;
        case recorder::StartResult::DeviceOpenFailed:
        case recorder::StartResult::OutOfResources: break;
    }
    state.failedStart = true;
    return PENDRAX_RECORDER_DEVICE_OPEN_FAILED;
}

extern "C" PENDRAX_API int SoundRecorderStop(void) {
    if (!stateMade) {
        return 0;
    }
    RecorderState& state = State();
    {
        std::lock_guard<std::mutex> guard(state.lock);
        if (state.failedStart) {
            state.failedStart = false;  // its file holds the header for no blocks
            return 0;
        }
    }
    return static_cast<int>(state.recorder.Stop().counts.blocks);
}
