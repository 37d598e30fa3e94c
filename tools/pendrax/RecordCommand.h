// pendrax record [-q] [-D DEVICE] [--seconds N] OUT
#pragma once

#include "Cli.h"

namespace pendrax_host {

// Takes the arguments after "record"; returns the exit status.
int RunRecord(const Args& args);

}  // namespace pendrax_host
