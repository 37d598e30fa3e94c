// The requests to stop a recording that come from outside.
#pragma once

namespace pendrax_host {

// Ctrl-C, SIGTERM, SIGHUP (Ctrl-Break and console close on Windows) set a flag
// instead of ending the process; StopDone tells a waiting console-close
// handler that the file is finished.
void InstallStopHandlers();
bool StopRequested();
void StopDone();

}  // namespace pendrax_host
