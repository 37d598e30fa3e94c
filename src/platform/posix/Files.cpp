#include "Files.h"

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

}  // namespace pendrax::platform
