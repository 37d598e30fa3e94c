#include "commands/Refusal.h"

#include <cstdio>

#include "PendraxWAVFlanger.h"
#include "cli/ExitCodes.h"
#include "cli/Messages.h"

namespace pendrax_host {
namespace {

// Shell quoting for the suggested command, when the name needs it.
std::string ForShell(const std::string& text) {
    if (text.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"
                               "-_./:+,@") == std::string::npos) {
        return text;
    }
    std::string quoted = "'";
    for (const char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

std::string ConvertedName(const Arg& input) {
    if (IsStream(input)) {
        return "converted.wav";
    }
    const std::string& name = input.text;
    const std::size_t slash = name.find_last_of("/\\");
    const std::size_t dot = name.rfind('.');
    const bool hasExtension =
        dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return (hasExtension ? name.substr(0, dot) : name) + "-8000.wav";
}

}  // namespace

int Refuse(const Arg& input, const std::string& found) {
    std::fprintf(stderr, "pendrax: refusing %s: %s\n", InputName(input).c_str(), found.c_str());
    const std::string source = IsStream(input) ? std::string("-t wav -") : ForShell(input.text);
    std::fprintf(stderr,
                 "pendrax: convert it first: sox %s -r %d -c 1 -b 16 -e signed-integer %s\n"
                 "pendrax: or flange it as it is with --force\n",
                 source.c_str(), PENDRAX_SAMPLE_RATE, ForShell(ConvertedName(input)).c_str());
    return kExitInputRefused;
}

void WarnOtherRate(const Arg& input, unsigned sampleRate) {
    std::fprintf(stderr,
                 "pendrax: warning: %s is at %u Hz; the flanger's sweep assumes %d Hz, "
                 "so it runs %.2f times as fast\n",
                 InputName(input).c_str(), sampleRate, PENDRAX_SAMPLE_RATE,
                 static_cast<double>(sampleRate) / PENDRAX_SAMPLE_RATE);
}

}  // namespace pendrax_host
