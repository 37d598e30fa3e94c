#include "record/Session.h"

#include <cstdint>
#include <cstdio>
#include <string>

#include "PendraxWAVFlanger.h"
#include "cli/ExitCodes.h"
#include "os/Probes.h"
#include "os/Process.h"
#include "os/Signals.h"
#include "record/LiveLine.h"
#include "record/StopPolicy.h"

namespace pendrax_host {
namespace {

const char* StartFailure(int code) {
    switch (code) {
        case PENDRAX_RECORDER_DEVICE_OPEN_FAILED:
            return "the capture device did not open (is there an audio input? "
                   "-D or PENDRAX_CAPTURE_DEVICE names another ALSA device)";
        case PENDRAX_RECORDER_QUEUE_FAILED: return "the capture buffer could not be queued";
        case PENDRAX_RECORDER_START_FAILED: return "capture did not start";
        case PENDRAX_RECORDER_BUSY: return "a recording is already in progress";
        default: return "unknown failure";
    }
}

long BlocksIn(const Arg& path) {
    const std::int64_t size = FileSize(path);
    return size < PENDRAX_WAV_HEADER_BYTES
               ? 0
               : static_cast<long>((size - PENDRAX_WAV_HEADER_BYTES) / PENDRAX_BLOCK_BYTES);
}

}  // namespace

int RecordingSession::Start() {
    InstallStopHandlers();
    // Timed from before the start: capture begins a little after it, so N
    // seconds later the file holds N blocks, the last one ending in silence.
    begin_ = std::chrono::steady_clock::now();
    const int started = SoundRecorderStart(output_.wide.c_str());
    if (started == PENDRAX_SUCCESS) {
        return kExitSuccess;
    }
    const char* name = output_.text.c_str();
    if (started == PENDRAX_RECORDER_FILE_FAILED) {
        const std::string reason = WriteOpenFailure(output_);
        std::fprintf(stderr, "pendrax: cannot create '%s': %s\n", name,
                     reason.empty() ? "the module could not create it" : reason.c_str());
    } else {
        std::fprintf(stderr, "pendrax: recording into '%s' failed: %s\n", name,
                     StartFailure(started));
    }
    // Finishes the empty file a device failure leaves; does nothing otherwise.
    SoundRecorderStop();
    StopDone();
    return kExitStartFailedBase + started;
}

RecordingSession::End RecordingSession::Run(long seconds) {
    const LiveLine line(output_.text);
    StopPolicy policy(seconds);
    End end;
    for (;;) {
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - begin_).count();
        const long written = BlocksIn(output_);
        line.Show(elapsed, written);
        if (StopRequested()) {
            break;
        }
        const StopPolicy::Verdict verdict = policy.Check(elapsed, written);
        if (verdict != StopPolicy::Verdict::Continue) {
            end.stalled = verdict == StopPolicy::Verdict::Stalled;
            break;
        }
        SleepMilliseconds(policy.WaitMilliseconds(elapsed));
    }
    end.blocks = SoundRecorderStop();
    StopDone();
    line.End();
    return end;
}

}  // namespace pendrax_host
