#include <signal.h>
#include <time.h>

#include <cstdlib>

#include "os/Process.h"

namespace pendrax_host {

void PrepareProcess() {
    (void)::signal(SIGPIPE, SIG_IGN);
    (void)::signal(SIGXFSZ, SIG_IGN);
}

bool SelectCaptureDevice(const std::string& name) {
    // Set before the recorder starts, while the host has one thread.
    // NOLINTNEXTLINE(concurrency-mt-unsafe)
    return ::setenv("PENDRAX_CAPTURE_DEVICE", name.c_str(), 1) == 0;
}

void SleepMilliseconds(int milliseconds) {
    const timespec pause{milliseconds / 1000, (milliseconds % 1000) * 1000L * 1000};
    ::nanosleep(&pause, nullptr);
}

}  // namespace pendrax_host
