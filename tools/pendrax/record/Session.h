// One recording into a file through the module: started, run until it ends,
// and stopped, with the file's header finished in every case.
#pragma once

#include <chrono>

#include "cli/Args.h"

namespace pendrax_host {

class RecordingSession {
public:
    struct End {
        int blocks = 0;        // whole one-second blocks kept
        bool stalled = false;  // ended because no block arrived
    };

    explicit RecordingSession(const Arg& output) : output_(output) {}

    // Starts recording. On failure it says why, has the module finish what
    // it left, and returns the exit status; kExitSuccess once recording.
    int Start();

    // Records until `seconds` (0 for no limit), a stop request or a stall,
    // then stops.
    End Run(long seconds);

private:
    const Arg& output_;
    std::chrono::steady_clock::time_point begin_;
};

}  // namespace pendrax_host
