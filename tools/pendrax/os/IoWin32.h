// Win32 helpers shared by the OS layer's files.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "Cli.h"

namespace pendrax_host {

// The system's text for an error code, without its closing full stop.
std::string ErrorText(DWORD code);

// Opens the file by its 16-bit path, shared for reading and writing.
HANDLE Open(const Arg& path, DWORD access, DWORD disposition);

// Copies `from` to its end into `to`, adding to *copied when given; false
// with the error when a read or write fails. A closed pipe is the end.
bool CopyAll(HANDLE from, HANDLE to, std::int64_t* copied, DWORD& error);

// Writes every byte at the handle's position; false when a write fails.
bool WriteAllTo(HANDLE file, const unsigned char* bytes, std::size_t count);

}  // namespace pendrax_host
