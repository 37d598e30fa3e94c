// What the file flanger must write for an input: the reference kernel's
// output, for the suites that check the flange and its export.
#pragma once

#include "TestSupport.h"

namespace pendrax_test {

// The first 44 bytes (zero-padded), then the reference kernel over
// 1024-sample blocks with a running offset; a trailing odd byte dropped.
Bytes ExpectedFlangerOutput(const Bytes& input);

}  // namespace pendrax_test
