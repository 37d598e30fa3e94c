#include "Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>

namespace pendrax::platform {
namespace {

void AppendUtf8(std::string& out, std::uint32_t codePoint) {
    if (codePoint < 0x80) {
        out.push_back(static_cast<char>(codePoint));
    } else if (codePoint < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else if (codePoint < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (codePoint >> 18)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    }
}

bool IsHighSurrogate(std::uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(std::uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

std::string WidePathToNarrow(const PendraxWideChar* path) {
    std::string name;
    if (path == nullptr) {
        return name;
    }
    for (const PendraxWideChar* unit = path; *unit != 0; ++unit) {
        const std::uint32_t first = *unit;
        if (IsHighSurrogate(first) && IsLowSurrogate(unit[1])) {
            const std::uint32_t second = *++unit;
            AppendUtf8(name, 0x10000 + ((first - 0xD800) << 10) + (second - 0xDC00));
        } else if (IsHighSurrogate(first) || IsLowSurrogate(first)) {
            return std::string();
        } else {
            AppendUtf8(name, first);
        }
    }
    return name;
}

FileName NativeName(const PendraxWideChar* path) { return WidePathToNarrow(path); }

std::FILE* OpenForReading(const FileName& name) {
    if (name.empty()) {
        return nullptr;
    }
    return std::fopen(name.c_str(), "rb");
}

std::FILE* OpenForWritingUnlessSame(const FileName& name, std::FILE* input) {
    if (name.empty()) {
        return nullptr;
    }
    // Open without truncating, compare identities, and only then truncate:
    // the input can never be cut short by naming it as the output.
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        return nullptr;
    }
    struct stat outputInfo = {};
    struct stat inputInfo = {};
    const bool known = ::fstat(fd, &outputInfo) == 0 && ::fstat(::fileno(input), &inputInfo) == 0;
    const bool same =
        known && outputInfo.st_dev == inputInfo.st_dev && outputInfo.st_ino == inputInfo.st_ino;
    // Only regular files have a length to cut; devices and pipes are left as they are.
    if (!known || same || (S_ISREG(outputInfo.st_mode) && ::ftruncate(fd, 0) != 0)) {
        ::close(fd);
        return nullptr;
    }
    std::FILE* stream = ::fdopen(fd, "wb");
    if (stream == nullptr) {
        ::close(fd);
    }
    return stream;
}

std::FILE* OpenWideForWriting(const PendraxWideChar* path) {
    const std::string name = WidePathToNarrow(path);
    if (name.empty()) {
        return nullptr;
    }
    return std::fopen(name.c_str(), "wbe");  // e: close-on-exec
}

bool TruncateFile(std::FILE* file, std::uint64_t size) {
    if (std::fflush(file) != 0 || size > static_cast<std::uint64_t>(INT64_MAX)) {
        return false;
    }
    return ::ftruncate(::fileno(file), static_cast<off_t>(size)) == 0;
}

}  // namespace pendrax::platform
