#include <windows.h>

#include "os/Signals.h"

namespace pendrax_host {
namespace {

volatile LONG stopRequested = 0;
HANDLE stopDone = nullptr;

// Ctrl-C, Ctrl-Break and console close all end the recording. On close the
// system ends the process once this returns, so it waits for the file.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    InterlockedExchange(&stopRequested, 1);
    if (event == CTRL_CLOSE_EVENT && stopDone != nullptr) {
        WaitForSingleObject(stopDone, 4000);
    }
    return TRUE;
}

}  // namespace

void InstallStopHandlers() {
    stopDone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

bool StopRequested() { return InterlockedCompareExchange(&stopRequested, 0, 0) != 0; }

void StopDone() {
    if (stopDone != nullptr) {
        SetEvent(stopDone);
    }
}

}  // namespace pendrax_host
