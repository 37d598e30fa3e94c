// How the host prints a name (a path, an argument), the one way for every
// message: in single quotes, a quote inside as '\'', and control characters
// and bytes that are not UTF-8 outside the quotes as $'\n' or $'\377', so
// that no name can move the cursor, forge a line or garble the terminal,
// and the text can be pasted back into a shell.
#pragma once

#include <string>

namespace pendrax_host {

enum class Quotes { kAlways, kWhenNeeded };

// kWhenNeeded shows a name with nothing to escape as it is.
std::string QuoteName(const std::string& name, Quotes quotes = Quotes::kAlways);

}  // namespace pendrax_host
