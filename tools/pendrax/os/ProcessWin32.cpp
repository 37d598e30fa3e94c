#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "os/Process.h"

namespace pendrax_host {

void PrepareProcess() {
    (void)_setmode(_fileno(stdin), _O_BINARY);
    (void)_setmode(_fileno(stdout), _O_BINARY);
}

bool SelectCaptureDevice(const std::string&) { return false; }

void SleepMilliseconds(int milliseconds) { Sleep(static_cast<DWORD>(milliseconds)); }

}  // namespace pendrax_host
