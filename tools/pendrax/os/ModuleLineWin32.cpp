#include <windows.h>
#include <io.h>

#include "Utf8.h"
#include "os/ModuleLine.h"

namespace pendrax_host {

// The CRT's descriptor 1 is what the module's printf writes through.
std::FILE* TemporaryStream() {
    wchar_t folder[MAX_PATH + 1] = {};
    wchar_t name[MAX_PATH + 1] = {};
    if (GetTempPathW(MAX_PATH, folder) == 0 || GetTempFileNameW(folder, L"pdx", 0, name) == 0) {
        return nullptr;
    }
    return _wfopen(name, L"w+bD");  // "D": removed once closed
}

int PointStdoutAt(int descriptor) {
    const int saved = _dup(_fileno(stdout));
    if (saved >= 0 && _dup2(descriptor, _fileno(stdout)) != 0) {
        (void)_close(saved);
        return -1;
    }
    return saved;
}

void RestoreStdout(int saved) {
    (void)_dup2(saved, _fileno(stdout));
    (void)_close(saved);
}

}  // namespace pendrax_host
