#include "commands/FlangeFailures.h"
#include "Console.h"

#include <cstdio>

#include "Cli.h"
#include "os/Probes.h"

namespace pendrax_host {

int ExplainOpenFailure(const Arg& input, bool inputStream, const Arg& output) {
    std::string reason;
    unsigned char byte = 0;
    std::size_t got = 0;
    bool opened = false;
    if (!inputStream && !ReadHead(input, &byte, 1, got, opened, reason)) {
        CannotInput(opened ? "read" : "open", input, reason);
        return kExitOpenFailed;
    }
    if (!inputStream && !IsStream(output) && SameFile(input, output)) {
        Say("pendrax: the output %s is the input file itself\n", OutputName(output).c_str());
        return kExitOpenFailed;
    }
    reason = IsStream(output) ? std::string() : WriteOpenFailure(output);
    Say("pendrax: cannot open output %s: %s\n", OutputName(output).c_str(),
        reason.empty() ? "the module could not open it" : reason.c_str());
    return kExitOpenFailed;
}

int ExplainIoFailure(const Arg& input, bool inputStream, const Arg& output,
                     const std::string& moduleReason) {
    std::string reason;
    if (!inputStream && !ReadsToEnd(input, reason)) {
        CannotInput("read", input, reason);
        return kExitIoFailed;
    }
    reason = IsStream(output) || IsOtherThanFile(output) ? std::string() : AppendFailure(output);
    if (reason.empty()) {
        reason = moduleReason.empty() ? "input/output error" : moduleReason;
    }
    Say("pendrax: writing %s failed: %s; it is incomplete\n", OutputName(output).c_str(),
        reason.c_str());
    return kExitIoFailed;
}

}  // namespace pendrax_host
