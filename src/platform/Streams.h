// The io streams over the system's own files: a descriptor on POSIX, a
// HANDLE on Windows. The caller opens them by name here, or hands in one it
// already holds (a pipe, a standard stream) to borrow.
#pragma once

#include <cstdint>

#include "Files.h"
#include "Io.h"

namespace pendrax::platform {

#if defined(_WIN32)
using NativeFile = void*;  // HANDLE
#else
using NativeFile = int;
#endif

// No file: what a closed or moved-from stream holds.
extern const NativeFile kNoFile;

// Whether a stream closes its file when it goes.
enum class Ownership { kOwned, kBorrowed };

// Owns or borrows one open file; movable, not copyable.
class FileStream {
public:
    FileStream() = default;
    FileStream(NativeFile file, Ownership ownership);
    FileStream(FileStream&& other) noexcept;
    FileStream& operator=(FileStream&& other) noexcept;
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;
    ~FileStream();

    NativeFile File() const { return file_; }
    bool IsOpen() const { return file_ != kNoFile; }
    // Closes an owned file, reporting the system's last word on it (a
    // delayed write error); a borrowed one is only let go. 0 when fine.
    io::OsError Close();
    // The length of a regular (disk) file; false for a pipe, a device, a
    // terminal or a closed stream.
    bool Length(std::uint64_t& length) const;

private:
    NativeFile file_ = kNoFile;
    Ownership ownership_ = Ownership::kBorrowed;
};

// Reads from a file, unbuffered: each Read is system calls straight into
// the caller's memory. A pipe's closed write end is the input's end.
// Offsets and the length count from where the file stood when the source
// took it over, so a standard input already read from is taken from there.
class FileSource final : public io::Source {
public:
    FileSource() = default;
    FileSource(NativeFile file, Ownership ownership);
    io::Transfer Read(void* data, std::size_t size) override;
    // Reads from `offset` of a regular file without moving where Read goes
    // on: a look at what follows the data.
    io::Transfer ReadAt(std::uint64_t offset, void* data, std::size_t size);
    // What a regular file holds from the start; false as FileStream::Length.
    bool Length(std::uint64_t& length) const;
    FileStream& Stream() { return stream_; }
    const FileStream& Stream() const { return stream_; }

private:
    FileStream stream_;
    std::uint64_t start_ = 0;
};

// Writes to a file, unbuffered. Offsets count from where the file stood
// when the sink took it over, so a standard output already written to keeps
// what came before. A file in append mode (`>>`) is not Seekable.
class FileSink final : public io::Sink {
public:
    FileSink() = default;
    FileSink(NativeFile file, Ownership ownership);
    io::Transfer Write(const void* data, std::size_t size) override;
    bool Seekable() const override { return seekable_; }
    io::OsError WriteAt(std::uint64_t offset, const void* data, std::size_t size) override;
    io::OsError Truncate(std::uint64_t size) override;
    FileStream& Stream() { return stream_; }
    const FileStream& Stream() const { return stream_; }

private:
    FileStream stream_;
    bool seekable_ = false;
    std::uint64_t start_ = 0;
};

// The standard streams, borrowed.
FileSource StandardInput();
FileSink StandardOutput();

// Opens a name for reading. An empty name fails with ENOENT
// (ERROR_FILE_NOT_FOUND).
io::OsError OpenSource(const FileName& name, FileSource& source);

// What opening a name for writing does to a file already there.
enum class Existing { kTruncate, kKeep };

// Opens a name for writing, creating it when missing (on POSIX
// close-on-exec, so a program started meanwhile does not hold it open).
io::OsError OpenSink(const FileName& name, Existing existing, FileSink& sink);

// Whether two open files are one file, however reached (links, other
// names, a standard stream): by device and inode, or on Windows by volume
// serial and file index. False when either identity cannot be known (a
// console, a closed stream), and for a character device, which a write
// cannot cut short.
bool SameFile(NativeFile first, NativeFile second);

// How many names (hard links) an open file has; 1 when the system cannot say.
std::uint32_t LinkCount(NativeFile file);

// Takes, without waiting, the lock every writer here takes on a file before
// changing it (the host's replacements, its recordings, the exports): 0, or
// the system's error (EWOULDBLOCK while another holds it). On Windows the
// files' sharing modes keep writers apart instead, so 0.
io::OsError LockForWriting(NativeFile file);

}  // namespace pendrax::platform
