// The system on Windows: console events, names and reasons, the console.
#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "Os.h"

namespace pendrax_host {
namespace {

volatile LONG stopEvent = -1;
HANDLE stopDone = nullptr;
// Set to wake the host's thread, by news or by a console event; it resets
// as the wait takes it.
HANDLE wake = nullptr;
constexpr DWORD kWithoutWakeMilliseconds = 250;

// Ctrl-C, Ctrl-Break and console close all ask to stop. The handler runs on
// a thread of its own; on close the system ends the process once it returns
// (HandlerRoutine's documented rule), so it waits for the output first.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    InterlockedExchange(&stopEvent, static_cast<LONG>(event));
    if (wake != nullptr) {
        SetEvent(wake);
    }
    if (event == CTRL_CLOSE_EVENT && stopDone != nullptr) {
        WaitForSingleObject(stopDone, 4000);
    }
    return TRUE;
}

}  // namespace

void PrepareProcess() {
    (void)_setmode(_fileno(stdin), _O_BINARY);
    (void)_setmode(_fileno(stdout), _O_BINARY);
}

void InstallStopHandlers() {
    if (stopDone == nullptr) {
        stopDone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
    }
}

void WaitForWake(int milliseconds) {
    const DWORD limit = milliseconds < 0 ? INFINITE : static_cast<DWORD>(milliseconds);
    if (wake == nullptr) {
        Sleep(limit < kWithoutWakeMilliseconds ? limit : kWithoutWakeMilliseconds);
        return;
    }
    (void)WaitForSingleObject(wake, limit);
}

void WakeWaiter() {
    if (wake != nullptr) {
        SetEvent(wake);
    }
}

bool StopRequested() { return InterlockedCompareExchange(&stopEvent, -1, -1) >= 0; }

int StopStatus() {
    const LONG event = InterlockedCompareExchange(&stopEvent, -1, -1);
    return event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? kExitInterrupted : kExitHangUp;
}

void StopDone() {
    if (stopDone != nullptr) {
        SetEvent(stopDone);
    }
}

void EndFlangeOnSignal(const FileName&, const FileName&, const std::string&) {
    InstallStopHandlers();
}

void HoldFlangeSignals(bool) {}

void FlangeCommitted() {}

FileName NameOf(const Arg& arg) { return FileName(arg.wide.begin(), arg.wide.end()); }

std::string ErrorText(pendrax::io::OsError error) {
    if (error == pendrax::io::kShortWrite) {
        return pendrax::io::kShortWriteText;
    }
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    if (length == 0 || text == nullptr) {
        return "error " + std::to_string(error);
    }
    WidePath wide(text, length);
    LocalFree(text);
    while (!wide.empty() && (wide.back() == L'\n' || wide.back() == L'\r' || wide.back() == L'.' ||
                             wide.back() == L' ')) {
        wide.pop_back();
    }
    return WideToUtf8(wide);
}

bool IsBrokenPipe(pendrax::io::OsError error) {
    return error == ERROR_BROKEN_PIPE || error == ERROR_NO_DATA;
}

bool Exists(const FileName& name, bool) {
    return GetFileAttributesW(name.c_str()) != INVALID_FILE_ATTRIBUTES;
}

NativeFile LockedCopy(NativeFile) { return pendrax::platform::kNoFile; }

bool FolderFault(const FileName& name, pendrax::io::OsError error) {
    return error == ERROR_ACCESS_DENIED && !Exists(name);
}

std::string Utf8Name(const FileName& name) {
    return WideToUtf8(WidePath(name.begin(), name.end()));
}

bool NamedCaptureDevices() { return false; }

void WriteText(std::FILE* stream, const std::string& text) {
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    WidePath wide;
    // GetConsoleMode succeeds only for a console handle.
    if (handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) && Utf8ToWide(text, wide)) {
        (void)std::fflush(stream);
        DWORD put = 0;
        (void)WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &put, nullptr);
        return;
    }
    (void)std::fwrite(text.data(), 1, text.size(), stream);
}

bool StderrIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

std::size_t StderrColumns() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info)) {
        return 0;
    }
    return static_cast<std::size_t>(info.srWindow.Right - info.srWindow.Left + 1);
}

// The console keeps no width table a program can ask: one column each.
std::size_t CharacterColumns(char32_t) { return 1; }

}  // namespace pendrax_host
