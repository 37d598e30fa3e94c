// POSIX helpers shared by the OS layer's files.
#pragma once

#include <cstddef>
#include <string>

namespace pendrax_host {

// The system's text for an errno value.
std::string ErrorText(int code);

// Writes every byte, retrying after a signal; false when the write fails.
bool WriteAll(int fd, const unsigned char* bytes, std::size_t count);

// Reads until `want` bytes or the end; false with the reason on an error.
bool ReadFrom(int fd, unsigned char* bytes, std::size_t want, std::size_t& got,
              std::string& reason);

// Writes every byte at the start of the file, whatever its offset;
// false when the write fails.
bool WriteAtStart(int fd, const unsigned char* bytes, std::size_t count);

}  // namespace pendrax_host
