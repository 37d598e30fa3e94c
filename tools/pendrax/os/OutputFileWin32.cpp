#include <windows.h>

#include "os/Io.h"
#include "os/IoWin32.h"
#include "os/OutputFile.h"

namespace pendrax_host {

bool WriteAtStart(const Arg& path, const unsigned char* bytes, std::size_t count,
                  std::string& reason) {
    HANDLE file = Open(path, GENERIC_WRITE, OPEN_EXISTING);
    if (file == INVALID_HANDLE_VALUE) {
        reason = LastError();
        return false;
    }
    DWORD put = 0;
    const bool written =
        WriteFile(file, bytes, static_cast<DWORD>(count), &put, nullptr) && put == count;
    if (!written) {
        reason = LastError();
    }
    return CloseHandle(file) && written;
}

}  // namespace pendrax_host
