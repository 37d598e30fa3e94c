#include "Streams.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>

#include "CallLimits.h"

namespace pendrax::platform {
namespace {

io::OsError LastError() { return static_cast<io::OsError>(errno); }

}  // namespace

const NativeFile kNoFile = -1;

io::OsError FileStream::Close() {
    const NativeFile file = file_;
    file_ = kNoFile;
    if (file == kNoFile || ownership_ == Ownership::kBorrowed) {
        return 0;
    }
    // The descriptor is gone whatever close says, EINTR included: no retry.
    return ::close(file) == 0 || errno == EINTR ? 0 : LastError();
}

// Calls `move` (read or pread at an offset from the start) until `size`
// bytes, the end or an error, retrying EINTR.
template <typename Move>
io::Transfer Gather(void* data, std::size_t size, Move move) {
    io::Transfer done;
    auto* bytes = static_cast<unsigned char*>(data);
    while (done.bytes < size) {
        const ssize_t got = move(bytes + done.bytes, PerCall(size - done.bytes), done.bytes);
        if (got > 0) {
            done.bytes += static_cast<std::size_t>(got);
        } else if (got == 0) {
            break;
        } else if (errno != EINTR) {
            done.error = LastError();
            break;
        }
    }
    return done;
}

io::Transfer FileSource::Read(void* data, std::size_t size) {
    const NativeFile file = stream_.File();
    return Gather(data, size, [file](unsigned char* at, std::size_t count, std::size_t) {
        return ::read(file, at, count);
    });
}

FileSource::FileSource(NativeFile file, Ownership ownership) : stream_(file, ownership) {
    const off_t at = file != kNoFile ? ::lseek(file, 0, SEEK_CUR) : -1;
    start_ = at > 0 ? static_cast<std::uint64_t>(at) : 0;
}

io::Transfer FileSource::ReadAt(std::uint64_t offset, void* data, std::size_t size) {
    if (offset > UINT64_MAX - start_) {
        return io::Transfer{0, EINVAL};
    }
    offset += start_;
    if (!OffsetFits(offset, size)) {
        return io::Transfer{0, EINVAL};
    }
    const NativeFile file = stream_.File();
    return Gather(data, size,
                  [file, offset](unsigned char* at, std::size_t count, std::size_t done) {
                      return ::pread(file, at, count, static_cast<off_t>(offset + done));
                  });
}

bool FileStream::Length(std::uint64_t& length) const {
    struct stat info = {};
    if (file_ == kNoFile || ::fstat(file_, &info) != 0 || !S_ISREG(info.st_mode)) {
        return false;
    }
    length = static_cast<std::uint64_t>(info.st_size);
    return true;
}

FileSink::FileSink(NativeFile file, Ownership ownership) : stream_(file, ownership) {
    std::uint64_t length = 0;
    const int flags = file != kNoFile ? ::fcntl(file, F_GETFL) : -1;
    const off_t start = flags >= 0 ? ::lseek(file, 0, SEEK_CUR) : -1;
    seekable_ = stream_.Length(length) && (flags & O_APPEND) == 0 && start >= 0;
    start_ = seekable_ ? static_cast<std::uint64_t>(start) : 0;
}

io::Transfer FileSink::Write(const void* data, std::size_t size) {
    io::Transfer done;
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (done.bytes < size) {
        const ssize_t put = ::write(stream_.File(), bytes + done.bytes, PerCall(size - done.bytes));
        if (put > 0) {
            done.bytes += static_cast<std::size_t>(put);
        } else if (put == 0) {
            done.error = EIO;  // no progress and no reason: never spin
            break;
        } else if (errno != EINTR) {
            done.error = LastError();
            break;
        }
    }
    return done;
}

io::OsError FileSink::WriteAt(std::uint64_t offset, const void* data, std::size_t size) {
    if (!seekable_) {
        return ESPIPE;
    }
    if (offset > UINT64_MAX - start_ || !OffsetFits(start_ + offset, size)) {
        return EFBIG;
    }
    const std::uint64_t at = start_ + offset;
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t put = ::pwrite(stream_.File(), bytes + done, PerCall(size - done),
                                     static_cast<off_t>(at + done));
        if (put > 0) {
            done += static_cast<std::size_t>(put);
        } else if (put == 0) {
            return EIO;
        } else if (errno != EINTR) {
            return LastError();
        }
    }
    return 0;
}

io::OsError FileSink::Truncate(std::uint64_t size) {
    if (!seekable_) {
        return ESPIPE;
    }
    if (size > UINT64_MAX - start_ || !OffsetFits(start_ + size, 0)) {
        return EFBIG;
    }
    const auto length = static_cast<off_t>(start_ + size);
    if (::ftruncate(stream_.File(), length) != 0 || ::lseek(stream_.File(), length, SEEK_SET) < 0) {
        return LastError();
    }
    return 0;
}

FileSource StandardInput() { return FileSource(STDIN_FILENO, Ownership::kBorrowed); }

FileSink StandardOutput() { return FileSink(STDOUT_FILENO, Ownership::kBorrowed); }

io::OsError OpenSource(const FileName& name, FileSource& source) {
    if (name.empty()) {
        return ENOENT;
    }
    int file = -1;
    do {
        file = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    } while (file < 0 && errno == EINTR);  // a FIFO's open waits for a writer
    if (file < 0) {
        return LastError();
    }
    source = FileSource(file, Ownership::kOwned);
    return 0;
}

io::OsError OpenSink(const FileName& name, Existing existing, FileSink& sink) {
    if (name.empty()) {
        return ENOENT;
    }
    const int truncate = existing == Existing::kTruncate ? O_TRUNC : 0;
    int file = -1;
    do {
        file = ::open(name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | truncate, 0666);
    } while (file < 0 && errno == EINTR);
    if (file < 0) {
        return LastError();
    }
    sink = FileSink(file, Ownership::kOwned);
    return 0;
}

std::uint32_t LinkCount(NativeFile file) {
    struct stat info = {};
    return ::fstat(file, &info) == 0 && info.st_nlink > 1
               ? static_cast<std::uint32_t>(info.st_nlink)
               : 1;
}

io::OsError LockForWriting(NativeFile file) {
    return ::flock(file, LOCK_EX | LOCK_NB) == 0 ? 0 : static_cast<io::OsError>(errno);
}

bool SameFile(NativeFile first, NativeFile second) {
    struct stat firstInfo = {};
    struct stat secondInfo = {};
    // A character device (/dev/null, a terminal) holds nothing a write
    // could cut short: reading and writing it at once is no conflict.
    return first != kNoFile && second != kNoFile && ::fstat(first, &firstInfo) == 0 &&
           ::fstat(second, &secondInfo) == 0 && firstInfo.st_dev == secondInfo.st_dev &&
           firstInfo.st_ino == secondInfo.st_ino && !S_ISCHR(firstInfo.st_mode);
}

}  // namespace pendrax::platform
