// UTF-8 and the module's 16-bit wide paths (UTF-16), both ways: the one
// conversion the library, the host, the tests and the fuzzers share.
#pragma once

#include <cstddef>
#include <string>

#include "PendraxWAVFlanger.h"

namespace pendrax::text {

using WidePath = std::basic_string<PendraxWideChar>;

// The strict UTF-8 character at `at` (before the end): its length, or 0
// when the bytes there are not one (no overlong forms, no encoded
// surrogates, nothing above U+10FFFF).
std::size_t DecodeUtf8(const std::string& text, std::size_t at, char32_t& character);

// Decodes strict UTF-8 into UTF-16. Returns false when the text is not valid
// UTF-8 and so has no 16-bit form.
bool Utf8ToWide(const std::string& text, WidePath& wide);

// Encodes UTF-16 as UTF-8 for messages; an unpaired surrogate becomes U+FFFD.
std::string WideToUtf8(const WidePath& wide);

// Encodes a null-terminated UTF-16 string as its exact UTF-8 form. Returns
// false, with `text` empty, at an unpaired surrogate, which has none.
bool ExactUtf8(const PendraxWideChar* wide, std::string& text);

}  // namespace pendrax::text
