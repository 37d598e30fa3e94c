// The help texts.
#pragma once

#include <cstdio>
#include <string>

namespace pendrax_host {

// Prints the help for a command ("" for the whole host); false when there
// is no such command.
bool PrintHelp(const std::string& command, std::FILE* stream);

}  // namespace pendrax_host
