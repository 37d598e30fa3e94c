// pendrax record [-q] [-D DEVICE] [--seconds N] OUT
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Cli.h"
#include "Console.h"
#include "Os.h"
#include "PendraxWAVFlanger.h"
#include "RecordCommand.h"
#include "record/Session.h"
#include "record/StopPolicy.h"

namespace pendrax_host {
namespace {

bool ParseSeconds(const std::string& text, long& seconds) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || text.empty() || *end != '\0' || value < 1 || value > PENDRAX_MAX_BLOCKS) {
        return false;
    }
    seconds = value;
    return true;
}

// How far the blocks kept may fall short of the time before a stall's stop
// when only the file stood still: the start's latency and the last block's
// silent tail.
constexpr double kStallSlack = 1.5;

const char* Plural(long count) { return count == 1 ? "" : "s"; }

// The ALSA device the module opens: -D, else the environment's, else ALSA's default.
std::string DeviceName(const std::string& given) {
    if (!given.empty()) {
        return given;
    }
    // Read before the recorder's thread exists.
    const char* named = std::getenv("PENDRAX_CAPTURE_DEVICE");  // NOLINT(concurrency-mt-unsafe)
    return named != nullptr && *named != '\0' ? named : "default";
}

// The report once the recording has stopped; returns the exit status.
int Report(const RecordingSession& session, const RecordingSession::End& end) {
    const std::string name = session.Target().Name();
    const long blocks = end.blocks;
    if (end.lost > 0.0) {
        Say("pendrax: %.1f s of audio was lost while recording; the recording was held "
            "up (the host paused, or writing stalled) for longer than capture buffers\n",
            end.lost);
    }
    switch (end.ending) {
        case RecordingSession::Ending::Asked:
            if (Quiet()) {
                return kExitSuccess;
            }
            Say("pendrax: wrote %s (%ld.0 s)\n", session.Target().PlainName().c_str(), blocks);
            return kExitSuccess;
        case RecordingSession::Ending::Full:
            Say("pendrax: the recording reached the WAV size limit of 74 h 33 min; "
                "%ld one-second blocks kept in %s\n",
                blocks, name.c_str());
            return kExitStoppedEarly;
        case RecordingSession::Ending::Stalled:
            // The module captures on while its write is held up, and the stop
            // writes all of it: blocks that cover the time before the stop
            // mean the file, not the device, stood still.
            if (static_cast<double>(blocks) + kStallSlack >= end.stalledAt) {
                Say("pendrax: writing %s stalled for %.0f s; recording stopped with every "
                    "second captured kept: %ld one-second block%s\n",
                    name.c_str(), StopPolicy::kStallSeconds, blocks, Plural(blocks));
            } else {
                Say("pendrax: no audio arrived for %.0f s; the capture device stopped; "
                    "%ld one-second block%s kept in %s\n",
                    StopPolicy::kStallSeconds, blocks, Plural(blocks), name.c_str());
            }
            return kExitStoppedEarly;
        case RecordingSession::Ending::WriteFailed: break;
    }
    if (session.Target().Streaming()) {
        // What went out stays out: there is nothing to say was kept.
        Say("pendrax: writing %s failed: %s\n",
            end.failed.empty() ? name.c_str() : end.failed.c_str(), end.reason.c_str());
    } else {
        Say("pendrax: writing %s failed: %s; %ld one-second block%s kept\n", name.c_str(),
            end.reason.c_str(), blocks, Plural(blocks));
    }
    return kExitStoppedEarly;
}

}  // namespace

int RunRecord(const Args& args) {
    const Arg* output = nullptr;
    long seconds = 0;
    std::string device;
    bool deviceGiven = false;
    OptionScanner scan(args, {{'D', "--device", true},
                              {'h', "--help", false},
                              {'q', "--quiet", false},
                              {'d', "--seconds", true}});
    while (scan.Next()) {
        if (!scan.Problem().empty()) {
            return UsageError("record: " + scan.Problem());
        }
        if (scan.Is("--help")) {
            PrintHelp("record");
            return kExitSuccess;
        }
        if (scan.Is("--quiet")) {
            SetQuiet(true);
        } else if (scan.Is("--seconds")) {
            if (!ParseSeconds(scan.Value(), seconds)) {
                return UsageError("record: --seconds needs a whole number from 1 to " +
                                  std::to_string(PENDRAX_MAX_BLOCKS));
            }
        } else if (scan.Is("--device")) {
            if (scan.Value().empty()) {
                return UsageError("record: -D needs a capture device name");
            }
            device = scan.Value();
            deviceGiven = true;
        } else if (output != nullptr) {
            return UsageError("record: extra argument '" + scan.Operand().text + "'");
        } else {
            output = &scan.Operand();
        }
    }
    if (output == nullptr) {
        return UsageError("record: missing OUT");
    }
    Arg named = *output;
#if !defined(_WIN32)
    if (!Utf8ToWide(named.text, named.wide) && !IsStream(named)) {
        Say("pendrax: the path '%s' is not valid UTF-8; choose another name\n", named.text.c_str());
        return kExitUsage;
    }
    // Set before the recorder starts, while the host has one thread.
    // NOLINTNEXTLINE(concurrency-mt-unsafe)
    if (deviceGiven && ::setenv("PENDRAX_CAPTURE_DEVICE", device.c_str(), 1) != 0) {
        return kExitUsage;
    }
#endif
    if (deviceGiven && !NamedCaptureDevices()) {
        return UsageError("record: -D is not available here; the recorder uses the default input");
    }
    RecordingSession session(named);
    const int started = session.Start(DeviceName(device));
    if (started != kExitSuccess) {
        return started;
    }
    return Report(session, session.Run(seconds));
}

}  // namespace pendrax_host
