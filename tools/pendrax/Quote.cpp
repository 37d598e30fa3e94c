#include "Quote.h"

#include <cstddef>

#include "Utf8.h"

namespace pendrax_host {
namespace {

// The length of the UTF-8 character at `at` that prints, or 0 for a control
// character or a byte that starts no such character.
std::size_t PrintableAt(const std::string& text, std::size_t at) {
    char32_t character = 0;
    const std::size_t length = DecodeUtf8(text, at, character);
    // C1 controls (U+0080 to U+009F) move a terminal as C0 ones do.
    const bool control = character < 0x20 || (character >= 0x7F && character <= 0x9F);
    return control ? 0 : length;
}

void AppendEscape(std::string& out, unsigned char byte) {
    out += '\\';
    if (byte >= '\a' && byte <= '\r') {  // \a \b \t \n \v \f \r, in that order
        out += "abtnvfr"[byte - '\a'];
        return;
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
