#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "System.h"

namespace pendrax_host {
namespace {

volatile sig_atomic_t stopRequested = 0;

extern "C" void RequestStop(int) { stopRequested = 1; }

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

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
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

}  // namespace

void PrepareProcess() {
    (void)::signal(SIGPIPE, SIG_IGN);
    (void)::signal(SIGXFSZ, SIG_IGN);
}

std::string LastError() { return ErrorText(errno); }

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

bool ReadStdinHead(unsigned char* bytes, std::size_t want, std::size_t& got, std::string& reason) {
    return ReadFrom(STDIN_FILENO, bytes, want, got, reason);
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
    struct stat info {};
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
    struct stat info {};
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
    struct stat a {};
    struct stat b {};
    return ::stat(first.text.c_str(), &a) == 0 && ::stat(second.text.c_str(), &b) == 0 &&
           a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

std::int64_t FileSize(const Arg& path) {
    struct stat info {};
    if (::stat(path.text.c_str(), &info) != 0) {
        return -1;
    }
    return static_cast<std::int64_t>(info.st_size);
}

std::string GrowthFailure(const Arg& path, std::int64_t bytes) {
    struct stat info {};
    if (::stat(path.text.c_str(), &info) != 0) {
        return LastError();
    }
    struct statvfs space {};
    if (::statvfs(FolderOf(path.text).c_str(), &space) == 0 &&
        static_cast<std::int64_t>(space.f_bavail) * static_cast<std::int64_t>(space.f_frsize) <
            bytes) {
        return ErrorText(ENOSPC);
    }
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        static_cast<std::int64_t>(info.st_size) + bytes >
            static_cast<std::int64_t>(limit.rlim_cur)) {
        return ErrorText(EFBIG);
    }
    return std::string();
}

bool SelectCaptureDevice(const std::string& name) {
    // Set before the recorder starts, while the host has one thread.
    // NOLINTNEXTLINE(concurrency-mt-unsafe)
    return ::setenv("PENDRAX_CAPTURE_DEVICE", name.c_str(), 1) == 0;
}

bool StderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

void SleepMilliseconds(int milliseconds) {
    const timespec pause{milliseconds / 1000, (milliseconds % 1000) * 1000L * 1000};
    ::nanosleep(&pause, nullptr);
}

void InstallStopHandlers() {
    struct sigaction action {};
    action.sa_handler = RequestStop;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no restart: the wait wakes at once
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool StopRequested() { return stopRequested != 0; }

void StopDone() {}

// The module reads a pipe whose far end a thread fills: first the bytes
// the check read, then the rest of standard input.
struct StdinFeed::State {
    int readEnd = -1;
    int writeEnd = -1;
    std::int64_t passed = 0;
    std::thread copier;
};

bool StdinFeed::Begin(const unsigned char* head, std::size_t count, Arg& path,
                      std::string& reason) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        reason = LastError();
        return false;
    }
    state_ = std::make_unique<State>();
    state_->readEnd = ends[0];
    state_->writeEnd = ends[1];
    const std::string head_bytes(reinterpret_cast<const char*>(head), count);
    State* state = state_.get();
    state_->copier = std::thread([state, head_bytes] {
        bool open =
            WriteAll(state->writeEnd, reinterpret_cast<const unsigned char*>(head_bytes.data()),
                     head_bytes.size());
        state->passed = open ? static_cast<std::int64_t>(head_bytes.size()) : 0;
        unsigned char buffer[65536];
        while (open) {
            const ssize_t read = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (read < 0 && errno == EINTR) {
                continue;
            }
            if (read <= 0) {
                break;
            }
            open = WriteAll(state->writeEnd, buffer, static_cast<std::size_t>(read));
            state->passed += open ? read : 0;
        }
        ::close(state->writeEnd);
    });
    path.text = "/dev/fd/" + std::to_string(state_->readEnd);
    path.valid = Utf8ToWide(path.text, path.wide);
    return true;
}

std::int64_t StdinFeed::Finish() {
    if (state_ == nullptr) {
        return 0;
    }
    // Once the module is done, a copier still writing gets EPIPE and stops.
    ::close(state_->readEnd);
    state_->readEnd = -1;
    state_->copier.join();
    return state_->passed;
}

StdinFeed::StdinFeed() = default;

StdinFeed::~StdinFeed() {
    if (state_ != nullptr && state_->copier.joinable()) {
        (void)Finish();
    }
}

// The module writes to a copy of the original standard output, while
// descriptor 1 points at standard error for its status line.
struct StdoutSink::State {
    int saved = -1;
};

bool StdoutSink::Begin(Arg& path, std::string& reason) {
    (void)std::fflush(stdout);
    const int saved = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (saved < 0 || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
        reason = LastError();
        if (saved >= 0) {
            ::close(saved);
        }
        return false;
    }
    state_ = std::make_unique<State>();
    state_->saved = saved;
    path.text = "/dev/fd/" + std::to_string(saved);
    path.valid = Utf8ToWide(path.text, path.wide);
    return true;
}

bool StdoutSink::Finish(std::string& reason) {
    if (state_ == nullptr || state_->saved < 0) {
        return true;
    }
    (void)std::fflush(stdout);
    const bool restored = ::dup2(state_->saved, STDOUT_FILENO) >= 0;
    if (!restored) {
        reason = LastError();
    }
    ::close(state_->saved);
    state_->saved = -1;
    return restored;
}

StdoutSink::StdoutSink() = default;

StdoutSink::~StdoutSink() {
    std::string ignored;
    (void)Finish(ignored);
}

}  // namespace pendrax_host
