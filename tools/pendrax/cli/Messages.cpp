#include "cli/Messages.h"
#include "os/Console.h"

#include <cstdio>

#include "cli/ExitCodes.h"

namespace pendrax_host {
namespace {

bool quietly = false;

}  // namespace

void SetQuiet(bool quiet) { quietly = quiet; }

bool Quiet() { return quietly; }

int UsageError(const std::string& problem) {
    Say("pendrax: %s\nTry 'pendrax --help'.\n", problem.c_str());
    return kExitUsage;
}

int PathNotUtf8(const Arg& path, const char* advice) {
    Say("pendrax: the path '%s' is not valid UTF-8; %s\n", path.text.c_str(), advice);
    return kExitUsage;
}

void CannotInput(const char* verb, const Arg& input, const std::string& reason) {
    Say("pendrax: cannot %s input %s: %s\n", verb, InputName(input).c_str(), reason.c_str());
}

std::string InputName(const Arg& arg) {
    return IsStream(arg) ? "standard input" : "'" + arg.text + "'";
}

std::string OutputName(const Arg& arg) {
    return IsStream(arg) ? "standard output" : "'" + arg.text + "'";
}

}  // namespace pendrax_host
