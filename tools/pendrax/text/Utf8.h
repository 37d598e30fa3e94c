// UTF-8 command-line arguments to the module's 16-bit wide paths.
#pragma once

#include <string>

#include "PendraxWAVFlanger.h"

namespace pendrax_host {

using WidePath = std::basic_string<PendraxWideChar>;

// Decodes strict UTF-8 (no overlong forms, no encoded surrogates, nothing
// above U+10FFFF) into UTF-16. Returns false when the text is not valid
// UTF-8 and so has no 16-bit form.
bool Utf8ToWide(const std::string& text, WidePath& wide);

// The strict UTF-8 character at `at` (before the end): its length, or 0
// when the bytes there are not one.
std::size_t DecodeUtf8(const std::string& text, std::size_t at, char32_t& character);

// Encodes UTF-16 as UTF-8 for messages; an unpaired surrogate becomes U+FFFD.
std::string WideToUtf8(const WidePath& wide);

}  // namespace pendrax_host
