// What a Replacement asks of the system, one implementation per platform
// (posix/Replace.cpp, win32/Replace.cpp, beside each one's Begin).
#pragma once

#include "Files.h"
#include "Io.h"
#include "Streams.h"

namespace pendrax::platform::replace_system {

// Gives the new file a name beside `target` when it has none yet (it was
// made unnamed): 0, or the system's error.
io::OsError NameTemporary(NativeFile file, const FileName& target, FileName& name);

// Renames `from` over `to`: 0, or the system's error.
io::OsError RenameOver(const FileName& from, const FileName& to);

void Remove(const FileName& name);

// Whether `file` is still the empty file `name` names: a target made only
// to be locked, which nothing has written to or replaced since.
bool StillEmptyAt(NativeFile file, const FileName& name);

}  // namespace pendrax::platform::replace_system
