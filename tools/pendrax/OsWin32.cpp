// The system on Windows: console events, the console, the capture device.
#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "Console.h"
#include "Os.h"

namespace pendrax_host {
namespace {

volatile LONG stopEvent = -1;
HANDLE stopDone = nullptr;

// Ctrl-C, Ctrl-Break and console close all ask to stop. On close the system
// ends the process once this returns (HandlerRoutine's documented rule), so
// it waits for the output to be finished.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    InterlockedExchange(&stopEvent, static_cast<LONG>(event));
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
    stopDone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
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

bool SelectCaptureDevice(const std::string&) { return false; }

void SleepMilliseconds(int milliseconds) { Sleep(static_cast<DWORD>(milliseconds)); }

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

}  // namespace pendrax_host
