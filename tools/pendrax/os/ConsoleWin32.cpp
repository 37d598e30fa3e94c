#include <windows.h>
#include <io.h>

#include "Utf8.h"
#include "os/Console.h"

namespace pendrax_host {

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

}  // namespace pendrax_host
