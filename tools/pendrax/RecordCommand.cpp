// pendrax record: opens OUT (through a replacement, locked against a second
// recording) or writes standard output as blocks arrive, records with the
// core's recorder, and reports the recording's news as it comes.
#include "RecordCommand.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "LiveLine.h"
#include "Os.h"
#include "Output.h"
#include "Quote.h"
#include "Recorder.h"
#include "RecordingNews.h"
#include "StartCode.h"
#include "WavHeader.h"

namespace pendrax_host {
namespace {

namespace io = pendrax::io;
namespace recorder = pendrax::recorder;
namespace wav = pendrax::wav;

// A block is due every second: this long without one is worth a warning.
constexpr double kQuietSeconds = 3.0;
// A wait that overran its time by this much was the host's own pause
// (stopped, starved), which is not the recording's quiet.
constexpr double kPauseSeconds = 1.0;

// Digits alone: no sign, no spaces on either side.
bool ParseSeconds(const std::string& text, long& seconds) {
    long value = 0;
    for (const char digit : text) {
        if (digit < '0' || digit > '9' ||
            value > static_cast<long>(recorder::kRecordingMaxBlocks)) {
            return false;
        }
        value = value * 10 + (digit - '0');
    }
    if (text.empty() || value < 1 || value > static_cast<long>(recorder::kRecordingMaxBlocks)) {
        return false;
    }
    seconds = value;
    return true;
}

const char* Plural(unsigned long count) { return count == 1 ? "" : "s"; }

std::string CauseText(recorder::LossCause cause) {
    switch (cause) {
        case recorder::LossCause::WriterStalled: return "disk stalled";
        case recorder::LossCause::DeviceOverrun: return "device overrun";
        case recorder::LossCause::Suspended: return "system suspended";
        case recorder::LossCause::DeviceGone: return "device gone";
    }
    return "lost";
}

// "4 s lost (disk stalled)", or "" when nothing was.
std::string LostText(std::uint64_t frames, recorder::LossCause cause) {
    if (frames == 0) {
        return std::string();
    }
    char text[64];
    (void)std::snprintf(text, sizeof text, "%.1f s lost (%s)",
                        static_cast<double>(frames) / wav::kSampleRate, CauseText(cause).c_str());
    return text;
}

std::string StartFailure(recorder::StartResult result, const std::string& device) {
    switch (result) {
        case recorder::StartResult::DeviceOpenFailed:
            return NamedCaptureDevices()
                       ? "the capture device '" + device +
                             "' did not open (is there an audio input? -D or "
                             "PENDRAX_CAPTURE_DEVICE names another ALSA device)"
                       : "the default audio input did not open (is there one, and may programs "
                         "use it?)";
        case recorder::StartResult::OutOfResources:
            return "the recorder could not get its buffers or threads";
        case recorder::StartResult::StartFailed: return "capture did not start";
        case recorder::StartResult::Busy: return "a recording is already in progress";
        default: return std::string();
    }
}

// "74 h 33 min": the longest recording, from the recorder's own limit.
std::string LongestText() {
    const unsigned long minutes = recorder::kRecordingMaxBlocks / 60;
    return std::to_string(minutes / 60) + " h " + std::to_string(minutes % 60) + " min";
}

}  // namespace

int RunRecord(const Args& args) {
    const Arg* output = nullptr;
    long seconds = 0;
    std::string device;
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
                                  std::to_string(recorder::kRecordingMaxBlocks));
            }
        } else if (scan.Is("--device")) {
            if (scan.Value().empty()) {
                return UsageError("record: -D needs a capture device name");
            }
            if (!NamedCaptureDevices()) {
                return UsageError(
                    "record: -D is not available here; the recorder uses the default input");
            }
            device = scan.Value();
        } else if (output != nullptr) {
            return UsageError("record: extra argument " + QuoteName(scan.Operand().text));
        } else {
            output = &scan.Operand();
        }
    }
    if (output == nullptr) {
        return UsageError("record: missing OUT");
    }
    const std::string name = OutputName(*output);

    Output target;
    const Output::Opened opened = target.Open(*output);
    if (opened != Output::Opened::kOpened) {
        return kExitStartFailedBase + (opened == Output::Opened::kBusy
                                           ? PENDRAX_RECORDER_BUSY
                                           : PENDRAX_RECORDER_FILE_FAILED);
    }
    target.KeepWriting();
    // Sizes at the end where the header can be gone back to; a stream's once.
    recorder::Options options;
    options.header =
        target.Seekable() ? recorder::HeaderMode::SizesEachBlock : recorder::HeaderMode::Streamed;
    options.device = device;
    options.maxBlocks = static_cast<std::uint32_t>(seconds);
    RecordingNews news;
    options.observer = &news;
    InstallStopHandlers();
    recorder::Recorder recording;
    // OUT outlives the writer: a writer still held up at the stop is ended
    // with the process.
    const std::shared_ptr<io::Sink> sink(&target, [](io::Sink*) {});
    const recorder::StartOutcome started = recording.Start(sink, options);
    if (started.result != recorder::StartResult::Started) {
        // Nothing of a failed start stays: no file beside OUT, no header
        // on standard output.
        target.Abandon();
        if (!target.Replacing() && target.Seekable()) {
            (void)target.Truncate(0);
        }
        const int code = recorder::PublicStartCode(started.result);
        const std::string why = StartFailure(started.result, started.device);
        if (code == PENDRAX_RECORDER_FILE_FAILED) {
            Say("pendrax: writing %s failed: %s\n", name.c_str(), ErrorText(started.error).c_str());
        } else {
            Say("pendrax: recording into %s failed: %s\n", name.c_str(), why.c_str());
        }
        StopDone();
        return kExitStartFailedBase + code;
    }
    // A started recording takes OUT's name at once where the system lets a
    // file open for writing be renamed.
    if (target.Keeping()) {
        (void)target.Commit();  // a failure says where the recording goes on
    }

    LiveLine line(name, seconds);
    RecordingNews::State state;
    double quiet = 0.0;
    bool warned = false;
    auto looked = std::chrono::steady_clock::now();
    for (;;) {
        const std::uint32_t before = state.blocks;
        // The recorder's news (a block a second, the end) and stop requests
        // wake the host; else only the quiet's warning can be due.
        const int wait = warned ? -1 : static_cast<int>((kQuietSeconds - quiet) * 1000.0) + 1;
        state = news.Wait(wait);
        line.Show(state.blocks, state.peak >= 0 ? LevelText(state.peak) : "",
                  LostText(state.framesLost, state.cause));
        if (StopRequested() || state.complete || state.deviceEnded || state.writeFailed) {
            break;
        }
        const auto now = std::chrono::steady_clock::now();
        const double step = std::chrono::duration<double>(now - looked).count();
        looked = now;
        const bool paused = wait >= 0 && step > wait / 1000.0 + kPauseSeconds;
        quiet = state.blocks != before ? 0.0 : quiet + (paused ? 0.0 : step);
        if (state.blocks != before) {
            warned = false;
        } else if (quiet >= kQuietSeconds && !warned) {
            warned = true;
            line.Break();
            // A block's write taking longer than the block lasts means OUT
            // holds the recording up, even when the write began after the
            // quiet did (the block it carries came in meanwhile).
            if (recording.Current().writeHeldSeconds >= recorder::kHeldWriteSeconds) {
                Say("pendrax: warning: writing %s has been held up for %.0f s; recording goes "
                    "on, and up to %u s of audio waits for it\n",
                    name.c_str(), quiet, recorder::kStallToleranceSeconds);
            } else {
                Say("pendrax: warning: no audio has arrived for %.0f s; recording goes on\n",
                    kQuietSeconds);
            }
        }
    }
    const recorder::StopResult stopped = recording.Stop();
    line.Break();
    state = news.Wait(0);
    const unsigned long blocks = stopped.counts.blocks;
    const std::string lost = LostText(stopped.counts.framesLost, state.cause);
    const std::string kept = "; " + std::to_string(blocks) + " one-second block" + Plural(blocks) +
                             " kept" + (lost.empty() ? "" : ", " + lost);
    int status = lost.empty() ? kExitSuccess : kExitAudioLost;
    std::string problem;
    if (state.writeFailed || stopped.writeError != 0) {
        const io::OsError error = state.writeFailed ? state.error : stopped.writeError;
        if (!target.Replacing() && IsBrokenPipe(error)) {
            StopDone();
            return kExitBrokenPipe;  // the reader wanted no more: quietly, as SIGPIPE would
        }
        problem = "writing " + name + " failed: " + ErrorText(error) + kept;
    } else if (stopped.timedOut) {
        problem = "writing " + name + " was still held up at the stop" + kept;
    } else if (state.deviceEnded || stopped.deviceEnded) {
        problem = "the capture device stopped" + kept;
    } else if (blocks >= recorder::kRecordingMaxBlocks) {
        problem = "the recording reached the WAV size limit of " + LongestText() + kept;
    }
    // A writer still held up keeps the file open: it stays where it is.
    if (stopped.timedOut) {
        // The writer still holds OUT's sink: the process ends around it.
        if (target.Replacing() && !target.Keeping()) {
            problem += "; the recording is in " + QuoteName(Utf8Name(target.Temporary()));
        }
        Say("pendrax: %s\n", problem.c_str());
        StopDone();
        (void)std::fflush(stderr);
        std::_Exit(kExitStoppedEarly);
    }
    if (!problem.empty()) {
        Say("pendrax: %s\n", problem.c_str());
    }
    const bool committed = target.Commit();
    StopDone();
    if (!problem.empty() || !committed) {
        return kExitStoppedEarly;
    }
    if (!Quiet()) {
        Say("pendrax: wrote %s (%lu.0 s%s)\n",
            IsStream(*output) ? "standard output"
                              : QuoteName(output->text, Quotes::kWhenNeeded).c_str(),
            blocks, lost.empty() ? "" : ("; " + lost + ", silence in its place").c_str());
    } else if (!lost.empty()) {
        Say("pendrax: warning: %s: %s, silence in its place\n", name.c_str(), lost.c_str());
    }
    return status;
}

}  // namespace pendrax_host
