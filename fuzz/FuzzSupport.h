// Helpers shared by the fuzz targets: a scratch directory, the module's
// messages captured per call, and the expected output of the file flanger.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "PendraxWAVFlanger.h"

namespace pendrax_fuzz {

using Bytes = std::vector<unsigned char>;
using WideString = std::basic_string<PendraxWideChar>;

// Stops the fuzzer with a finding: libFuzzer saves the input that did it.
[[noreturn]] void Fail(const char* what);

// A directory of the process's own under TMPDIR, removed at exit with what
// the targets leave in it. Its path is plain ASCII.
const std::string& ScratchDirectory();

// UTF-8 to the module's wide form.
WideString Widen(const std::string& utf8);

Bytes ReadFile(const std::string& path);
void WriteFile(const std::string& path, const unsigned char* data, std::size_t size);

// Sends standard output to a file from now on, so the module's message can
// be read back call by call instead of flooding the fuzzer's console.
void CaptureStdout();
// Empties the captured output before a call.
void ClearStdout();
// What the module printed since the last ClearStdout.
std::string CapturedStdout();

// What WAVFlanger must write for an input of these bytes: the first 44 bytes
// (zero-padded), then the whole little-endian samples after them through the
// reference kernel, 1024 per block with the block's start as the offset.
Bytes ExpectedFlangerOutput(const unsigned char* data, std::size_t size);

}  // namespace pendrax_fuzz
