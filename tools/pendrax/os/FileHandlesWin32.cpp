#include <windows.h>

#include "os/FileHandles.h"
#include "os/Io.h"
#include "os/IoWin32.h"

namespace pendrax_host {
namespace {

HANDLE AsHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

}  // namespace

bool GrowingFile::Open(const Arg& path) {
    Close();
    // Shared for writing and deleting: the module holds it open for writing.
    HANDLE file = CreateFileW(path.wide.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    handle_ = reinterpret_cast<std::intptr_t>(file);
    return true;
}

std::int64_t GrowingFile::Size() const {
    LARGE_INTEGER size{};
    return handle_ != -1 && GetFileSizeEx(AsHandle(handle_), &size)
               ? static_cast<std::int64_t>(size.QuadPart)
               : -1;
}

bool GrowingFile::ReadAt(std::int64_t offset, unsigned char* bytes, std::size_t count) const {
    while (count > 0) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD got = 0;
        if (!ReadFile(AsHandle(handle_), bytes, static_cast<DWORD>(count), &got, &at) || got == 0) {
            return false;
        }
        bytes += got;
        offset += got;
        count -= got;
    }
    return true;
}

void GrowingFile::Close() {
    if (handle_ != -1) {
        CloseHandle(AsHandle(handle_));
        handle_ = -1;
    }
}

StreamSink::~StreamSink() {
    if (owned_) {
        CloseHandle(AsHandle(handle_));
    }
}

bool StreamSink::Open(const Arg& out, std::string& reason) {
    HANDLE file = IsStream(out) ? GetStdHandle(STD_OUTPUT_HANDLE)
                                : pendrax_host::Open(out, GENERIC_WRITE, OPEN_EXISTING);
    if (file == INVALID_HANDLE_VALUE || file == nullptr) {
        reason = LastError();
        return false;
    }
    handle_ = reinterpret_cast<std::intptr_t>(file);
    owned_ = !IsStream(out);
    return true;
}

bool StreamSink::Write(const unsigned char* bytes, std::size_t count, std::string& reason) {
    if (!WriteAllTo(AsHandle(handle_), bytes, count)) {
        reason = LastError();
        return false;
    }
    return true;
}

void StreamSink::RewriteHead(const unsigned char* head, std::size_t bytes) {
    HANDLE file = AsHandle(handle_);
    if (GetFileType(file) == FILE_TYPE_DISK &&
        SetFilePointer(file, 0, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER) {
        (void)WriteAllTo(file, head, bytes);
    }
}

}  // namespace pendrax_host
