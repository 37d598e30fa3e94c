// The host's subcommands. Each takes the arguments after its name and
// returns the process's exit status.
#pragma once

#include "Cli.h"

namespace pendrax_host {

int RunFlange(const Args& args);
int RunRecord(const Args& args);

}  // namespace pendrax_host
