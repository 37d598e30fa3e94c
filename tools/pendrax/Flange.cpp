// pendrax flange [--force] IN OUT
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <string>

#include "Commands.h"
#include "PendraxWAVFlanger.h"
#include "WavCheck.h"

namespace pendrax_host {
namespace {

// Enough of a file to see a format chunk behind a few extra chunks.
constexpr std::size_t kFileHeadBytes = 4096;

bool IsStream(const Arg& arg) { return arg.text == "-"; }

std::string InputName(const Arg& arg) {
    return IsStream(arg) ? "standard input" : "'" + arg.text + "'";
}

std::string OutputName(const Arg& arg) {
    return IsStream(arg) ? "standard output" : "'" + arg.text + "'";
}

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

int Refuse(const Arg& input, const std::string& found) {
    std::fprintf(stderr, "pendrax: refusing %s: %s\n", InputName(input).c_str(), found.c_str());
    const std::string source = IsStream(input) ? std::string("-t wav -") : ForShell(input.text);
    std::fprintf(stderr,
                 "pendrax: convert it first: sox %s -r %d -c 1 -b 16 -e signed-integer %s\n"
                 "pendrax: or flange it as it is with --force\n",
                 source.c_str(), PENDRAX_SAMPLE_RATE, ForShell(ConvertedName(input)).c_str());
    return kExitRefused;
}

// Why the module could not open a file, found by trying it here.
int ExplainOpenFailure(const Arg& input, const Arg& output) {
    std::string reason;
    unsigned char byte = 0;
    std::size_t got = 0;
    bool opened = false;
    if (!IsStream(input) && !ReadHead(input, &byte, 1, got, opened, reason)) {
        std::fprintf(stderr, "pendrax: cannot %s input %s: %s\n", opened ? "read" : "open",
                     InputName(input).c_str(), reason.c_str());
        return kExitOpenFailed;
    }
    if (!IsStream(input) && !IsStream(output) && SameFile(input, output)) {
        std::fprintf(stderr, "pendrax: the output %s is the input file itself\n",
                     OutputName(output).c_str());
        return kExitOpenFailed;
    }
    reason = IsStream(output) ? std::string() : WriteOpenFailure(output);
    std::fprintf(stderr, "pendrax: cannot open output %s: %s\n", OutputName(output).c_str(),
                 reason.empty() ? "the module could not open it" : reason.c_str());
    return kExitOpenFailed;
}

// Why reading or writing failed: the input is read through once more, and
// one byte is tried at the output's end.
int ExplainIoFailure(const Arg& input, const Arg& output, const std::string& moduleReason) {
    std::string reason;
    if (!IsStream(input) && !ReadsToEnd(input, reason)) {
        std::fprintf(stderr, "pendrax: cannot read input %s: %s\n", InputName(input).c_str(),
                     reason.c_str());
        return kExitIoFailed;
    }
    reason = IsStream(output) ? std::string() : AppendFailure(output);
    if (reason.empty()) {
        reason = moduleReason.empty() ? "input/output error" : moduleReason;
    }
    std::fprintf(stderr, "pendrax: writing %s failed: %s; it is incomplete\n",
                 OutputName(output).c_str(), reason.c_str());
    return kExitIoFailed;
}

}  // namespace

int RunFlange(const Args& args) {
    bool force = false;
    const Arg* paths[2] = {nullptr, nullptr};
    int operands = 0;
    OptionScanner scan(args);
    while (scan.Next()) {
        if (scan.Is("-h", "--help")) {
            PrintHelp("flange", stdout);
            return kExitSuccess;
        }
        if (scan.Is(nullptr, "--force")) {
            force = true;
        } else if (scan.IsOption()) {
            return UsageError("flange: unknown option '" + scan.Name() + "'");
        } else if (operands == 2) {
            return UsageError("flange: extra argument '" + scan.Operand().text + "'");
        } else {
            paths[operands++] = &scan.Operand();
        }
    }
    if (operands < 2) {
        return UsageError(operands == 0 ? "flange: missing IN and OUT" : "flange: missing OUT");
    }
    Arg input = *paths[0];
    Arg output = *paths[1];
    const auto invalid = std::find_if(std::begin(paths), std::end(paths),
                                      [](const Arg* arg) { return !arg->valid; });
    if (invalid != std::end(paths)) {
        std::fprintf(stderr, "pendrax: the path '%s' is not valid UTF-8; rename the file\n",
                     (*invalid)->text.c_str());
        return kExitUsage;
    }

    // The check reads what the module will read first: the file's head, or
    // the stream's 44 header bytes, which then go on to the module.
    unsigned char head[kFileHeadBytes] = {};
    std::size_t got = 0;
    std::string reason;
    const bool fromStdin = IsStream(input);
    bool opened = true;
    const bool read = fromStdin ? ReadStdinHead(head, PENDRAX_WAV_HEADER_BYTES, got, reason)
                                : ReadHead(input, head, sizeof head, got, opened, reason);
    // Unchecked, the module meets any failure itself and the host explains it.
    if (!read && !force) {
        std::fprintf(stderr, "pendrax: cannot %s input %s: %s\n", opened ? "read" : "open",
                     InputName(input).c_str(), reason.c_str());
        return kExitOpenFailed;
    }
    const WavCheck check = CheckWavHeader(head, got);
    if (!force && check.verdict == Verdict::Refused) {
        return Refuse(input, check.found);
    }
    if (!force && check.verdict == Verdict::Warned) {
        std::fprintf(stderr,
                     "pendrax: warning: %s is at %u Hz; the flanger's sweep assumes %d Hz, "
                     "so it runs %.2f times as fast\n",
                     InputName(input).c_str(), check.sampleRate, PENDRAX_SAMPLE_RATE,
                     static_cast<double>(check.sampleRate) / PENDRAX_SAMPLE_RATE);
    }
    const unsigned byteRate =
        check.byteRate != 0 ? check.byteRate : unsigned{PENDRAX_SAMPLE_RATE} * 2;

    StdinFeed feed;
    StdoutSink sink;
    Arg moduleInput = input;
    Arg moduleOutput = output;
    if (fromStdin && !feed.Begin(head, got, moduleInput, reason)) {
        std::fprintf(stderr, "pendrax: cannot pass standard input on: %s\n", reason.c_str());
        return kExitOpenFailed;
    }
    if (IsStream(output) && !sink.Begin(moduleOutput, reason)) {
        std::fprintf(stderr, "pendrax: cannot use standard output: %s\n", reason.c_str());
        return kExitOpenFailed;
    }
    errno = 0;
    const int result = WAVFlanger(moduleInput.wide.c_str(), moduleOutput.wide.c_str());
    // Kept before anything else can change it: the fallback reason for a
    // write failure the host cannot reproduce (a pipe closed early).
    const std::string moduleReason = errno != 0 ? LastError() : std::string();
    (void)std::fflush(stdout);
    const bool delivered = sink.Finish(reason);
    const std::int64_t streamed = feed.Finish();

    if (result == PENDRAX_FLANGER_OPEN_FAILED) {
        return ExplainOpenFailure(input, output);
    }
    if (result != PENDRAX_SUCCESS) {
        return ExplainIoFailure(input, output, moduleReason);
    }
    if (!delivered) {
        std::fprintf(stderr, "pendrax: writing standard output failed: %s\n", reason.c_str());
        return kExitIoFailed;
    }
    const std::int64_t bytes = fromStdin ? streamed : FileSize(input);
    const std::int64_t data =
        bytes > PENDRAX_WAV_HEADER_BYTES ? bytes - PENDRAX_WAV_HEADER_BYTES : 0;
    std::fprintf(stderr, "pendrax: wrote %s (%.1f s)\n",
                 IsStream(output) ? "standard output" : output.text.c_str(),
                 static_cast<double>(data) / byteRate);
    return kExitSuccess;
}

}  // namespace pendrax_host
