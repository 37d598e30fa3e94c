#include "record/Session.h"

#include <cstdio>
#include <string>
#include <thread>

#include "Cli.h"
#include "Console.h"
#include "LiveLine.h"
#include "Os.h"
#include "PendraxWAVFlanger.h"
#include "os/Probes.h"
#include "record/StopPolicy.h"

namespace pendrax_host {
namespace {

std::string StartFailure(int code, const std::string& device) {
    switch (code) {
        case PENDRAX_RECORDER_DEVICE_OPEN_FAILED:
#if defined(_WIN32)
            // winmm opens the default input; there is no device to name.
            (void)device;
            return "the default audio input did not open (is there one, and may programs use "
                   "it?)";
#else
            return "the capture device '" + device +
                   "' did not open (is there an audio input? -D or PENDRAX_CAPTURE_DEVICE "
                   "names another ALSA device)";
#endif
        case PENDRAX_RECORDER_QUEUE_FAILED: return "the capture buffer could not be queued";
        case PENDRAX_RECORDER_START_FAILED: return "capture did not start";
        case PENDRAX_RECORDER_FILE_FAILED: return "the module could not create its file";
        case PENDRAX_RECORDER_BUSY: return "a recording is already in progress";
        default: return "unknown failure";
    }
}

double SecondsSince(std::chrono::steady_clock::time_point begin) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
}

}  // namespace

int RecordingSession::Start(const std::string& device) {
    const int prepared = target_.Prepare();
    if (prepared != kExitSuccess) {
        return prepared;
    }
    InstallStopHandlers();
    begin_ = std::chrono::steady_clock::now();
    const int started = SoundRecorderStart(target_.ModuleFile().wide.c_str());
    std::string reason;
    if (started == PENDRAX_SUCCESS && target_.Started(reason)) {
        return kExitSuccess;
    }
    if (started == PENDRAX_SUCCESS) {
        Say("pendrax: cannot create %s: %s\n", target_.Name().c_str(), reason.c_str());
    } else {
        Say("pendrax: recording into %s failed: %s\n", target_.Name().c_str(),
            StartFailure(started, device).c_str());
    }
    // Finishes what a failed start leaves open, then removes its file.
    SoundRecorderStop();
    StopDone();
    target_.Abandon();
    return kExitStartFailedBase +
           (started == PENDRAX_SUCCESS ? PENDRAX_RECORDER_FILE_FAILED : started);
}

RecordingSession::End RecordingSession::Run(long seconds) {
    LiveLine line(target_.Name(), seconds);
    StopPolicy policy(seconds);
    End end;
    const long limit = seconds > 0 ? seconds : PENDRAX_MAX_BLOCKS;
    long shown = 0;
    std::string level;
    unsigned char block[PENDRAX_BLOCK_BYTES];
    for (;;) {
        const double elapsed = SecondsSince(begin_);
        const long written = target_.Blocks();
        if (!target_.Pump(written < limit ? written : limit, end.reason)) {
            end.ending = Ending::WriteFailed;
            break;
        }
        // The level of the latest second the file gained.
        if (written > shown && target_.ReadBlock(written - 1, block)) {
            int peak = 0;
            for (std::size_t k = 0; k + 1 < sizeof block; k += 2) {
                const auto sample = static_cast<short>(block[k] | (block[k + 1] << 8));
                peak = sample < 0 ? (-sample > peak ? -sample : peak)
                                  : (sample > peak ? sample : peak);
            }
            level = LevelText(peak);
        }
        shown = written;
        line.Show(written < limit ? written : limit, level, "");
        if (StopRequested()) {
            break;
        }
        const StopPolicy::Verdict verdict = policy.Check(elapsed, written);
        if (verdict == StopPolicy::Verdict::Full) {
            end.ending = Ending::Full;
            break;
        }
        if (verdict == StopPolicy::Verdict::Done) {
            break;
        }
        // A late block, with no room for it or past a size limit, is a
        // failed write: say so now rather than when the stall is certain.
        if (policy.Overdue() || verdict == StopPolicy::Verdict::Stalled) {
            end.reason = GrowthFailure(target_.Recording(), PENDRAX_BLOCK_BYTES);
        }
        if (!end.reason.empty()) {
            end.ending = Ending::WriteFailed;
            if (target_.Streaming()) {
                end.failed = "the temporary file '" + target_.Recording().text + "'";
            }
            break;
        }
        if (verdict == StopPolicy::Verdict::Stalled) {
            end.ending = Ending::Stalled;
            end.stalledAt = elapsed;
            break;
        }
        std::this_thread::sleep_for(
            std::chrono::milliseconds(policy.WaitMilliseconds(elapsed, written)));
    }
    end.lost = policy.LostSeconds();
    Stop(limit, end);
    line.Break();
    return end;
}

void RecordingSession::Stop(long keep, End& end) {
    const long blocks = SoundRecorderStop();
    end.blocks = blocks < keep ? blocks : keep;
    std::string reason;
    // The second in progress at the stop is kept, up to the asked length.
    if (!target_.Pump(end.blocks, reason) && end.reason.empty()) {
        end.ending = Ending::WriteFailed;
        end.reason = reason;
    }
    if (!target_.Finish(end.blocks, blocks, reason) && end.reason.empty()) {
        end.ending = Ending::WriteFailed;
        end.reason = reason;
    }
    // Only now may a closing console end the process: on Windows the
    // recording has just been moved into place.
    StopDone();
}

}  // namespace pendrax_host
