// pendrax flange [-q] [--force] IN OUT
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <string>

#include "Cli.h"
#include "Console.h"
#include "PendraxWAVFlanger.h"
#include "commands/Commands.h"
#include "commands/FlangeFailures.h"
#include "commands/FlangeInput.h"
#include "os/Io.h"
#include "os/ModuleLine.h"
#include "os/OutputFile.h"
#include "os/Probes.h"
#include "os/Signals.h"
#include "os/StdStreams.h"
#include "wav/WavSizes.h"

namespace pendrax_host {
namespace {

constexpr std::int64_t kHeader = PENDRAX_WAV_HEADER_BYTES;

// Gives a written file the sizes of the samples it holds, when its header
// says otherwise. Returns those samples' bytes.
std::int64_t MendOutput(const Arg& output) {
    unsigned char header[PENDRAX_WAV_HEADER_BYTES] = {};
    std::size_t got = 0;
    bool opened = false;
    std::string reason;
    const std::int64_t length = FileSize(output);
    const std::int64_t data = length > kHeader ? (length - kHeader) & ~std::int64_t{1} : 0;
    if (!ReadHead(output, header, sizeof header, got, opened, reason) || got < sizeof header ||
        CheckSizes(header, length).found.empty()) {
        return data;
    }
    SetSizes(header, static_cast<std::uint64_t>(data));
    if (!WriteAtStart(output, header, sizeof header, reason)) {
        Say("pendrax: warning: cannot mend the sizes in %s: %s\n", OutputName(output).c_str(),
            reason.c_str());
    }
    return data;
}

}  // namespace

int RunFlange(const Args& args) {
    bool force = false;
    const Arg* paths[2] = {nullptr, nullptr};
    int operands = 0;
    OptionScanner scan(args,
                       {{0, "--force", false}, {'h', "--help", false}, {'q', "--quiet", false}});
    while (scan.Next()) {
        if (!scan.Problem().empty()) {
            return UsageError("flange: " + scan.Problem());
        }
        if (scan.Is("--help")) {
            PrintHelp("flange");
            return kExitSuccess;
        }
        if (scan.Is("--force")) {
            force = true;
        } else if (scan.Is("--quiet")) {
            SetQuiet(true);
        } else if (operands == 2) {
            return UsageError("flange: extra argument '" + scan.Operand().text + "'");
        } else {
            paths[operands++] = &scan.Operand();
        }
    }
    if (operands < 2) {
        return UsageError(operands == 0 ? "flange: missing IN and OUT" : "flange: missing OUT");
    }
    const Arg input = *paths[0];
    const Arg output = *paths[1];
    const auto invalid = std::find_if(std::begin(paths), std::end(paths),
                                      [](const Arg* arg) { return !arg->valid; });
    if (invalid != std::end(paths)) {
        return PathNotUtf8(**invalid, "rename the file");
    }

    StreamSource source;
    FlangeInput in;
    const int prepared = PrepareInput(input, force, source, in);
    if (prepared != kExitSuccess) {
        return prepared;
    }
    StreamFeed feed;
    StdoutSink sink;
    Arg moduleInput = input;
    Arg moduleOutput = output;
    std::string reason;
    if (in.feed && !feed.Begin(source, in.head, in.got, in.limit, moduleInput, reason)) {
        Say("pendrax: cannot pass %s on: %s\n", InputName(input).c_str(), reason.c_str());
        return kExitOpenFailed;
    }
    if (IsStream(output) && !sink.Begin(moduleOutput, reason)) {
        Say("pendrax: cannot use standard output: %s\n", reason.c_str());
        return kExitOpenFailed;
    }
    const bool fileOutput = !IsStream(output) && !IsOtherThanFile(output);
    InstallFlangeInterrupt(output, fileOutput);
    ModuleLine line;
    line.Begin();
    errno = 0;
    const int result = WAVFlanger(moduleInput.wide.c_str(), moduleOutput.wide.c_str());
    // Kept before anything else can change it: the fallback reason for a
    // write failure the host cannot reproduce (a pipe closed early).
    const int moduleErrno = errno;
    const std::string moduleReason = errno != 0 ? LastError() : std::string();
    const std::string moduleLine = line.Finish();
    const bool delivered = sink.Finish(reason);
    const StreamFeed::Result fed = feed.Finish();
    const bool pipeClosed =
        (result == PENDRAX_FLANGER_IO_FAILED && moduleErrno == EPIPE) || sink.ReaderGone();
    if (!Quiet() && !pipeClosed) {
        WriteText(IsStream(output) ? stderr : stdout, moduleLine);
    }

    if (result == PENDRAX_FLANGER_OPEN_FAILED) {
        (void)EndFlangeInterrupt();
        return ExplainOpenFailure(input, in.stream, output);
    }
    if (pipeClosed) {
        (void)EndFlangeInterrupt();
        return kExitBrokenPipe;  // the reader wanted no more: quietly, as SIGPIPE would
    }
    if (result != PENDRAX_SUCCESS) {
        (void)EndFlangeInterrupt();
        return ExplainIoFailure(input, in.stream, output, moduleReason);
    }
    if (!delivered) {
        (void)EndFlangeInterrupt();
        Say("pendrax: writing standard output failed: %s\n", reason.c_str());
        return kExitIoFailed;
    }
    if (!force && in.stream) {
        WarnStreamEnd(input, in, fed);
    }
    const std::int64_t passed = in.feed ? fed.passed : FileSize(input);
    std::int64_t written = passed > kHeader ? (passed - kHeader) & ~std::int64_t{1} : 0;
    // A file's header was mended on the way in; a stream's sizes show only now.
    if (fileOutput && !force &&
        (in.sizesUnknown || fed.leftOut > 0 || (in.limit >= 0 && fed.passed < in.limit))) {
        written = MendOutput(output);
    }
    const int interrupted = EndFlangeInterrupt();
    if (interrupted != 0) {
        return interrupted;
    }
    // What a reader of the output will find, which --force may make less.
    const auto readable = force ? ReadableBytes(in.head, static_cast<std::uint64_t>(written))
                                : static_cast<std::uint64_t>(written);
    if (!Quiet()) {
        Say("pendrax: wrote %s (%.1f s)\n",
            IsStream(output) ? "standard output" : output.text.c_str(),
            static_cast<double>(readable) / in.byteRate);
    }
    return kExitSuccess;
}

}  // namespace pendrax_host
