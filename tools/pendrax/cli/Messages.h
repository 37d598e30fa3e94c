// The messages more than one command writes, each written here once. All go
// to standard error as "pendrax: ...".
#pragma once

#include <string>

#include "cli/Args.h"

namespace pendrax_host {

// Prints "pendrax: PROBLEM" and the pointer to the help; returns kExitUsage.
int UsageError(const std::string& problem);

// Says the path has no 16-bit form, with what to do ("rename the file");
// returns kExitUsage.
int PathNotUtf8(const Arg& path, const char* advice);

// "cannot VERB input NAME: REASON", VERB being "open" or "read".
void CannotInput(const char* verb, const Arg& input, const std::string& reason);

// How messages name a command's files: "standard input" or 'PATH'.
std::string InputName(const Arg& arg);
std::string OutputName(const Arg& arg);

// -q: no success or status lines (errors and warnings still print).
void SetQuiet(bool quiet);
bool Quiet();

}  // namespace pendrax_host
