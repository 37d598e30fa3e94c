#include <signal.h>

#include "os/Signals.h"

namespace pendrax_host {
namespace {

volatile sig_atomic_t stopRequested = 0;

extern "C" void RequestStop(int) { stopRequested = 1; }

}  // namespace

void InstallStopHandlers() {
    struct sigaction action {};
    action.sa_handler = RequestStop;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no restart: the wait wakes at once
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);  // the terminal closed: keep what was recorded
}

bool StopRequested() { return stopRequested != 0; }

void StopDone() {}

}  // namespace pendrax_host
