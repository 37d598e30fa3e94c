// File access for the exports: the only place that knows how the OS names
// and opens files. A wide path is null-terminated UTF-16.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "PendraxWAVFlanger.h"

namespace pendrax::platform {

// Converts a wide path to the narrow name the C runtime opens: UTF-8 on
// POSIX, the ANSI code page on Windows. A path that has no exact narrow form
// (an unpaired surrogate, a character the code page lacks) gives the empty
// name, which fails to open, so a lossy name never opens some other file.
// A null path gives the empty name as well.
std::string WidePathToNarrow(const PendraxWideChar* path);

// Opens a narrow name for binary reading; null on failure or an empty name.
std::FILE* OpenForReading(const std::string& name);

// Opens a narrow name for binary writing, creating or truncating it, unless
// it names the same file as `input` (however spelled: links, other paths).
// A refusal or failure returns null and truncates nothing.
std::FILE* OpenForWritingUnlessSame(const std::string& name, std::FILE* input);

// Opens a wide path for binary writing, creating or truncating it; null on
// failure, for a null path, or for a path with no exact narrow form.
std::FILE* OpenWideForWriting(const PendraxWideChar* path);

// Cuts an open file (flushed first) to `size` bytes; false on failure.
bool TruncateFile(std::FILE* file, std::uint64_t size);

}  // namespace pendrax::platform
