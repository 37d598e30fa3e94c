#include <windows.h>

#include <cstdio>

#include "Console.h"
#include "os/Signals.h"

// The flange's interrupt. A console control handler runs on a thread of
// its own, and the module holds the output open without sharing deletion,
// so the handler only notes the event: the module is let finish (flanging
// runs far faster than real time), then the main thread removes the
// output. For CTRL_CLOSE_EVENT the system ends the process when the
// handler returns (HandlerRoutine's documented rule), so it waits for that.
namespace pendrax_host {
namespace {

volatile LONG flangeEvent = -1;
HANDLE flangeDone = nullptr;
Arg flangeOutput;
bool flangeRemovable = false;
WIN32_FILE_ATTRIBUTE_DATA flangeBefore{};
bool flangeExisted = false;

BOOL WINAPI OnFlangeEvent(DWORD event) {
    InterlockedExchange(&flangeEvent, static_cast<LONG>(event));
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && flangeDone != nullptr) {
        WaitForSingleObject(flangeDone, 4500);
    }
    return TRUE;
}

bool Touched() {
    WIN32_FILE_ATTRIBUTE_DATA now{};
    if (!GetFileAttributesExW(flangeOutput.wide.c_str(), GetFileExInfoStandard, &now)) {
        return false;
    }
    return !flangeExisted ||
           CompareFileTime(&now.ftLastWriteTime, &flangeBefore.ftLastWriteTime) != 0 ||
           now.nFileSizeLow != flangeBefore.nFileSizeLow ||
           now.nFileSizeHigh != flangeBefore.nFileSizeHigh;
}

}  // namespace

void InstallFlangeInterrupt(const Arg& output, bool removable) {
    flangeOutput = output;
    flangeRemovable = removable;
    flangeExisted = removable && GetFileAttributesExW(output.wide.c_str(), GetFileExInfoStandard,
                                                      &flangeBefore) != 0;
    flangeDone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(OnFlangeEvent, TRUE);
}

int EndFlangeInterrupt() {
    const LONG event = InterlockedCompareExchange(&flangeEvent, 0, 0);
    int status = 0;
    if (event >= 0) {
        status = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? 130 : 129;
        if (flangeRemovable && Touched() && DeleteFileW(flangeOutput.wide.c_str())) {
            Say("pendrax: interrupted; removed the incomplete output '%s'\n",
                flangeOutput.text.c_str());
        } else {
            Say("pendrax: interrupted; the output was left as it was\n");
        }
        (void)std::fflush(stderr);
    }
    SetConsoleCtrlHandler(OnFlangeEvent, FALSE);
    if (flangeDone != nullptr) {
        SetEvent(flangeDone);
    }
    return status;
}

}  // namespace pendrax_host
