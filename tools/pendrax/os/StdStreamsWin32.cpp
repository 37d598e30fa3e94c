#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>

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

bool ReadStdinHead(unsigned char* bytes, std::size_t want, std::size_t& got, std::string& reason) {
    got = 0;
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    while (got < want) {
        DWORD read = 0;
        if (!ReadFile(input, bytes + got, static_cast<DWORD>(want - got), &read, nullptr)) {
            if (GetLastError() == ERROR_BROKEN_PIPE) {
                break;
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

bool StderrIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

// The module opens files by name, so a stream goes through a temporary file.
struct StdinFeed::State {
    WidePath path;
    std::int64_t passed = 0;
};

bool StdinFeed::Begin(const unsigned char* head, std::size_t count, Arg& path,
                      std::string& reason) {
    state_ = std::make_unique<State>();
    state_->path = TemporaryPath();
    HANDLE file = state_->path.empty() ? INVALID_HANDLE_VALUE
                                       : CreateFileW(state_->path.c_str(), GENERIC_WRITE, 0,
                                                     nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        reason = LastError();
        return false;
    }
    DWORD put = 0;
    DWORD error = 0;
    const bool ok = WriteFile(file, head, static_cast<DWORD>(count), &put, nullptr) &&
                    put == count &&
                    CopyAll(GetStdHandle(STD_INPUT_HANDLE), file, &state_->passed, error);
    CloseHandle(file);
    state_->passed += static_cast<std::int64_t>(count);
    if (!ok) {
        reason = ErrorText(error != 0 ? error : GetLastError());
        return false;
    }
    path.wide = state_->path;
    path.text = WideToUtf8(path.wide);
    return true;
}

std::int64_t StdinFeed::Finish() { return state_ == nullptr ? 0 : state_->passed; }

StdinFeed::StdinFeed() = default;

StdinFeed::~StdinFeed() {
    if (state_ != nullptr && !state_->path.empty()) {
        (void)DeleteFileW(state_->path.c_str());
    }
}

struct StdoutSink::State {
    WidePath path;
    int saved = -1;
};

bool StdoutSink::Begin(Arg& path, std::string& reason) {
    state_ = std::make_unique<State>();
    state_->path = TemporaryPath();
    if (state_->path.empty()) {
        reason = LastError();
        return false;
    }
    (void)std::fflush(stdout);
    state_->saved = _dup(_fileno(stdout));
    (void)_dup2(_fileno(stderr), _fileno(stdout));
    path.wide = state_->path;
    path.text = WideToUtf8(path.wide);
    return true;
}

bool StdoutSink::Finish(std::string& reason) {
    if (state_ == nullptr || state_->saved < 0) {
        return true;
    }
    (void)std::fflush(stdout);
    (void)_dup2(state_->saved, _fileno(stdout));
    (void)_close(state_->saved);
    state_->saved = -1;
    HANDLE file = CreateFileW(state_->path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return true;  // the module made no output: its own failure says why
    }
    DWORD error = 0;
    const bool ok =
        CopyAll(file, reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stdout))), nullptr, error);
    if (!ok) {
        reason = ErrorText(error);
    }
    CloseHandle(file);
    return ok;
}

StdoutSink::StdoutSink() = default;

StdoutSink::~StdoutSink() {
    std::string ignored;
    (void)Finish(ignored);
    if (state_ != nullptr && !state_->path.empty()) {
        (void)DeleteFileW(state_->path.c_str());
    }
}

}  // namespace pendrax_host
