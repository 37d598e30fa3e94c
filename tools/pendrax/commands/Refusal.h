// What the host says of an input the check did not pass as it is: the
// refusal of one the flanger would misread, with the sox command that
// converts it, and the warning for another sample rate.
#pragma once

#include <string>

#include "cli/Args.h"

namespace pendrax_host {

// Says why the input is refused (`found`) and how to convert it; returns
// kExitInputRefused.
int Refuse(const Arg& input, const std::string& found);

// Warns that the input's rate changes the sweep's timing.
void WarnOtherRate(const Arg& input, unsigned sampleRate);

}  // namespace pendrax_host
