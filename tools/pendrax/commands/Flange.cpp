// pendrax flange [--force] IN OUT
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <string>

#include "PendraxWAVFlanger.h"
#include "cli/ExitCodes.h"
#include "cli/Help.h"
#include "cli/Messages.h"
#include "cli/OptionScanner.h"
#include "commands/Commands.h"
#include "commands/FlangeFailures.h"
#include "commands/Refusal.h"
#include "os/Io.h"
#include "os/Probes.h"
#include "os/StdStreams.h"
#include "wav/WavCheck.h"

namespace pendrax_host {
namespace {

// Enough of a file to see a format chunk behind a few extra chunks.
constexpr std::size_t kFileHeadBytes = 4096;

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
        return PathNotUtf8(**invalid, "rename the file");
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
        CannotInput(opened ? "read" : "open", input, reason);
        return kExitOpenFailed;
    }
    const WavCheck check = CheckWavHeader(head, got);
    if (!force && check.verdict == Verdict::Refused) {
        return Refuse(input, check.found);
    }
    if (!force && check.verdict == Verdict::Warned) {
        WarnOtherRate(input, check.sampleRate);
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
