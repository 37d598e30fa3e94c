// The files a recording passes through: where OUT leads, a new file made
// beside it or among the temporary files, moved into place, cut back or
// removed at the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "Cli.h"

namespace pendrax_host {

// True when OUT takes a stream rather than a file: "-", or (POSIX) a name
// that exists and is not a regular file (a pipe, /dev/stdout on a pipe, a
// terminal, a device). Such an OUT cannot be rewound to finish a header.
bool TakesStream(const Arg& out);

// The file OUT leads to: symbolic links followed, even to a file (or a
// folder) that does not exist. OUT itself where links do not apply.
Arg FinalTarget(const Arg& out);

// Makes a new, empty file beside `target` (its folder, its name plus a
// suffix), with target's permissions when it exists. An existing target
// must be writable: it is replaced later. False with the reason otherwise.
bool CreateBeside(const Arg& target, Arg& created, std::string& reason);

// Makes a new, empty file among the temporary files.
bool CreateTemporary(Arg& created, std::string& reason);

// Renames `from` to `to`, replacing it.
bool MoveOnto(const Arg& from, const Arg& to, std::string& reason);

void RemoveFile(const Arg& path);

// Cuts the file to `length` bytes and writes `head` over its start.
bool Rewrite(const Arg& path, std::int64_t length, const unsigned char* head, std::size_t bytes,
             std::string& reason);

}  // namespace pendrax_host
