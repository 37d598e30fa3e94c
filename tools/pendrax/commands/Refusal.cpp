#include "commands/Refusal.h"
#include "Console.h"

#include <cstdio>

#include "Cli.h"
#include "PendraxWAVFlanger.h"

namespace pendrax_host {
namespace {

// A name that starts with '-' would be read as an option.
std::string NotAnOption(const std::string& name, Shell shell) {
    if (name.empty() || name[0] != '-') {
        return name;
    }
    return (shell == Shell::Cmd ? ".\\" : "./") + name;
}

std::string ConvertedName(const Arg& input, bool stream) {
    // A stream, or a name for one (/dev/stdin, /proc/self/fd/0), has no
    // folder to put a converted file beside.
    if (stream || input.text.rfind("/dev/", 0) == 0 || input.text.rfind("/proc/", 0) == 0) {
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

std::string ForShell(const std::string& text, Shell shell) {
    const char* plain = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_./:+,@\\";
    if (!text.empty() && text.find_first_not_of(plain) == std::string::npos &&
        (shell == Shell::Cmd || text.find('\\') == std::string::npos)) {
        return text;
    }
    if (shell == Shell::Cmd) {
        // cmd.exe takes everything between double quotes as one word, its
        // specials included; a Windows name never holds a double quote.
        return "\"" + text + "\"";
    }
    std::string quoted = "'";
    for (const char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

std::string SoxCommand(const Arg& input, bool stream, const std::string& soxType, Shell shell) {
    std::string source;
    if (IsStream(input)) {
        source = "-t " + soxType + " -";
    } else {
        source = (stream ? "-t " + soxType + " " : std::string()) +
                 ForShell(NotAnOption(input.text, shell), shell);
    }
    return "sox " + source + " -r " + std::to_string(PENDRAX_SAMPLE_RATE) +
           " -c 1 -b 16 -e signed-integer " +
           ForShell(NotAnOption(ConvertedName(input, stream), shell), shell);
}

int Refuse(const Arg& input, bool stream, const std::string& found, const std::string& soxType) {
    Say("pendrax: refusing %s: %s\n", InputName(input).c_str(), found.c_str());
    if (!soxType.empty()) {
        Say("pendrax: convert it first: %s\n",
            SoxCommand(input, stream, soxType, kHostShell).c_str());
    }
    Say("pendrax: or flange it as it is with --force: the flanger then copies its first %d "
        "bytes and takes every byte after them for 16-bit mono samples\n",
        PENDRAX_WAV_HEADER_BYTES);
    return kExitInputRefused;
}

void WarnOtherRate(const Arg& input, bool stream, unsigned sampleRate) {
    Say("pendrax: warning: %s is at %u Hz; the flanger's sweep assumes %d Hz, "
        "so it runs %.2f times as fast\n"
        "pendrax: to flange it at %d Hz, convert it first: %s\n",
        InputName(input).c_str(), sampleRate, PENDRAX_SAMPLE_RATE,
        static_cast<double>(sampleRate) / PENDRAX_SAMPLE_RATE, PENDRAX_SAMPLE_RATE,
        SoxCommand(input, stream, "wav", kHostShell).c_str());
}

}  // namespace pendrax_host
