// A flange's interrupt.
#pragma once

#include "Cli.h"

namespace pendrax_host {

// A flange's interrupt: Ctrl-C, SIGTERM or SIGHUP (on Windows Ctrl-C,
// Ctrl-Break and closing the console) remove `output` once the module has
// written to it (a file that was there is left if it is still as it was),
// say so, and end the process with 130, 143 or 129. `removable` is false
// for standard output and devices, which are left as they are.
void InstallFlangeInterrupt(const Arg& output, bool removable);
// The default handling again. Returns the exit status of an interrupt that
// came while the module ran and has been dealt with here (Windows, where
// the module is let finish), else 0.
int EndFlangeInterrupt();

}  // namespace pendrax_host
