#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>

#include "System.h"

namespace pendrax_host {
namespace {

volatile LONG stopRequested = 0;
HANDLE stopDone = nullptr;

std::string ErrorText(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    if (length == 0 || text == nullptr) {
        return "error " + std::to_string(code);
    }
    WidePath wide(text, length);
    LocalFree(text);
    while (!wide.empty() && (wide.back() == L'\n' || wide.back() == L'\r' || wide.back() == L'.' ||
                             wide.back() == L' ')) {
        wide.pop_back();
    }
    return WideToUtf8(wide);
}

HANDLE Open(const Arg& path, DWORD access, DWORD disposition) {
    return CreateFileW(path.wide.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

WidePath FolderOf(const WidePath& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == WidePath::npos ? WidePath(L".") : path.substr(0, slash + 1);
}

// Ctrl-C, Ctrl-Break and console close all end the recording. On close the
// system ends the process once this returns, so it waits for the file.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    InterlockedExchange(&stopRequested, 1);
    if (event == CTRL_CLOSE_EVENT && stopDone != nullptr) {
        WaitForSingleObject(stopDone, 4000);
    }
    return TRUE;
}

bool CopyAll(HANDLE from, HANDLE to, std::int64_t* copied, DWORD& error) {
    char buffer[65536];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(from, buffer, sizeof buffer, &got, nullptr)) {
            error = GetLastError();
            return error == ERROR_BROKEN_PIPE;  // the writer closed: the end
        }
        if (got == 0) {
            return true;
        }
        DWORD put = 0;
        if (!WriteFile(to, buffer, got, &put, nullptr) || put != got) {
            error = GetLastError();
            return false;
        }
        if (copied != nullptr) {
            *copied += got;
        }
    }
}

WidePath TemporaryPath() {
    wchar_t folder[MAX_PATH + 1] = {};
    wchar_t name[MAX_PATH + 1] = {};
    if (GetTempPathW(MAX_PATH, folder) == 0 || GetTempFileNameW(folder, L"pdx", 0, name) == 0) {
        return WidePath();
    }
    return name;
}

}  // namespace

void PrepareProcess() {
    (void)_setmode(_fileno(stdin), _O_BINARY);
    (void)_setmode(_fileno(stdout), _O_BINARY);
}

std::string LastError() { return ErrorText(GetLastError()); }

bool ReadHead(const Arg& path, unsigned char* bytes, std::size_t want, std::size_t& got,
              bool& opened, std::string& reason) {
    got = 0;
    HANDLE file = Open(path, GENERIC_READ, OPEN_EXISTING);
    opened = file != INVALID_HANDLE_VALUE;
    if (!opened) {
        reason = LastError();
        return false;
    }
    DWORD read = 0;
    const bool ok = ReadFile(file, bytes, static_cast<DWORD>(want), &read, nullptr) != 0;
    if (!ok) {
        reason = LastError();
    }
    got = read;
    CloseHandle(file);
    return ok;
}

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

bool ReadsToEnd(const Arg& path, std::string& reason) {
    HANDLE file = Open(path, GENERIC_READ, OPEN_EXISTING);
    if (file == INVALID_HANDLE_VALUE) {
        reason = LastError();
        return false;
    }
    DWORD error = 0;
    HANDLE sink = CreateFileW(L"NUL", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    const bool ok = CopyAll(file, sink, nullptr, error);
    if (!ok) {
        reason = ErrorText(error);
    }
    CloseHandle(sink);
    CloseHandle(file);
    return ok;
}

std::string WriteOpenFailure(const Arg& path) {
    const DWORD attributes = GetFileAttributesW(path.wide.c_str());
    // An existing file is opened as it is; a new one is made and removed.
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    HANDLE file = Open(path, GENERIC_WRITE, exists ? OPEN_EXISTING : CREATE_NEW);
    if (file == INVALID_HANDLE_VALUE) {
        return LastError();
    }
    CloseHandle(file);
    if (!exists) {
        (void)DeleteFileW(path.wide.c_str());
    }
    return std::string();
}

std::string AppendFailure(const Arg& path) {
    HANDLE file = Open(path, GENERIC_WRITE, OPEN_EXISTING);
    if (file == INVALID_HANDLE_VALUE) {
        return LastError();
    }
    LARGE_INTEGER size{};
    std::string reason;
    const bool sized = GetFileSizeEx(file, &size) != 0;
    const char zero = 0;
    DWORD put = 0;
    if (SetFilePointer(file, 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER ||
        !WriteFile(file, &zero, 1, &put, nullptr) || put != 1 || !FlushFileBuffers(file)) {
        reason = LastError();
    }
    if (sized && SetFilePointerEx(file, size, nullptr, FILE_BEGIN)) {
        (void)SetEndOfFile(file);
    }
    CloseHandle(file);
    return reason;
}

bool SameFile(const Arg& first, const Arg& second) {
    BY_HANDLE_FILE_INFORMATION a{};
    BY_HANDLE_FILE_INFORMATION b{};
    HANDLE one = Open(first, 0, OPEN_EXISTING);
    HANDLE two = Open(second, 0, OPEN_EXISTING);
    const bool same = one != INVALID_HANDLE_VALUE && two != INVALID_HANDLE_VALUE &&
                      GetFileInformationByHandle(one, &a) && GetFileInformationByHandle(two, &b) &&
                      a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
                      a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
    if (one != INVALID_HANDLE_VALUE) {
        CloseHandle(one);
    }
    if (two != INVALID_HANDLE_VALUE) {
        CloseHandle(two);
    }
    return same;
}

std::int64_t FileSize(const Arg& path) {
    // Through a handle: a directory entry's size can lag behind a file
    // that another handle is growing.
    HANDLE file = CreateFileW(path.wide.c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return -1;
    }
    LARGE_INTEGER size{};
    const bool known = GetFileSizeEx(file, &size) != 0;
    CloseHandle(file);
    return known ? static_cast<std::int64_t>(size.QuadPart) : -1;
}

std::string GrowthFailure(const Arg& path, std::int64_t bytes) {
    if (FileSize(path) < 0) {
        return LastError();
    }
    ULARGE_INTEGER available{};
    if (GetDiskFreeSpaceExW(FolderOf(path.wide).c_str(), &available, nullptr, nullptr) &&
        static_cast<std::int64_t>(available.QuadPart) < bytes) {
        return ErrorText(ERROR_DISK_FULL);
    }
    return std::string();
}

bool SelectCaptureDevice(const std::string&) { return false; }

bool StderrIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

void SleepMilliseconds(int milliseconds) { Sleep(static_cast<DWORD>(milliseconds)); }

void InstallStopHandlers() {
    stopDone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

bool StopRequested() { return InterlockedCompareExchange(&stopRequested, 0, 0) != 0; }

void StopDone() {
    if (stopDone != nullptr) {
        SetEvent(stopDone);
    }
}

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
