// pendrax record [-D DEVICE] [--seconds N] OUT
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Commands.h"
#include "PendraxWAVFlanger.h"

namespace pendrax_host {
namespace {

constexpr int kExitStartFailedBase = 10;  // plus SoundRecorderStart's code
constexpr long kMaxSeconds = 268435;      // the most blocks a WAV header describes
// A block is due every second; this long without one means the capture or
// the file has stopped.
constexpr double kStallSeconds = 3.0;
constexpr double kPollSeconds = 0.1;
// --seconds N stops this much before N seconds: capture runs only a few
// milliseconds behind the clock, so a host that woke a little late would
// catch the first samples of second N + 1, and the file would hold N + 1
// blocks. The last block then ends in about this much silence.
constexpr double kEarlySeconds = 0.1;

const char* StartFailure(int code) {
    switch (code) {
        case PENDRAX_RECORDER_DEVICE_OPEN_FAILED:
            return "the capture device did not open (is there an audio input? "
                   "-D or PENDRAX_CAPTURE_DEVICE names another ALSA device)";
        case PENDRAX_RECORDER_QUEUE_FAILED: return "the capture buffer could not be queued";
        case PENDRAX_RECORDER_START_FAILED: return "capture did not start";
        case PENDRAX_RECORDER_BUSY: return "a recording is already in progress";
        default: return "unknown failure";
    }
}

bool ParseSeconds(const std::string& text, long& seconds) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || text.empty() || *end != '\0' || value < 1 || value > kMaxSeconds) {
        return false;
    }
    seconds = value;
    return true;
}

long BlocksIn(const Arg& path) {
    const std::int64_t size = FileSize(path);
    return size < PENDRAX_WAV_HEADER_BYTES
               ? 0
               : static_cast<long>((size - PENDRAX_WAV_HEADER_BYTES) / PENDRAX_BLOCK_BYTES);
}

const char* Plural(long count) { return count == 1 ? "" : "s"; }

}  // namespace

int RunRecord(const Args& args) {
    const Arg* output = nullptr;
    long seconds = 0;
    std::string device;
    bool deviceGiven = false;
    OptionScanner scan(args);
    while (scan.Next()) {
        std::string value;
        if (scan.Is("-h", "--help")) {
            PrintHelp("record", stdout);
            return kExitSuccess;
        }
        if (scan.Is("-d", "--seconds")) {
            if (!scan.TakeValue(value) || !ParseSeconds(value, seconds)) {
                return UsageError("record: --seconds needs a whole number from 1 to " +
                                  std::to_string(kMaxSeconds));
            }
        } else if (scan.Is("-D", "--device")) {
            if (!scan.TakeValue(value) || value.empty()) {
                return UsageError("record: -D needs a capture device name");
            }
            device = value;
            deviceGiven = true;
        } else if (scan.IsOption()) {
            return UsageError("record: unknown option '" + scan.Name() + "'");
        } else if (output != nullptr) {
            return UsageError("record: extra argument '" + scan.Operand().text + "'");
        } else {
            output = &scan.Operand();
        }
    }
    if (output == nullptr) {
        return UsageError("record: missing OUT");
    }
    if (output->text == "-") {
        return UsageError(
            "record: cannot write to standard output (the header is rewritten as "
            "the file grows); name a file");
    }
    if (!output->valid) {
        std::fprintf(stderr, "pendrax: the path '%s' is not valid UTF-8; choose another name\n",
                     output->text.c_str());
        return kExitUsage;
    }
    if (deviceGiven && !SelectCaptureDevice(device)) {
        return UsageError("record: -D is not available here; the recorder uses the default input");
    }
    const char* name = output->text.c_str();

    InstallStopHandlers();
    using Clock = std::chrono::steady_clock;
    // Timed from before the start: capture begins a little after it, so N
    // seconds later the file holds N blocks, the last one ending in silence.
    const auto begin = Clock::now();
    const int started = SoundRecorderStart(output->wide.c_str());
    if (started != PENDRAX_SUCCESS) {
        if (started == PENDRAX_RECORDER_FILE_FAILED) {
            const std::string reason = WriteOpenFailure(*output);
            std::fprintf(stderr, "pendrax: cannot create '%s': %s\n", name,
                         reason.empty() ? "the module could not create it" : reason.c_str());
        } else {
            std::fprintf(stderr, "pendrax: recording into '%s' failed: %s\n", name,
                         StartFailure(started));
        }
        // Finishes the empty file a device failure leaves; does nothing otherwise.
        SoundRecorderStop();
        StopDone();
        return kExitStartFailedBase + started;
    }

    const bool live = StderrIsTerminal();
    auto lastGrowth = begin;
    long lastBlocks = 0;
    bool stalled = false;
    for (;;) {
        const auto now = Clock::now();
        const double elapsed = std::chrono::duration<double>(now - begin).count();
        const long written = BlocksIn(*output);
        if (written > lastBlocks) {
            lastBlocks = written;
            lastGrowth = now;
        }
        if (live) {
            std::fprintf(stderr, "\rrecording %s: %.1f s elapsed, %ld s written ", name, elapsed,
                         written);
        }
        if (StopRequested()) {
            break;
        }
        // The module keeps the second in progress at the stop: no wait for
        // it. N - 1 whole blocks go first, so audio that came late still
        // gives N.
        const double deadline = static_cast<double>(seconds) - kEarlySeconds;
        if (seconds > 0 && elapsed >= deadline && written >= seconds - 1) {
            break;
        }
        if (std::chrono::duration<double>(now - lastGrowth).count() >= kStallSeconds) {
            stalled = true;
            break;
        }
        // Wakes at the deadline, not at the next poll after it.
        const double left = seconds > 0 ? deadline - elapsed : kPollSeconds;
        SleepMilliseconds(static_cast<int>(std::ceil(1000 * std::clamp(left, 0.01, kPollSeconds))));
    }
    const int blocks = SoundRecorderStop();
    StopDone();
    if (live) {
        std::fputs("\n", stderr);
    }
    if (stalled) {
        const std::string reason = GrowthFailure(*output, PENDRAX_BLOCK_BYTES);
        if (reason.empty()) {
            std::fprintf(stderr,
                         "pendrax: no audio arrived for %.0f s; the capture device stopped; "
                         "%d one-second block%s kept in '%s'\n",
                         kStallSeconds, blocks, Plural(blocks), name);
        } else {
            std::fprintf(stderr, "pendrax: writing '%s' failed: %s; %d one-second block%s kept\n",
                         name, reason.c_str(), blocks, Plural(blocks));
        }
        return kExitRefused;
    }
    std::fprintf(stderr, "pendrax: wrote %s (%d.0 s)\n", name, blocks);
    return kExitSuccess;
}

}  // namespace pendrax_host
