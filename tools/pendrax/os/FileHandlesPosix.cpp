#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "os/FileHandles.h"
#include "os/Io.h"
#include "os/IoPosix.h"

namespace pendrax_host {

bool GrowingFile::Open(const Arg& path) {
    Close();
    handle_ = ::open(path.text.c_str(), O_RDONLY | O_CLOEXEC);
    return handle_ >= 0;
}

std::int64_t GrowingFile::Size() const {
    struct stat info = {};
    return handle_ >= 0 && ::fstat(static_cast<int>(handle_), &info) == 0
               ? static_cast<std::int64_t>(info.st_size)
               : -1;
}

bool GrowingFile::ReadAt(std::int64_t offset, unsigned char* bytes, std::size_t count) const {
    while (count > 0) {
        const ssize_t got = ::pread(static_cast<int>(handle_), bytes, count, offset);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        bytes += got;
        offset += got;
        count -= static_cast<std::size_t>(got);
    }
    return true;
}

void GrowingFile::Close() {
    if (handle_ >= 0) {
        ::close(static_cast<int>(handle_));
        handle_ = -1;
    }
}

StreamSink::~StreamSink() {
    if (owned_) {
        ::close(static_cast<int>(handle_));
    }
}

bool StreamSink::Open(const Arg& out, std::string& reason) {
    if (IsStream(out)) {
        handle_ = STDOUT_FILENO;
        return true;
    }
    const int fd = ::open(out.text.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        reason = LastError();
        return false;
    }
    handle_ = fd;
    owned_ = true;
    return true;
}

bool StreamSink::Write(const unsigned char* bytes, std::size_t count, std::string& reason) {
    if (!WriteAll(static_cast<int>(handle_), bytes, count)) {
        reason = LastError();
        return false;
    }
    return true;
}

void StreamSink::RewriteHead(const unsigned char* head, std::size_t bytes) {
    const int fd = static_cast<int>(handle_);
    struct stat info = {};
    const int flags = ::fcntl(fd, F_GETFL);
    // With O_APPEND the bytes would land at the end, not over the header.
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && flags >= 0 && (flags & O_APPEND) == 0) {
        (void)WriteAtStart(fd, head, bytes);
    }
}

}  // namespace pendrax_host
