#include "os/IoWin32.h"

#include "os/Io.h"

namespace pendrax_host {

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

std::string LastError() { return ErrorText(GetLastError()); }

bool WriteAllTo(HANDLE file, const unsigned char* bytes, std::size_t count) {
    while (count > 0) {
        DWORD put = 0;
        const DWORD chunk = count > 1u << 20 ? 1u << 20 : static_cast<DWORD>(count);
        if (!WriteFile(file, bytes, chunk, &put, nullptr) || put == 0) {
            return false;
        }
        bytes += put;
        count -= put;
    }
    return true;
}

}  // namespace pendrax_host
