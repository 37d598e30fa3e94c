#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>

#include "os/Io.h"
#include "os/IoPosix.h"
#include "os/Probes.h"

namespace pendrax_host {
namespace {

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

bool ReadHead(const Arg& path, unsigned char* bytes, std::size_t want, std::size_t& got,
              bool& opened, std::string& reason) {
    got = 0;
    const int fd = ::open(path.text.c_str(), O_RDONLY | O_CLOEXEC);
    opened = fd >= 0;
    if (fd < 0) {
        reason = LastError();
        return false;
    }
    const bool read = ReadFrom(fd, bytes, want, got, reason);
    ::close(fd);
    return read;
}

bool ReadsToEnd(const Arg& path, std::string& reason) {
    const int fd = ::open(path.text.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        reason = LastError();
        return false;
    }
    unsigned char buffer[65536];
    for (;;) {
        const ssize_t read = ::read(fd, buffer, sizeof buffer);
        if (read < 0 && errno == EINTR) {
            continue;
        }
        if (read < 0) {
            reason = LastError();
            ::close(fd);
            return false;
        }
        if (read == 0) {
            break;
        }
    }
    ::close(fd);
    return true;
}

std::string WriteOpenFailure(const Arg& path) {
    struct stat info = {};
    if (::stat(path.text.c_str(), &info) == 0) {
        const int fd = ::open(path.text.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd < 0) {
            return LastError();
        }
        ::close(fd);
        return std::string();
    }
    if (errno != ENOENT) {
        return LastError();
    }
    // Nothing by that name: creating it shows why the module could not, and
    // the file made here is ours alone to remove.
    const int fd = ::open(path.text.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        return LastError();
    }
    ::close(fd);
    (void)::unlink(path.text.c_str());
    return std::string();
}

std::string AppendFailure(const Arg& path) {
    const int fd = ::open(path.text.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0) {
        return LastError();
    }
    struct stat info = {};
    const bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    const unsigned char zero = 0;
    std::string reason;
    if (!WriteAll(fd, &zero, 1) || ::fsync(fd) != 0) {
        reason = LastError();
    }
    if (regular) {
        if (::ftruncate(fd, info.st_size) != 0) {
            reason = LastError();  // the byte stays: say so rather than hide it
        }
    }
    ::close(fd);
    return reason;
}

bool SameFile(const Arg& first, const Arg& second) {
    struct stat a = {};
    struct stat b = {};
    return ::stat(first.text.c_str(), &a) == 0 && ::stat(second.text.c_str(), &b) == 0 &&
           a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

std::int64_t FileSize(const Arg& path) {
    struct stat info = {};
    if (::stat(path.text.c_str(), &info) != 0) {
        return -1;
    }
    return static_cast<std::int64_t>(info.st_size);
}

std::string GrowthFailure(const Arg& path, std::int64_t bytes) {
    struct stat info = {};
    if (::stat(path.text.c_str(), &info) != 0) {
        return LastError();
    }
    struct statvfs space = {};
    if (::statvfs(FolderOf(path.text).c_str(), &space) == 0 &&
        static_cast<std::int64_t>(space.f_bavail) * static_cast<std::int64_t>(space.f_frsize) <
            bytes) {
        return ErrorText(ENOSPC);
    }
    struct rlimit limit = {};
    if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        static_cast<std::int64_t>(info.st_size) + bytes >
            static_cast<std::int64_t>(limit.rlim_cur)) {
        return ErrorText(EFBIG);
    }
    return std::string();
}

bool IsRegularFile(const Arg& path) {
    struct stat info = {};
    return ::stat(path.text.c_str(), &info) != 0 || S_ISREG(info.st_mode) || S_ISDIR(info.st_mode);
}

bool IsOtherThanFile(const Arg& path) {
    struct stat info = {};
    return ::stat(path.text.c_str(), &info) == 0 && !S_ISREG(info.st_mode);
}

bool ReadAt(const Arg& path, std::int64_t offset, unsigned char* bytes, std::size_t want,
            std::size_t& got) {
    got = 0;
    const int fd = ::open(path.text.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    std::string reason;
    const bool read = ::lseek(fd, static_cast<off_t>(offset), SEEK_SET) >= 0 &&
                      ReadFrom(fd, bytes, want, got, reason);
    ::close(fd);
    return read;
}

}  // namespace pendrax_host
