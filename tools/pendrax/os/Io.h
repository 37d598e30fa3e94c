// The operating system's errors, as the host reports them. Each concern of
// the OS layer has a header here and one implementation per platform
// (*Posix.cpp, *Win32.cpp).
#pragma once

#include <string>

namespace pendrax_host {

// The system's text for the last failed call (errno; GetLastError on Windows).
std::string LastError();

}  // namespace pendrax_host
