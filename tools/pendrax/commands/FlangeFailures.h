// What the host says when the module's flange fails: the reason is found by
// trying the files here, since the module gives only its result code.
#pragma once

#include <string>

#include "Cli.h"

namespace pendrax_host {

// Why the module could not open a file, found by trying it here (a stream
// input, `inputStream`, is not tried again); returns kExitOpenFailed.
int ExplainOpenFailure(const Arg& input, bool inputStream, const Arg& output);

// Why reading or writing failed: the input is read through once more, and
// one byte is tried at the output's end; `moduleReason` is the fallback.
// A stream input (`inputStream`) cannot be read again. Returns kExitIoFailed.
int ExplainIoFailure(const Arg& input, bool inputStream, const Arg& output,
                     const std::string& moduleReason);

}  // namespace pendrax_host
