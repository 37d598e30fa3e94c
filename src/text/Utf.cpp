#include "Utf.h"

#include <cstdint>

namespace pendrax::text {
namespace {

bool IsHighSurrogate(std::uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(std::uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

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

// Encodes `count` units, or up to the first zero when count is npos. An
// unpaired surrogate becomes U+FFFD, or ends the encoding (false) when
// `exact`.
bool Encode(const PendraxWideChar* wide, std::size_t count, bool exact, std::string& text) {
    for (std::size_t i = 0; i < count && (count != std::string::npos || wide[i] != 0); ++i) {
        std::uint32_t codePoint = static_cast<std::uint16_t>(wide[i]);
        const bool paired =
            i + 1 < count && IsLowSurrogate(static_cast<std::uint16_t>(wide[i + 1]));
        if (IsHighSurrogate(codePoint) && paired) {
            codePoint = 0x10000 + ((codePoint - 0xD800) << 10) +
                        (static_cast<std::uint16_t>(wide[++i]) - 0xDC00U);
        } else if (IsHighSurrogate(codePoint) || IsLowSurrogate(codePoint)) {
            if (exact) {
                return false;
            }
            codePoint = 0xFFFD;
        }
        AppendUtf8(text, codePoint);
    }
    return true;
}

}  // namespace

std::size_t DecodeUtf8(const std::string& text, std::size_t at, char32_t& character) {
    const auto lead = static_cast<unsigned char>(text[at]);
    std::uint32_t codePoint = 0;
    std::size_t length = 0;
    std::uint32_t minimum = 0;
    if (lead < 0x80) {
        codePoint = lead;
        length = 1;
    } else if ((lead & 0xE0) == 0xC0) {
        codePoint = lead & 0x1F;
        length = 2;
        minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        codePoint = lead & 0x0F;
        length = 3;
        minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        codePoint = lead & 0x07;
        length = 4;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (text.size() - at < length) {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[at + k]);
        if ((next & 0xC0) != 0x80) {
            return 0;
        }
        codePoint = (codePoint << 6) | (next & 0x3F);
    }
    if (codePoint < minimum || codePoint > 0x10FFFF || IsHighSurrogate(codePoint) ||
        IsLowSurrogate(codePoint)) {
        return 0;
    }
    character = codePoint;
    return length;
}

bool Utf8ToWide(const std::string& text, WidePath& wide) {
    wide.clear();
    std::size_t i = 0;
    while (i < text.size()) {
        char32_t character = 0;
        const std::size_t length = DecodeUtf8(text, i, character);
        if (length == 0) {
            return false;
        }
        std::uint32_t codePoint = character;
        if (codePoint >= 0x10000) {
            codePoint -= 0x10000;
            wide.push_back(static_cast<PendraxWideChar>(0xD800 + (codePoint >> 10)));
            wide.push_back(static_cast<PendraxWideChar>(0xDC00 + (codePoint & 0x3FF)));
        } else {
            wide.push_back(static_cast<PendraxWideChar>(codePoint));
        }
        i += length;
    }
    return true;
}

std::string WideToUtf8(const WidePath& wide) {
    std::string text;
    (void)Encode(wide.data(), wide.size(), false, text);
    return text;
}

bool ExactUtf8(const PendraxWideChar* wide, std::string& text) {
    text.clear();
    if (!Encode(wide, std::string::npos, true, text)) {
        text.clear();
        return false;
    }
    return true;
}

}  // namespace pendrax::text
