// pendrax flange: opens IN and OUT itself ('-' is the descriptor it was
// given, never reopened by name), checks IN with the core's header walk,
// flanges with the core, and replaces OUT only with a finished flange.
#include "FlangeCommand.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "Check.h"
#include "Flange.h"
#include "Os.h"
#include "Output.h"
#include "Quote.h"
#include "WavHeader.h"

namespace pendrax_host {
namespace {

namespace io = pendrax::io;
namespace platform = pendrax::platform;
namespace wav = pendrax::wav;

// The input as the core reads it: the bytes the check read first (their
// header perhaps mended), then the rest, up to `limit` bytes in all; what
// lies past the limit is left for Drain.
class CheckedSource final : public io::Source {
public:
    CheckedSource(io::Source& rest, const unsigned char* head, std::size_t count,
                  std::uint64_t limit)
        : rest_(rest), head_(head), count_(count), limit_(limit) {}

    io::Transfer Read(void* data, std::size_t size) override {
        io::Transfer done;
        auto* bytes = static_cast<unsigned char*>(data);
        if (passed_ < count_) {
            done.bytes = std::min<std::size_t>(size, count_ - passed_);
            std::memcpy(bytes, head_ + passed_, done.bytes);
            passed_ += done.bytes;
        }
        const std::uint64_t room = limit_ - std::min(limit_, passed_);
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(size - done.bytes, room));
        if (want > 0) {
            const io::Transfer more = rest_.Read(bytes + done.bytes, want);
            done.bytes += more.bytes;
            done.error = more.error;
            passed_ += more.bytes;
        }
        return done;
    }

    std::uint64_t Passed() const { return passed_; }

