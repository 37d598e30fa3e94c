// The byte streams the core reads and writes. The core never opens a file by
// name on its own: the caller hands it a Source and a Sink, backed by a file,
// a descriptor or handle it opened (pipes and the standard streams
// included), or an object of its own. Every result says how many bytes were
// moved and, when fewer than asked, the system's reason.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pendrax::io {

// The system's error number: errno on POSIX, GetLastError() on Windows.
// 0 means no error.
using OsError = std::uint32_t;

// A write that moved fewer bytes than asked while the system named no
// error: a number no system uses, told by its own text.
constexpr OsError kShortWrite = 0xFFFFFFFFU;
constexpr const char* kShortWriteText = "fewer bytes were written than asked, with no error given";

// What one transfer did: `bytes` moved, and when that is short of what was
// asked, `error` says why (0 with a short read: the input ended).
struct Transfer {
    std::size_t bytes = 0;
    OsError error = 0;
};

// Where bytes come from.
class Source {
public:
    virtual ~Source() = default;
    // Reads up to `size` bytes, gathering short reads (a pipe) until `size`
    // bytes, the end of the input or an error. Retries EINTR.
    virtual Transfer Read(void* data, std::size_t size) = 0;
};

// Where bytes go.
class Sink {
public:
    virtual ~Sink() = default;
    // Appends all `size` bytes at the current end, retrying short writes;
    // fewer only with `error` set.
    virtual Transfer Write(const void* data, std::size_t size) = 0;
    // Whether WriteAt and Truncate work: a regular file, not a pipe, a
    // terminal or a device.
    virtual bool Seekable() const = 0;
    // Overwrites `size` bytes at `offset` (a header), counted from the
    // sink's first byte, leaving the end where it is. Only where Seekable().
    virtual OsError WriteAt(std::uint64_t offset, const void* data, std::size_t size) = 0;
    // Cuts the stream to `size` bytes; later writes append there. Only where
    // Seekable().
    virtual OsError Truncate(std::uint64_t size) = 0;
};

}  // namespace pendrax::io
