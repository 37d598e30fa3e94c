// The process's set-up and the little it needs from the system besides files.
#pragma once

#include <string>

namespace pendrax_host {

// Things every command wants before it starts: SIGPIPE and SIGXFSZ ignored,
// so a closed pipe or a file-size limit fails a write instead of killing us;
// binary standard streams on Windows.
void PrepareProcess();

// Selects the capture device for the module; false where the platform's
// recorder always uses the default input.
bool SelectCaptureDevice(const std::string& name);

void SleepMilliseconds(int milliseconds);

}  // namespace pendrax_host