    // Reads what follows the limit, keeping its first bytes; returns its length.
    std::uint64_t Drain(unsigned char (&first)[12]) {
        std::uint64_t leftOut = 0;
        unsigned char buffer[4096];
        for (;;) {
            const io::Transfer got = rest_.Read(buffer, sizeof buffer);
            if (leftOut < sizeof first) {
                std::memcpy(first + leftOut, buffer,
                            std::min<std::size_t>(got.bytes, sizeof first - leftOut));
            }
            leftOut += got.bytes;
            if (got.bytes < sizeof buffer) {
                return leftOut;
            }
        }
    }

private:
    io::Source& rest_;
    const unsigned char* head_;
    std::size_t count_;
    std::uint64_t limit_;
    std::uint64_t passed_ = 0;
};

// "3.0", "0.62", "268435.45": seconds to the hundredth, never rounded up
// past what a reader finds.
std::string Seconds(double seconds) {
    char text[32];
    (void)std::snprintf(text, sizeof text, "%.2f", std::floor(seconds * 100.0) / 100.0);
    std::string shown = text;
    if (shown.back() == '0') {
        shown.pop_back();
    }
    return shown;
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
            return UsageError("flange: extra argument " + QuoteName(scan.Operand().text));
        } else {
            paths[operands++] = &scan.Operand();
        }
    }
    if (operands < 2) {
        return UsageError(operands == 0 ? "flange: missing IN and OUT" : "flange: missing OUT");
    }
    const Arg& input = *paths[0];
    const Arg& output = *paths[1];

    platform::FileSource source;
    if (IsStream(input)) {
        source = platform::StandardInput();
    } else if (const io::OsError error = platform::OpenSource(NameOf(input), source)) {
        CannotInput("open", input, ErrorText(error));
        return kExitOpenFailed;
    }
    std::uint64_t length = wav::kUnknownLength;
    const bool stream = !source.Length(length);
    unsigned char head[wav::kWalkBytes] = {};
    const io::Transfer got = source.Read(head, sizeof head);
    if (got.error != 0) {
        CannotInput("read", input, ErrorText(got.error));
        return kExitIoFailed;
    }
    CheckedInput checked;
    if (!force) {
        // A file with bytes after its data is refused by name: read them.
        const wav::HeaderWalk walk = wav::WalkHeader(head, got.bytes);
        const wav::SizeCheck sizes = wav::CheckSizes(walk, length);
        unsigned char trailer[12] = {};
        const std::size_t trailerCount =
            sizes.state == wav::SizeState::kTrailing
                ? source.ReadAt(sizes.trailingAt, trailer, sizeof trailer).bytes
                : 0;
        const int verdict =
            CheckInput(input, stream, head, got.bytes, length, trailer, trailerCount, checked);
        if (verdict != kExitSuccess) {
            return verdict;
        }
    }

    Output out;
    out.endOnStop = true;
    out.allowLinks = force;
    if (out.Open(output) != Output::Opened::kOpened) {
        return kExitOpenFailed;
    }
    if (platform::SameFile(source.Stream().File(), out.File())) {
        Say("pendrax: the output %s is the input file itself; it is left as it was\n",
            OutputName(output).c_str());
        return kExitOpenFailed;
    }
    const std::string left = OutputName(output) + " was left as it was";
    EndFlangeOnSignal(
        out.Replacing() ? out.Temporary() : FileName(), out.Created() ? NameOf(output) : FileName(),
        "pendrax: interrupted; " +
            (out.Replacing() ? left : std::string("the output is incomplete")) + "\n");

    CheckedSource checkedSource(source, head, got.bytes, force ? ~std::uint64_t{0} : checked.limit);
    const pendrax::FlangeResult result = pendrax::Flange(checkedSource, out);
    const std::uint64_t written =
        result.bytesWritten > wav::kWavHeaderBytes ? result.bytesWritten - wav::kWavHeaderBytes : 0;
    // A stream's sizes show only now; a file's OUT gets them when it can.
    if (result.failed == pendrax::FailedSide::kNone && !force && stream && out.Seekable()) {
        MendSizes(head, written & ~std::uint64_t{1});
        (void)out.WriteAt(0, head, wav::kWavHeaderBytes);
    }
    // A stream is read to its end before OUT changes: what follows the data
    // is left out, and an interrupt meanwhile still leaves OUT as it was.
    unsigned char after[12] = {};
    const std::uint64_t leftOut = !force && stream && result.failed == pendrax::FailedSide::kNone
                                      ? checkedSource.Drain(after)
                                      : 0;
    if (StopRequested()) {
        out.Abandon();
        Say("pendrax: interrupted; %s\n", left.c_str());
        StopDone();
        return StopStatus();
    }
    if (result.failed == pendrax::FailedSide::kOutput && IsBrokenPipe(result.error)) {
        return kExitBrokenPipe;  // the reader wanted no more: quietly, as SIGPIPE would
    }
    if (result.failed != pendrax::FailedSide::kNone) {
        out.Abandon();
        const bool reading = result.failed == pendrax::FailedSide::kInput;
        Say("pendrax: %s %s failed: %s%s\n", reading ? "reading" : "writing",
            (reading ? InputName(input) : OutputName(output)).c_str(),
            ErrorText(result.error).c_str(), out.Replacing() ? ("; " + left).c_str() : "");
        return kExitIoFailed;
    }
    HoldFlangeSignals(true);
    if (!out.Commit()) {
        HoldFlangeSignals(false);
        return kExitIoFailed;
    }
    FlangeCommitted();
    if (!force && stream) {
        WarnStreamEnd(input, checked, checkedSource.Passed(), leftOut, after, sizeof after);
    }
    if (!Quiet()) {
        // What a reader of the output will find, which a forced header may make less.
        const wav::HeaderWalk made = wav::WalkHeader(head, wav::kWavHeaderBytes);
        const std::uint32_t byteRate =
            made.format.byteRate != 0 ? made.format.byteRate : wav::kSampleRate * 2;
        Say("pendrax: wrote %s (%s s)\n",
            IsStream(output) ? "standard output"
                             : QuoteName(output.text, Quotes::kWhenNeeded).c_str(),
            Seconds(static_cast<double>(wav::ReadableBytes(made, written)) / byteRate).c_str());
    }
    return kExitSuccess;
}

}  // namespace pendrax_host
