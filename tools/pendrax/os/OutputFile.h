// Changes the host makes to a flange's output after the module wrote it.
#pragma once

#include <cstddef>
#include <string>

#include "Cli.h"

namespace pendrax_host {

// Overwrites the file's first `count` bytes; false with the reason.
bool WriteAtStart(const Arg& path, const unsigned char* bytes, std::size_t count,
                  std::string& reason);

}  // namespace pendrax_host
