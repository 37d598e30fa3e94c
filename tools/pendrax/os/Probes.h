// Checks on files, made by the host to explain what the module met: each
// finds the system's reason without changing what exists.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "Cli.h"

namespace pendrax_host {

// Reads up to `want` bytes from the start of the file. Returns false with
// the reason when it cannot be opened (opened false) or read.
bool ReadHead(const Arg& path, unsigned char* bytes, std::size_t want, std::size_t& got,
              bool& opened, std::string& reason);

// Reads the file to its end; false with the reason when that fails.
bool ReadsToEnd(const Arg& path, std::string& reason);

// Why the file cannot be opened for writing, found without creating or
// truncating anything that exists; empty when it can be.
std::string WriteOpenFailure(const Arg& path);

// Why writing to the end of the file fails, by trying one byte that is then
// taken back; empty when the write succeeds.
std::string AppendFailure(const Arg& path);

// True when both paths name one existing file.
bool SameFile(const Arg& first, const Arg& second);

// The file's size in bytes, or -1.
std::int64_t FileSize(const Arg& path);

// Why a file that stopped growing could not grow by `bytes` more: no room
// on its file system or a file-size limit; empty when neither holds.
std::string GrowthFailure(const Arg& path, std::int64_t bytes);

// True for a regular file, and for a path that cannot be looked at (its
// open then says why); false for a pipe, FIFO, device or directory... that
// can only be read once.
bool IsRegularFile(const Arg& path);

// True when the path names something that is not a regular file: a device,
// a pipe, a FIFO (removing it would be wrong).
bool IsOtherThanFile(const Arg& path);

// Reads up to `want` bytes from `offset` on; false when that fails.
bool ReadAt(const Arg& path, std::int64_t offset, unsigned char* bytes, std::size_t want,
            std::size_t& got);

}  // namespace pendrax_host
