// What the host says of an input the check did not pass as it is: the
// refusal of one the flanger would misread, with the sox command that
// converts it when sox reads it, and the warning for another sample rate.
#pragma once

#include <string>

#include "Cli.h"

namespace pendrax_host {

// The shell a suggested command is quoted for.
enum class Shell { Posix, Cmd };

#if defined(_WIN32)
constexpr Shell kHostShell = Shell::Cmd;
#else
constexpr Shell kHostShell = Shell::Posix;
#endif

// One word for the shell, quoted when it needs it.
std::string ForShell(const std::string& text, Shell shell);

// The sox command that converts the input to what the flanger reads, for an
// input of sox's type `soxType`; `stream` when it cannot be read again by
// name (standard input, a pipe).
std::string SoxCommand(const Arg& input, bool stream, const std::string& soxType, Shell shell);

// Says why the input is refused (`found`) and, when sox reads its type
// (`soxType` not empty), how to convert it; returns kExitInputRefused.
int Refuse(const Arg& input, bool stream, const std::string& found, const std::string& soxType);

// Warns that the input's rate changes the sweep's timing.
void WarnOtherRate(const Arg& input, bool stream, unsigned sampleRate);

}  // namespace pendrax_host
