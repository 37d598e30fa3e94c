// Text for people on the standard streams, in UTF-8 inside the host. A
// Windows console shows it only when written as UTF-16 (WriteConsoleW);
// anything else (a file, a pipe, every POSIX stream) gets the UTF-8 bytes.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace pendrax_host {

// Writes `text` to `stream` (stdout or stderr) as its kind of stream wants it.
void WriteText(std::FILE* stream, const std::string& text);

// printf to standard error through WriteText.
#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
// NOLINTNEXTLINE(cert-dcl50-cpp)
void Say(const char* format, ...);

// Whether standard error is a terminal, and its width in columns (0 when
// it is not one or does not say).
bool StderrIsTerminal();
std::size_t StderrColumns();

}  // namespace pendrax_host
