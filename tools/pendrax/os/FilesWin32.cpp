#include <windows.h>

#include "os/Files.h"
#include "os/Io.h"
#include "os/IoWin32.h"

namespace pendrax_host {
namespace {

Arg Named(const WidePath& wide) {
    Arg arg;
    arg.wide = wide;
    arg.text = WideToUtf8(wide);
    return arg;
}

bool CreateNew(const WidePath& stem, const wchar_t* suffix, Arg& created, std::string& reason) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::wstring count =
            std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(attempt) + suffix;
        const WidePath name = stem + WidePath(count.begin(), count.end());
        HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            created = Named(name);
            return true;
        }
        if (GetLastError() != ERROR_FILE_EXISTS) {
            reason = LastError();
            return false;
        }
    }
    reason = ErrorText(ERROR_FILE_EXISTS);
    return false;
}

}  // namespace

bool TakesStream(const Arg& out) { return IsStream(out); }

Arg FinalTarget(const Arg& out) { return out; }

bool CreateBeside(const Arg& target, Arg& created, std::string& reason) {
    if (GetFileAttributesW(target.wide.c_str()) != INVALID_FILE_ATTRIBUTES) {
        HANDLE file = Open(target, GENERIC_WRITE, OPEN_EXISTING);
        if (file == INVALID_HANDLE_VALUE) {
            reason = LastError();
            return false;
        }
        CloseHandle(file);
    }
    const std::wstring suffix = L".pendrax-";
    return CreateNew(target.wide + WidePath(suffix.begin(), suffix.end()), L".part", created,
                     reason);
}

bool CreateTemporary(Arg& created, std::string& reason) {
    wchar_t folder[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH) {
        reason = LastError();
        return false;
    }
    const std::wstring stem = std::wstring(folder, length) + L"pendrax-";
    return CreateNew(WidePath(stem.begin(), stem.end()), L".wav", created, reason);
}

bool MoveOnto(const Arg& from, const Arg& to, std::string& reason) {
    if (!MoveFileExW(from.wide.c_str(), to.wide.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        reason = LastError();
        return false;
    }
    return true;
}

void RemoveFile(const Arg& path) { (void)DeleteFileW(path.wide.c_str()); }

bool Rewrite(const Arg& path, std::int64_t length, const unsigned char* head, std::size_t bytes,
             std::string& reason) {
    HANDLE file = Open(path, GENERIC_WRITE, OPEN_EXISTING);
    LARGE_INTEGER end{};
    end.QuadPart = length;
    const bool done = file != INVALID_HANDLE_VALUE &&
                      SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file) &&
                      SetFilePointer(file, 0, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
                      WriteAllTo(file, head, bytes) && FlushFileBuffers(file);
    if (!done) {
        reason = LastError();
    }
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
    }
    return done;
}

}  // namespace pendrax_host
