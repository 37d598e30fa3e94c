#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <thread>

#include "os/Io.h"
#include "os/IoPosix.h"
#include "os/StdStreams.h"

namespace pendrax_host {


struct StreamSource::State {
    int fd = -1;
    bool owned = false;
};

bool StreamSource::Open(const Arg& input, std::string& reason) {
    state_ = std::make_unique<State>();
    if (IsStream(input)) {
        state_->fd = STDIN_FILENO;
        return true;
    }
    state_->fd = ::open(input.text.c_str(), O_RDONLY | O_CLOEXEC);
    state_->owned = state_->fd >= 0;
    if (state_->fd < 0) {
        reason = LastError();
        return false;
    }
    return true;
}

bool StreamSource::Read(unsigned char* bytes, std::size_t want, std::size_t& got,
                        std::string& reason) {
    return ReadFrom(state_->fd, bytes, want, got, reason);
}

StreamSource::StreamSource() = default;

StreamSource::~StreamSource() {
    if (state_ != nullptr && state_->owned) {
        ::close(state_->fd);
    }
}

// The module reads a pipe whose far end a thread fills.
struct StreamFeed::State {
    int readEnd = -1;
    int writeEnd = -1;
    Result result;
    std::thread copier;
};

bool StreamFeed::Begin(StreamSource& source, const unsigned char* head, std::size_t count,
                       std::int64_t limit, Arg& path, std::string& reason) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        reason = LastError();
        return false;
    }
    state_ = std::make_unique<State>();
    state_->readEnd = ends[0];
    state_->writeEnd = ends[1];
    const std::string headBytes(reinterpret_cast<const char*>(head), count);
    State* state = state_.get();
    const int from = source.state_->fd;
    state_->copier = std::thread([state, headBytes, from, limit] {
        Result& result = state->result;
        std::int64_t room = limit < 0 ? INT64_MAX : limit;
        const auto pass = [&](const unsigned char* bytes, std::int64_t size) {
            const std::int64_t taken = Take(result, room, bytes, size);
            if (state->writeEnd >= 0 && taken > 0 &&
                !WriteAll(state->writeEnd, bytes, static_cast<std::size_t>(taken))) {
                return false;  // the module stopped reading
            }
            if (room == 0 && state->writeEnd >= 0) {
                ::close(state->writeEnd);  // the module's end of input
                state->writeEnd = -1;
            }
            return true;
        };
        bool open = pass(reinterpret_cast<const unsigned char*>(headBytes.data()),
                         static_cast<std::int64_t>(headBytes.size()));
        unsigned char buffer[65536];
        while (open) {
            const ssize_t read = ::read(from, buffer, sizeof buffer);
            if (read < 0 && errno == EINTR) {
                continue;
            }
            if (read <= 0) {
                break;
            }
            open = pass(buffer, read);
        }
        if (state->writeEnd >= 0) {
            ::close(state->writeEnd);
            state->writeEnd = -1;
        }
    });
    path.text = "/dev/fd/" + std::to_string(state_->readEnd);
    path.valid = Utf8ToWide(path.text, path.wide);
    return true;
}

StreamFeed::Result StreamFeed::Finish() {
    if (state_ == nullptr) {
        return Result();
    }
    // Once the module is done, a copier still writing gets EPIPE and stops.
    if (state_->readEnd >= 0) {
        ::close(state_->readEnd);
        state_->readEnd = -1;
    }
    if (state_->copier.joinable()) {
        state_->copier.join();
    }
    return state_->result;
}

StreamFeed::StreamFeed() = default;

StreamFeed::~StreamFeed() { (void)Finish(); }

// The module writes to a copy of the original standard output.
struct StdoutSink::State {
    int saved = -1;
};

bool StdoutSink::Begin(Arg& path, std::string& reason) {
    const int saved = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (saved < 0) {
        reason = LastError();
        return false;
    }
    state_ = std::make_unique<State>();
    state_->saved = saved;
    path.text = "/dev/fd/" + std::to_string(saved);
    path.valid = Utf8ToWide(path.text, path.wide);
    return true;
}

bool StdoutSink::Finish(std::string&) {
    if (state_ != nullptr && state_->saved >= 0) {
        ::close(state_->saved);
        state_->saved = -1;
    }
    return true;
}

StdoutSink::StdoutSink() = default;

StdoutSink::~StdoutSink() {
    std::string ignored;
    (void)Finish(ignored);
}

}  // namespace pendrax_host
