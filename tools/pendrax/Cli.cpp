#include "Cli.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <vector>

#include "Os.h"
#include "PendraxVersion.h"
#include "PendraxWAVFlanger.h"
#include "Quote.h"

namespace pendrax_host {

bool OptionScanner::Next() {
    spec_ = nullptr;
    value_.clear();
    problem_.clear();
    if (cluster_ != 0) {
        return NextShort(args_[index_ - 1].text);
    }
    if (index_ >= args_.size()) {
        return false;
    }
    const std::string& text = args_[index_++].text;
    if (!optionsEnded_ && text == "--") {
        optionsEnded_ = true;
        return Next();
    }
    if (optionsEnded_ || text.size() < 2 || text[0] != '-') {
        operand_ = index_ - 1;
        return true;
    }
    if (text[1] == '-') {
        return NextLong(text);
    }
    cluster_ = 1;
    return NextShort(text);
}

bool OptionScanner::NextLong(const std::string& text) {
    const std::size_t equals = text.find('=');
    const std::string name = text.substr(0, equals);
    std::vector<const OptionSpec*> candidates;
    for (const OptionSpec& option : specs_) {
        if (name == option.name) {
            candidates.assign(1, &option);
            break;
        }
        if (std::string(option.name).compare(0, name.size(), name) == 0) {
            candidates.push_back(&option);
        }
    }
    if (candidates.size() != 1) {
        problem_ = candidates.empty()
                       ? "unknown option " + QuoteName(name)
                       : "option " + QuoteName(name) + " is ambiguous; possibilities:";
        for (const OptionSpec* candidate : candidates) {
            problem_ += std::string(" '") + candidate->name + "'";
        }
        return true;
    }
    spec_ = candidates[0];
    if (!spec_->takesValue) {
        if (equals != std::string::npos) {
            problem_ = std::string("option '") + spec_->name + "' takes no value";
        }
    } else if (equals != std::string::npos) {
        value_ = text.substr(equals + 1);
    } else if (index_ < args_.size()) {
        value_ = args_[index_++].text;
    } else {
        problem_ = std::string("option '") + spec_->name + "' needs a value";
    }
    return true;
}

bool OptionScanner::NextShort(const std::string& text) {
    const char letter = text[cluster_++];
    const bool last = cluster_ >= text.size();
    const auto found =
        std::find_if(specs_.begin(), specs_.end(),
                     [letter](const OptionSpec& option) { return option.letter == letter; });
    spec_ = found != specs_.end() ? &*found : nullptr;
    if (spec_ == nullptr) {
        problem_ = "unknown option " + QuoteName(std::string("-") + letter) +
                   (text.size() > 2 ? " in " + QuoteName(text) : std::string());
        cluster_ = 0;
        return true;
    }
    if (spec_->takesValue) {
        // The rest of the bundle is the value (-Dhw:1), else the next argument.
        if (!last) {
            value_ = text.substr(cluster_);
        } else if (index_ < args_.size()) {
            value_ = args_[index_++].text;
        } else {
            problem_ = std::string("option '-") + letter + "' needs a value";
        }
        cluster_ = 0;
    } else if (last) {
        cluster_ = 0;
    }
    return true;
}

bool OptionScanner::Is(const char* name) const {
    return spec_ != nullptr && std::string(spec_->name) == name;
}

// printf's own form, its arguments checked by the format attribute.
// NOLINTNEXTLINE(cert-dcl50-cpp)
void Say(const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    std::va_list again;
    va_copy(again, arguments);
    const int size = std::vsnprintf(nullptr, 0, format, arguments);
    va_end(arguments);
    if (size > 0) {
        std::vector<char> text(static_cast<std::size_t>(size) + 1);
        (void)std::vsnprintf(text.data(), text.size(), format, again);
        WriteText(stderr, std::string(text.data(), static_cast<std::size_t>(size)));
    }
    va_end(again);
}

int UsageError(const std::string& problem) {
    Say("pendrax: %s\nTry 'pendrax --help'.\n", problem.c_str());
    return kExitUsage;
}

void CannotInput(const char* verb, const Arg& input, const std::string& reason) {
    Say("pendrax: cannot %s input %s: %s\n", verb, InputName(input).c_str(), reason.c_str());
}

std::string InputName(const Arg& arg) {
    return IsStream(arg) ? "standard input" : QuoteName(arg.text);
}

std::string OutputName(const Arg& arg) {
    return IsStream(arg) ? "standard output" : QuoteName(arg.text);
}

namespace {

bool quietly = false;

// The exit statuses as the help texts give them, for the whole host ("")
// or one command: the one table of what each status means.
struct ExitRow {
    int status;
    const char* command;  // "" for any
    const char* meaning;
};
constexpr ExitRow kExitRows[] = {
    {kExitSuccess, "", "success"},
    {kExitOpenFailed, "flange", "a file could not be opened, or OUT is IN (OUT left as it was)"},
    {kExitUsage, "", "usage error"},
    {kExitIoFailed, "flange", "reading or writing failed (OUT left as it was)"},
    {kExitIoFailed, "", "what was printed on standard output could not be written"},
    {kExitInputRefused, "flange", "IN refused by the input check (no output written)"},
    {kExitStoppedEarly, "record",
     "stopped early: the device ended or writing failed (blocks so far kept)"},
    {kExitAudioLost, "record", "recorded, but audio was lost (the seconds lost are silence)"},
    {kExitStartFailedBase + PENDRAX_RECORDER_DEVICE_OPEN_FAILED, "record",
     "the capture device did not open, or got no buffers or threads"},
    {kExitStartFailedBase + PENDRAX_RECORDER_START_FAILED, "record", "capture did not start"},
    {kExitStartFailedBase + PENDRAX_RECORDER_FILE_FAILED, "record",
     "OUT could not be created or written (OUT left as it was)"},
    {kExitStartFailedBase + PENDRAX_RECORDER_BUSY, "record",
     "a recording into OUT is already in progress"},
    {kExitHangUp, "flange", "ended by SIGHUP (OUT left as it was)"},
    {kExitInterrupted, "flange", "ended by Ctrl-C (OUT left as it was)"},
    {kExitBrokenPipe, "", "the reader of standard output closed it early"},
    {kExitTerminated, "flange", "ended by SIGTERM (OUT left as it was)"},
};

constexpr const char* kUsage = "Usage: pendrax [-q] COMMAND [OPTION]... ARGUMENT...\n";

// The help after the usage line.
constexpr const char* kHelp =
    "Flange 16-bit mono WAV files and record the audio input.\n"
    "\n"
    "Commands:\n"
    "  flange [--force] IN OUT     apply the flanger to IN, writing OUT ('-' for\n"
    "                              standard input or output)\n"
    "  record [-D DEVICE] [--seconds N] OUT\n"
    "                              record 8000 Hz mono 16-bit audio into OUT until\n"
    "                              N seconds pass, Ctrl-C, or the input stops\n"
    "  help [COMMAND]              show this help, or a command's\n"
    "\n"
    "Options:\n"
    "  -q, --quiet                 no success or status lines; errors and warnings\n"
    "                              still print\n"
    "  -h, --help                  show this help; after a command, its own\n"
    "      --version               show the version\n"
    "Short options bundle (-qD null); a long option may be shortened to any\n"
    "prefix that is unique (--sec).\n";

constexpr const char* kFlangeHelp =
    "Usage: pendrax flange [-q] [--force] IN OUT\n"
    "Apply the flanger (a delay sweeping between 2 and 37 samples, one cycle\n"
    "every 2 s at 8000 Hz) to the WAV file IN, writing OUT. '-' as IN reads\n"
    "standard input and '-' as OUT writes standard output, where it is (>>\n"
    "appends); a pipe or a FIFO is read once.\n"
    "\n"
    "IN is checked first. A canonical WAV (RIFF/WAVE, 16-bit PCM, mono, samples\n"
    "from byte 44) is flanged; at a rate other than 8000 Hz it is flanged with a\n"
    "warning, since the sweep's timing assumes 8000 Hz. Anything else, and a\n"
    "file with chunks after its data, is refused with status 4 and no output,\n"
    "and with a sox command that converts it when sox reads it. Size fields\n"
    "that disagree with IN's length are named in a warning and mended in OUT.\n"
    "\n"
    "OUT is replaced only by a finished flange: an interrupted or failed one\n"
    "leaves it as it was. IN is never written, whatever name OUT gives it.\n"
    "\n"
    "Options:\n"
    "      --force     flange any input as it is, unchecked, its bytes as the\n"
    "                  module writes them\n"
    "  -q, --quiet     no success or status lines\n"
    "  -h, --help      show this help\n"
    "      --          end of options\n";

constexpr const char* kRecordHelp =
    "Usage: pendrax record [-q] [-D DEVICE] [--seconds N] OUT\n"
    "Record the audio input at 8000 Hz, mono, 16-bit into the WAV file OUT in\n"
    "one-second blocks, until it holds N seconds of audio, Ctrl-C, SIGTERM or\n"
    "SIGHUP (Ctrl-Break or closing the console on Windows), the device ends, or\n"
    "writing fails. The header is finished in every case, and OUT is replaced\n"
    "only by a recording that started; a second recording into it meanwhile\n"
    "is refused. '-' as OUT streams the WAV to standard output.\n"
    "On a terminal a live line shows the seconds written, the level and any\n"
    "seconds lost.\n"
    "\n"
    "Options:\n"
    "  -D, --device=DEVICE   the capture device (Linux): an ALSA name, or 'pulse'\n"
    "                        for the sound server (default: $PENDRAX_CAPTURE_DEVICE,\n"
    "                        else 'default')\n"
    "  -d, --seconds=N       stop at exactly N seconds (1 to %d)\n"
    "  -q, --quiet           no live line and no success line\n"
    "  -h, --help            show this help\n"
    "      --                end of options\n";

}  // namespace

bool PrintHelp(const std::string& command) {
    if (command.empty()) {
        std::fputs(kUsage, stdout);
        std::fputs(kHelp, stdout);
    } else if (command == "flange") {
        std::fputs(kFlangeHelp, stdout);
    } else if (command == "record") {
        std::printf(kRecordHelp, PENDRAX_MAX_BLOCKS);
    } else {
        return false;
    }
    std::puts("\nExit status:");
    for (const ExitRow& row : kExitRows) {
        const bool any = *row.command == '\0';
        if (command.empty() || any || command == row.command) {
            std::printf("  %-5d%s%s%s\n", row.status, command.empty() && !any ? row.command : "",
                        command.empty() && !any ? ": " : "", row.meaning);
        }
    }
    if (command.empty()) {
        std::puts("\nMessages go to standard error as 'pendrax: ...'. See pendrax(1).");
    }
    return true;
}

void PrintUsage() { Say("%sCommands: flange, record, help. Try 'pendrax --help'.\n", kUsage); }

const char* Version() { return PENDRAX_VERSION_STRING; }

void SetQuiet(bool quiet) { quietly = quiet; }

bool Quiet() { return quietly; }

}  // namespace pendrax_host
