#include "Quote.h"

#include <cstddef>

namespace pendrax_host {
namespace {

// The length of the well-formed UTF-8 character at `at` that prints, or 0
// for a control character or a byte that starts no such character.
std::size_t PrintableAt(const std::string& text, std::size_t at) {
    const auto byte = [&text](std::size_t index) {
        return index < text.size() ? static_cast<unsigned char>(text[index]) : 0U;
    };
    const unsigned lead = byte(at);
    if (lead < 0x80U) {
        return lead >= 0x20U && lead != 0x7FU ? 1 : 0;
    }
    const std::size_t length = lead >= 0xF0U ? 4 : lead >= 0xE0U ? 3 : lead >= 0xC2U ? 2 : 0;
    if (length == 0 || lead > 0xF4U) {
        return 0;
    }
    unsigned long character = lead & (0x7FU >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0U) != 0x80U) {
            return 0;
        }
        character = (character << 6) | (byte(at + i) & 0x3FU);
    }
    const unsigned long least[] = {0, 0, 0x80, 0x800, 0x10000};
    const bool valid = character >= least[length] && character <= 0x10FFFF &&
                       (character < 0xD800 || character > 0xDFFF);
    // C1 controls (U+0080 to U+009F) move a terminal as C0 ones do.
    return valid && (character < 0x80 || character > 0x9F) ? length : 0;
}

void AppendEscape(std::string& out, unsigned char byte) {
    static const struct {
        unsigned char byte;
        char letter;
    } kNamed[] = {{'\a', 'a'}, {'\b', 'b'}, {'\t', 't'}, {'\n', 'n'},
                  {'\v', 'v'}, {'\f', 'f'}, {'\r', 'r'}};
    out += '\\';
    for (const auto& named : kNamed) {
        if (named.byte == byte) {
            out += named.letter;
            return;
        }
    }
    out += static_cast<char>('0' + ((byte >> 6) & 7U));
    out += static_cast<char>('0' + ((byte >> 3) & 7U));
    out += static_cast<char>('0' + (byte & 7U));
}

}  // namespace

std::string QuoteName(const std::string& name, Quotes quotes) {
    bool plain = true;
    for (std::size_t at = 0; at < name.size() && plain;) {
        const std::size_t length = PrintableAt(name, at);
        plain = length > 0;
        at += length;
    }
    if (plain && quotes == Quotes::kWhenNeeded) {
        return name;
    }
    std::string out;
    bool quoted = false;   // inside '...'
    bool escaped = false;  // inside $'...'
    for (std::size_t at = 0; at < name.size();) {
        const std::size_t length = PrintableAt(name, at);
        if (length == 0) {
            out += quoted ? "'$'" : escaped ? "" : "$'";
            quoted = false;
            escaped = true;
            AppendEscape(out, static_cast<unsigned char>(name[at++]));
            continue;
        }
        out += escaped ? "''" : quoted ? "" : "'";
        escaped = false;
        quoted = true;
        out += name[at] == '\'' ? std::string("'\\''") : name.substr(at, length);
        at += length;
    }
    if (out.empty()) {
        return "''";
    }
    return out + "'";
}

}  // namespace pendrax_host
