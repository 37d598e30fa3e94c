// What the host needs from the system besides files: the process's set-up,
// the requests to stop that come from outside, and the capture device.
#pragma once

#include <string>

#include "Cli.h"

namespace pendrax_host {

// Things every command wants before it starts: SIGPIPE and SIGXFSZ ignored,
// so a closed pipe or a file-size limit fails a write instead of killing us;
// binary standard streams on Windows.
void PrepareProcess();

// Ctrl-C, SIGTERM, SIGHUP (Ctrl-Break and console close on Windows) set a
// flag instead of ending the process. A signal the host was started with
// ignored (nohup, a background job's SIGINT) stays ignored. StopDone tells
// a waiting console-close handler that the output is finished.
void InstallStopHandlers();
bool StopRequested();
// The status a shell reports for the signal that asked (129, 130, 143).
int StopStatus();
void StopDone();

// Selects the capture device for the recorder; false where the platform's
// recorder always uses the default input.
bool SelectCaptureDevice(const std::string& name);

void SleepMilliseconds(int milliseconds);

}  // namespace pendrax_host
