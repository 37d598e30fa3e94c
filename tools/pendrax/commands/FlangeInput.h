// The flange's input before the module sees it: read once when it is a
// stream, checked (format, sizes, what follows the data) unless forced,
// and its header mended when its sizes are wrong.
#pragma once

#include <cstddef>
#include <cstdint>

#include "Cli.h"
#include "os/StdStreams.h"
#include "wav/WavCheck.h"

namespace pendrax_host {

struct FlangeInput {
    bool stream = false;                   // read once, through a feed
    bool feed = false;                     // the module reads a feed rather than the path
    std::int64_t limit = -1;               // the feed's end: the data chunk's, when known
    bool sizesUnknown = false;             // a stream without real sizes: OUT's are set after
    unsigned byteRate = 0;                 // for the duration
    unsigned char head[kCheckBytes] = {};  // what the feed passes first
    std::size_t got = 0;
};

// Reads and judges the input. Returns kExitSuccess to go on, else the exit
// status of a refusal or a failure, its message printed.
int PrepareInput(const Arg& input, bool force, StreamSource& source, FlangeInput& in);

// Warns of what a stream showed only at its end: a body cut short, or what
// followed its data and was left out.
void WarnStreamEnd(const Arg& input, const FlangeInput& in, const StreamFeed::Result& fed);

}  // namespace pendrax_host
