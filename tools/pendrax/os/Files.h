// The files a recording passes through: where OUT leads, a new file made
// beside it or among the temporary files, moved into place or removed at
// the end, read while the module writes it, and the stream a copy goes to.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "cli/Args.h"

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

// A file read while another handle (the module's) writes it.
class GrowingFile {
public:
    GrowingFile() = default;
    GrowingFile(const GrowingFile&) = delete;
    GrowingFile& operator=(const GrowingFile&) = delete;
    ~GrowingFile() { Close(); }

    bool Open(const Arg& path);
    std::int64_t Size() const;  // -1 when unknown
    bool ReadAt(std::int64_t offset, unsigned char* bytes, std::size_t count) const;
    void Close();

private:
    std::intptr_t handle_ = -1;
};

// Where a stream goes: standard output for "-", otherwise OUT opened for
// writing as it is (nothing is created).
class StreamSink {
public:
    StreamSink() = default;
    StreamSink(const StreamSink&) = delete;
    StreamSink& operator=(const StreamSink&) = delete;
    ~StreamSink();

    bool Open(const Arg& out, std::string& reason);
    bool Write(const unsigned char* bytes, std::size_t count, std::string& reason);
    // Writes `head` over the start when the stream is a regular file that
    // can be rewound (standard output redirected to a file); else nothing.
    void RewriteHead(const unsigned char* head, std::size_t bytes);

private:
    std::intptr_t handle_ = -1;
    bool owned_ = false;
};

}  // namespace pendrax_host
