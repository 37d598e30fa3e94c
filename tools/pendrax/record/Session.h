// One recording through the module: started, run until it ends, and
// stopped, with the file's header finished in every case.
#pragma once

#include <chrono>
#include <string>

#include "Cli.h"
#include "record/Target.h"

namespace pendrax_host {

class RecordingSession {
public:
    enum class Ending {
        Asked,        // the asked length, or a request to stop
        Stalled,      // no block arrived for a while
        WriteFailed,  // writing OUT (or the file behind it) failed
        Full,         // the WAV size limit
    };

    struct End {
        long blocks = 0;  // whole one-second blocks kept
        Ending ending = Ending::Asked;
        std::string reason;      // why writing failed
        std::string failed;      // the file that failed, when not OUT
        double lost = 0.0;       // seconds of audio lost in a pause or a stall
        double stalledAt = 0.0;  // seconds from the start to a stall's stop
    };

    explicit RecordingSession(const Arg& output) : target_(output) {}

    // Starts recording. On failure it says why, leaves OUT as it was, and
    // returns the exit status; kExitSuccess once recording.
    int Start(const std::string& device);

    // Records until `seconds` (0 for no limit), a stop request, a stall or a
    // failed write, then stops and puts the recording in place.
    End Run(long seconds);

    const RecordingTarget& Target() const { return target_; }

private:
    // Stops the module and keeps `keep` blocks at most; fills end.blocks.
    void Stop(long keep, End& end);

    RecordingTarget target_;
    std::chrono::steady_clock::time_point begin_;
};

}  // namespace pendrax_host
