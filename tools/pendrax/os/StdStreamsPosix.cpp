#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <thread>

#include "os/Io.h"
#include "os/IoPosix.h"
#include "os/StdStreams.h"

namespace pendrax_host {

bool ReadStdinHead(unsigned char* bytes, std::size_t want, std::size_t& got, std::string& reason) {
    return ReadFrom(STDIN_FILENO, bytes, want, got, reason);
}

bool StderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

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
