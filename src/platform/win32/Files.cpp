#include "Files.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cstdint>
#include <cwchar>

namespace pendrax::platform {
namespace {

// Both files must be on disk and readable by handle to be compared.
bool SameFile(HANDLE first, HANDLE second, bool* same) {
    BY_HANDLE_FILE_INFORMATION firstInfo{};
    BY_HANDLE_FILE_INFORMATION secondInfo{};
    if (!GetFileInformationByHandle(first, &firstInfo) ||
        !GetFileInformationByHandle(second, &secondInfo)) {
        return false;
    }
    *same = firstInfo.dwVolumeSerialNumber == secondInfo.dwVolumeSerialNumber &&
            firstInfo.nFileIndexHigh == secondInfo.nFileIndexHigh &&
            firstInfo.nFileIndexLow == secondInfo.nFileIndexLow;
    return true;
}

}  // namespace

FileName NativeName(const PendraxWideChar* path) {
    return path == nullptr ? FileName() : FileName(path);
}

std::FILE* OpenForReading(const FileName& name) {
    if (name.empty()) {
        return nullptr;
    }
    return _wfopen(name.c_str(), L"rb");
}

std::FILE* OpenForWritingUnlessSame(const FileName& name, std::FILE* input) {
    if (name.empty()) {
        return nullptr;
    }
    // Open without truncating, compare file indexes, and only then truncate:
    // the input can never be cut short by naming it as the output.
    HANDLE output = CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (output == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    const auto inputHandle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(input)));
    const bool onDisk = GetFileType(output) == FILE_TYPE_DISK;
    bool same = false;
    // Only disk files have an identity and a length to cut; devices are left as they are.
    const bool refused =
        onDisk && (!SameFile(output, inputHandle, &same) || same || !SetEndOfFile(output));
    if (refused) {
        CloseHandle(output);
        return nullptr;
    }
    const int descriptor =
        _open_osfhandle(reinterpret_cast<intptr_t>(output), _O_WRONLY | _O_BINARY);
    if (descriptor == -1) {
        CloseHandle(output);
        return nullptr;
    }
    std::FILE* stream = _fdopen(descriptor, "wb");
    if (stream == nullptr) {
        _close(descriptor);  // closes the handle too
    }
    return stream;
}

std::FILE* OpenWideForWriting(const PendraxWideChar* path) {
    if (path == nullptr || *path == 0) {
        return nullptr;
    }
    return _wfopen(path, L"wb");
}

bool TruncateFile(std::FILE* file, std::uint64_t size) {
    if (std::fflush(file) != 0 || size > static_cast<std::uint64_t>(INT64_MAX)) {
        return false;
    }
    return _chsize_s(_fileno(file), static_cast<long long>(size)) == 0;
}

}  // namespace pendrax::platform
