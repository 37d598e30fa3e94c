// SoundRecorderStart and SoundRecorderStop: the recorder on a file, its
// header kept up to date after every block, mapped to the documented
// numbers. A start that failed after the file was created owes a stop that
// returns 0; the file already holds the header for no blocks, so that stop,
// or a later start in its place, only clears the debt.
//
// The state belongs to the process that made it. A forked child has the
// memory but none of the threads: it sees no recording, and makes its own
// state if it starts one, never touching the parent's copy (whose locks may
// have been held by threads the child lacks).
#include <atomic>
#include <memory>
#include <mutex>
#include <new>

#if !defined(_WIN32)
#include <unistd.h>
#endif

#include "PendraxWAVFlanger.h"
#include "Recorder.h"
#include "RecordingFile.h"
#include "StartCode.h"

namespace {

using namespace pendrax;

#if defined(_WIN32)
using ProcessId = int;
ProcessId ThisProcess() { return 0; }  // no fork
#else
using ProcessId = pid_t;
ProcessId ThisProcess() { return getpid(); }
#endif

struct RecorderState {
    ProcessId owner = ThisProcess();
    std::mutex lock;  // Start against Start; a stop waits in the recorder, not here
    recorder::Recorder recorder;
    bool failedStart = false;  // a start failed after creating its file: a stop is owed
};

// Made by the first start in each process and never freed: it outlives the
// unload's stop. Null until then, so a stop before any start (the unload's,
// for one) has nothing to stop and makes nothing that would outlive it.
std::atomic<RecorderState*> current{nullptr};

// This process's state, or null when it has made none.
RecorderState* Existing() {
    RecorderState* const state = current.load();
    return state != nullptr && state->owner == ThisProcess() ? state : nullptr;
}

// This process's state, made if need be; null without memory.
RecorderState* Made() {
    for (;;) {
        RecorderState* seen = current.load();
        if (seen != nullptr && seen->owner == ThisProcess()) {
            return seen;
        }
        auto* const made = new (std::nothrow) RecorderState;
        if (made == nullptr) {
            return nullptr;
        }
        // The parent's copy, if any, is left as it is: the child cannot stop
        // threads it does not have.
        if (current.compare_exchange_strong(seen, made)) {
            return made;
        }
        delete made;  // another thread of this process made it first
    }
}

}  // namespace

extern "C" PENDRAX_API int SoundRecorderStart(const PendraxWideChar* path) {
    RecorderState* const made = Made();
    if (made == nullptr) {
        return recorder::PublicStartCode(recorder::StartResult::OutOfResources);
    }
    RecorderState& state = *made;
    std::lock_guard<std::mutex> guard(state.lock);
    if (state.recorder.Recording()) {
        return PENDRAX_RECORDER_BUSY;
    }
    state.failedStart = false;  // the owed stop: its file holds its header already
    std::shared_ptr<io::Sink> sink;
    if (const int opened = module::OpenRecordingFile(path, sink); opened != PENDRAX_SUCCESS) {
        return opened;
    }
    const recorder::StartResult result =
        state.recorder.Start(std::move(sink), recorder::Options{}).result;
    // A failure at the device's stages leaves the file with the header for
    // no blocks, and owes a stop.
    state.failedStart = result == recorder::StartResult::DeviceOpenFailed ||
                        result == recorder::StartResult::OutOfResources ||
                        result == recorder::StartResult::StartFailed;
    return recorder::PublicStartCode(result);
}

extern "C" PENDRAX_API int SoundRecorderStop(void) {
    RecorderState* const existing = Existing();
    if (existing == nullptr) {
        return 0;
    }
    RecorderState& state = *existing;
    {
        std::lock_guard<std::mutex> guard(state.lock);
        if (state.failedStart) {
            state.failedStart = false;  // its file holds the header for no blocks
            return 0;
        }
    }
    return static_cast<int>(state.recorder.Stop().counts.blocks);
}
