// The command line as the host sees it.
#pragma once

#include <string>
#include <vector>

#include "Utf8.h"

namespace pendrax_host {

// One command-line argument: its UTF-8 text for messages and options, and
// its 16-bit form for the module (valid is false when it has none).
struct Arg {
    std::string text;
    WidePath wide;
    bool valid = true;
};

using Args = std::vector<Arg>;

// "-": standard input or output, by its place on the command line.
inline bool IsStream(const Arg& arg) { return arg.text == "-"; }

}  // namespace pendrax_host
