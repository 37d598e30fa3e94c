#include "Files.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cstdint>
#include <cwchar>

namespace pendrax::platform {

FileName NativeName(const PendraxWideChar* path) {
    return path == nullptr ? FileName() : FileName(path);
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
