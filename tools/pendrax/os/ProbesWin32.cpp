#include <windows.h>

#include "os/Io.h"
#include "os/IoWin32.h"
#include "os/Probes.h"

namespace pendrax_host {
namespace {

WidePath FolderOf(const WidePath& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == WidePath::npos ? WidePath(L".") : path.substr(0, slash + 1);
}

}  // namespace

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

namespace {

// The type of what the path names: FILE_TYPE_DISK for files (and
// directories), FILE_TYPE_PIPE or FILE_TYPE_CHAR for the rest;
// FILE_TYPE_UNKNOWN when it cannot be opened.
DWORD TypeOf(const Arg& path) {
    HANDLE file = CreateFileW(path.wide.c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return FILE_TYPE_UNKNOWN;
    }
    const DWORD type = GetFileType(file);
    CloseHandle(file);
    return type;
}

}  // namespace

bool IsRegularFile(const Arg& path) {
    const DWORD type = TypeOf(path);
    return type == FILE_TYPE_DISK || type == FILE_TYPE_UNKNOWN;
}

bool IsOtherThanFile(const Arg& path) {
    const DWORD type = TypeOf(path);
    return type != FILE_TYPE_DISK && type != FILE_TYPE_UNKNOWN;
}

bool ReadAt(const Arg& path, std::int64_t offset, unsigned char* bytes, std::size_t want,
            std::size_t& got) {
    got = 0;
    HANDLE file = Open(path, GENERIC_READ, OPEN_EXISTING);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    LARGE_INTEGER at{};
    at.QuadPart = offset;
    DWORD read = 0;
    const bool ok = SetFilePointerEx(file, at, nullptr, FILE_BEGIN) &&
                    ReadFile(file, bytes, static_cast<DWORD>(want), &read, nullptr);
    got = read;
    CloseHandle(file);
    return ok;
}

}  // namespace pendrax_host
