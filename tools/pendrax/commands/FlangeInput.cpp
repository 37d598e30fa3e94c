#include "commands/FlangeInput.h"
#include "Console.h"

#include <cstdio>
#include <string>

#include "Cli.h"
#include "PendraxWAVFlanger.h"
#include "commands/Refusal.h"
#include "os/Probes.h"
#include "wav/WavSizes.h"

namespace pendrax_host {
namespace {

constexpr std::size_t kHeader = PENDRAX_WAV_HEADER_BYTES;

bool ReadInputHead(const Arg& input, StreamSource& source, FlangeInput& in, bool& opened,
                   std::string& reason) {
    if (!in.stream) {
        return ReadHead(input, in.head, sizeof in.head, in.got, opened, reason);
    }
    opened = source.Open(input, reason);
    return opened && source.Read(in.head, sizeof in.head, in.got, reason);
}

// What follows the data chunk of a file, named.
std::string Trailing(const Arg& input, std::int64_t at, std::int64_t length) {
    unsigned char bytes[12] = {};
    std::size_t got = 0;
    (void)ReadAt(input, at, bytes, sizeof bytes, got);
    return DescribeTrailing(bytes, got, length - at);
}

}  // namespace

int PrepareInput(const Arg& input, bool force, StreamSource& source, FlangeInput& in) {
    in.stream = IsStream(input) || !IsRegularFile(input);
    in.feed = in.stream;
    bool opened = true;
    std::string reason;
    if (!ReadInputHead(input, source, in, opened, reason)) {
        if (force && !in.stream) {
            in.got = 0;  // unchecked, the module meets the failure and the host explains it
        } else {
            CannotInput(opened ? "read" : "open", input, reason);
            return kExitOpenFailed;
        }
    }
    const WavCheck check = CheckWavHeader(in.head, in.got);
    in.byteRate = check.byteRate != 0 ? check.byteRate : unsigned{PENDRAX_SAMPLE_RATE} * 2;
    if (force) {
        return kExitSuccess;
    }
    if (check.verdict == Verdict::Refused) {
        return Refuse(input, in.stream, check.found, check.soxType);
    }
    const std::int64_t length = in.stream ? -1 : FileSize(input);
    const SizeCheck sizes = CheckSizes(in.head, length);
    if (sizes.trailingAt >= 0) {
        return Refuse(input, false,
                      check.found + ": " + Trailing(input, sizes.trailingAt, length) +
                          " after the data, which the flanger would take for samples",
                      "wav");
    }
    if (check.verdict == Verdict::Warned) {
        WarnOtherRate(input, in.stream, check.sampleRate);
    }
    if (!sizes.found.empty()) {
        Say("pendrax: warning: %s: %s; the output's header is mended\n", InputName(input).c_str(),
            sizes.found.c_str());
    }
    if (in.stream) {
        // The data chunk's end is the feed's: what follows is kept out.
        in.limit = sizes.realSize ? static_cast<std::int64_t>(kHeader + sizes.dataSize) : -1;
        in.sizesUnknown = !sizes.realSize;
        if (sizes.dataSize == 0) {
            SetStreamSizes(in.head);  // read to the end, not as empty
        }
    } else if (!sizes.found.empty()) {
        // The module copies the header it reads: it reads a mended one.
        std::string ignored;
        std::size_t again = 0;
        if (!source.Open(input, reason) || !source.Read(in.head, in.got, again, ignored)) {
            CannotInput("read", input, reason);
            return kExitOpenFailed;
        }
        SetSizes(in.head, static_cast<std::uint64_t>(length - static_cast<std::int64_t>(kHeader)) &
                              ~std::uint64_t{1});
        in.feed = true;
    }
    return kExitSuccess;
}

void WarnStreamEnd(const Arg& input, const FlangeInput& in, const StreamFeed::Result& fed) {
    if (in.limit >= 0 && fed.passed < in.limit) {
        Say("pendrax: warning: %s: its header gives %lld bytes of samples, but it held "
            "only %lld: it was cut short\n",
            InputName(input).c_str(), static_cast<long long>(in.limit - kHeader),
            static_cast<long long>(fed.passed > static_cast<std::int64_t>(kHeader)
                                       ? fed.passed - static_cast<std::int64_t>(kHeader)
                                       : 0));
    }
    if (fed.leftOut > 0) {
        Say("pendrax: warning: %s: %s after the data was left out\n", InputName(input).c_str(),
            DescribeTrailing(fed.leftHead, sizeof fed.leftHead, fed.leftOut).c_str());
    }
}

}  // namespace pendrax_host
