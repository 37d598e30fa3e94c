// File names for the exports: the only place that knows how the OS names
// files (Streams.h opens them). A wide path is null-terminated UTF-16.
#pragma once

#include <string>

#include "PendraxWAVFlanger.h"

namespace pendrax::platform {

// The name the system opens a file by: the wide path itself on Windows,
// whose file API takes UTF-16, so every name works; UTF-8 on POSIX.
#if defined(_WIN32)
using FileName = std::wstring;
#else
using FileName = std::string;
#endif

// A wide path's FileName. A null path, or (on POSIX) one with no exact
// UTF-8 form (an unpaired surrogate), gives the empty name, which fails to
// open, so a lossy name never opens some other file.
FileName NativeName(const PendraxWideChar* path);

#if !defined(_WIN32)
// A wide path as UTF-8; empty for a null path or an unpaired surrogate.
std::string WidePathToNarrow(const PendraxWideChar* path);
#endif

}  // namespace pendrax::platform
