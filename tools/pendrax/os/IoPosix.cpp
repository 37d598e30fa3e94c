#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "os/Io.h"
#include "os/IoPosix.h"

namespace pendrax_host {

// Called from the host's main thread only.
// NOLINTNEXTLINE(concurrency-mt-unsafe)
std::string ErrorText(int code) { return std::strerror(code); }

bool WriteAll(int fd, const unsigned char* bytes, std::size_t count) {
    while (count > 0) {
        const ssize_t put = ::write(fd, bytes, count);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return false;
        }
        bytes += put;
        count -= static_cast<std::size_t>(put);
    }
    return true;
}

bool ReadFrom(int fd, unsigned char* bytes, std::size_t want, std::size_t& got,
              std::string& reason) {
    got = 0;
    while (got < want) {
        const ssize_t read = ::read(fd, bytes + got, want - got);
        if (read < 0 && errno == EINTR) {
            continue;
        }
        if (read < 0) {
            reason = LastError();
            return false;
        }
        if (read == 0) {
            break;
        }
        got += static_cast<std::size_t>(read);
    }
    return true;
}

std::string LastError() { return ErrorText(errno); }

bool WriteAtStart(int fd, const unsigned char* bytes, std::size_t count) {
    off_t at = 0;
    while (count > 0) {
        const ssize_t put = ::pwrite(fd, bytes, count, at);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return false;
        }
        bytes += put;
        at += put;
        count -= static_cast<std::size_t>(put);
    }
    return true;
}

}  // namespace pendrax_host
