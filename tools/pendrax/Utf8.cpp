#include "Utf8.h"

#include <cstdint>

namespace pendrax_host {

bool Utf8ToWide(const std::string& text, WidePath& wide) {
    wide.clear();
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
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
            return false;
        }
        if (text.size() - i < length) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            codePoint = (codePoint << 6) | (next & 0x3F);
        }
        if (codePoint < minimum || codePoint > 0x10FFFF ||
            (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
            return false;
        }
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

}  // namespace pendrax_host
