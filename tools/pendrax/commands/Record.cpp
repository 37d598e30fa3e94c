// pendrax record [-D DEVICE] [--seconds N] OUT
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "PendraxWAVFlanger.h"
#include "cli/ExitCodes.h"
#include "cli/Help.h"
#include "cli/Messages.h"
#include "cli/OptionScanner.h"
#include "commands/Commands.h"
#include "os/Probes.h"
#include "os/Process.h"
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

const char* Plural(long count) { return count == 1 ? "" : "s"; }

// The report once the recording has stopped; returns the exit status.
int Report(const Arg& output, const RecordingSession::End& end) {
    const char* name = output.text.c_str();
    if (!end.stalled) {
        std::fprintf(stderr, "pendrax: wrote %s (%d.0 s)\n", name, end.blocks);
        return kExitSuccess;
    }
    const std::string reason = GrowthFailure(output, PENDRAX_BLOCK_BYTES);
    if (reason.empty()) {
        std::fprintf(stderr,
                     "pendrax: no audio arrived for %.0f s; the capture device stopped; "
                     "%d one-second block%s kept in '%s'\n",
                     StopPolicy::kStallSeconds, end.blocks, Plural(end.blocks), name);
    } else {
        std::fprintf(stderr, "pendrax: writing '%s' failed: %s; %d one-second block%s kept\n", name,
                     reason.c_str(), end.blocks, Plural(end.blocks));
    }
    return kExitStoppedEarly;
}

}  // namespace

int RunRecord(const Args& args) {
    const Arg* output = nullptr;
    long seconds = 0;
    std::string device;
    bool deviceGiven = false;
    OptionScanner scan(args, {"--device", "--help", "--seconds"});
    while (scan.Next()) {
        std::string value;
        if (scan.Is("-h", "--help")) {
            PrintHelp("record", stdout);
            return kExitSuccess;
        }
        if (scan.Is("-d", "--seconds")) {
            if (!scan.TakeValue(value) || !ParseSeconds(value, seconds)) {
                return UsageError("record: --seconds needs a whole number from 1 to " +
                                  std::to_string(PENDRAX_MAX_BLOCKS));
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
        return PathNotUtf8(*output, "choose another name");
    }
    if (deviceGiven && !SelectCaptureDevice(device)) {
        return UsageError("record: -D is not available here; the recorder uses the default input");
    }
    RecordingSession session(*output);
    const int started = session.Start();
    if (started != kExitSuccess) {
        return started;
    }
    return Report(*output, session.Run(seconds));
}

}  // namespace pendrax_host
