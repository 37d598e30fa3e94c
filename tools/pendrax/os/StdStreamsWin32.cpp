#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "os/Io.h"
#include "os/IoWin32.h"
#include "os/StdStreams.h"

namespace pendrax_host {
namespace {

WidePath TemporaryPath() {
    wchar_t folder[MAX_PATH + 1] = {};
    wchar_t name[MAX_PATH + 1] = {};
    if (GetTempPathW(MAX_PATH, folder) == 0 || GetTempFileNameW(folder, L"pdx", 0, name) == 0) {
        return WidePath();
    }
    return name;
}

}  // namespace


struct StreamSource::State {
    HANDLE handle = INVALID_HANDLE_VALUE;
    bool owned = false;
};

bool StreamSource::Open(const Arg& input, std::string& reason) {
    state_ = std::make_unique<State>();
    if (IsStream(input)) {
        state_->handle = GetStdHandle(STD_INPUT_HANDLE);
        return true;
    }
    state_->handle = pendrax_host::Open(input, GENERIC_READ, OPEN_EXISTING);
    state_->owned = state_->handle != INVALID_HANDLE_VALUE;
    if (!state_->owned) {
        reason = LastError();
        return false;
    }
    return true;
}

bool StreamSource::Read(unsigned char* bytes, std::size_t want, std::size_t& got,
                        std::string& reason) {
    got = 0;
    while (got < want) {
        DWORD read = 0;
        if (!ReadFile(state_->handle, bytes + got, static_cast<DWORD>(want - got), &read,
                      nullptr)) {
            if (GetLastError() == ERROR_BROKEN_PIPE) {
                break;  // the writer closed: the end
            }
            reason = LastError();
            return false;
        }
        if (read == 0) {
            break;
        }
        got += read;
    }
    return true;
}

StreamSource::StreamSource() = default;

StreamSource::~StreamSource() {
    if (state_ != nullptr && state_->owned) {
        CloseHandle(state_->handle);
    }
}

// The module opens files by name, so the stream goes through a temporary
// file, written whole before the module starts.
struct StreamFeed::State {
    WidePath path;
    Result result;
};

bool StreamFeed::Begin(StreamSource& source, const unsigned char* head, std::size_t count,
                       std::int64_t limit, Arg& path, std::string& reason) {
    state_ = std::make_unique<State>();
    state_->path = TemporaryPath();
    HANDLE file = state_->path.empty() ? INVALID_HANDLE_VALUE
                                       : CreateFileW(state_->path.c_str(), GENERIC_WRITE, 0,
                                                     nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        reason = LastError();
        return false;
    }
    Result& result = state_->result;
    std::int64_t room = limit < 0 ? INT64_MAX : limit;
    bool ok = true;
    const auto pass = [&](const unsigned char* bytes, std::int64_t size) {
        const std::int64_t taken = Take(result, room, bytes, size);
        DWORD put = 0;
        if (taken > 0 &&
            (!WriteFile(file, bytes, static_cast<DWORD>(taken), &put, nullptr) || put != taken)) {
            reason = LastError();
            return false;
        }
        return true;
    };
    ok = pass(head, static_cast<std::int64_t>(count));
    unsigned char buffer[65536];
    std::size_t got = 0;
    while (ok && source.Read(buffer, sizeof buffer, got, reason) && got > 0) {
        ok = pass(buffer, static_cast<std::int64_t>(got));
    }
    CloseHandle(file);
    if (!ok || !reason.empty()) {
        return false;
    }
    path.wide = state_->path;
    path.text = WideToUtf8(path.wide);
    return true;
}

StreamFeed::Result StreamFeed::Finish() { return state_ == nullptr ? Result() : state_->result; }

StreamFeed::StreamFeed() = default;

StreamFeed::~StreamFeed() {
    if (state_ != nullptr && !state_->path.empty()) {
        (void)DeleteFileW(state_->path.c_str());
    }
}

struct StdoutSink::State {
    WidePath path;
};

bool StdoutSink::Begin(Arg& path, std::string& reason) {
    state_ = std::make_unique<State>();
    state_->path = TemporaryPath();
    if (state_->path.empty()) {
        reason = LastError();
        return false;
    }
    path.wide = state_->path;
    path.text = WideToUtf8(path.wide);
    return true;
}

bool StdoutSink::Finish(std::string& reason) {
    if (state_ == nullptr || state_->path.empty()) {
        return true;
    }
    HANDLE file = CreateFileW(state_->path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    bool ok = true;
    if (file != INVALID_HANDLE_VALUE) {
        DWORD error = 0;
        ok = CopyAll(file, reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stdout))), nullptr,
                     error);
        if (!ok) {
            reason = ErrorText(error);
            readerGone_ = error == ERROR_NO_DATA || error == ERROR_BROKEN_PIPE;
        }
        CloseHandle(file);
    }  // else the module made no output: its own failure says why
    (void)DeleteFileW(state_->path.c_str());
    state_->path.clear();
    return ok;
}

StdoutSink::StdoutSink() = default;

StdoutSink::~StdoutSink() {
    std::string ignored;
    (void)Finish(ignored);
}

}  // namespace pendrax_host
