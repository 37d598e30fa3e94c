// pendrax flange [-q] [--force] IN OUT
#pragma once

#include "Cli.h"

namespace pendrax_host {

// Takes the arguments after "flange"; returns the exit status.
int RunFlange(const Args& args);

}  // namespace pendrax_host
