// pendrax: a command-line host for the PendraxWAVFlanger module.
#include <cstdio>
#include <cstring>
#include <string>

#include "Commands.h"
#include "PendraxWAVFlanger.h"

namespace pendrax_host {
namespace {

constexpr const char* kHelp =
    "Usage: pendrax COMMAND [OPTION]... ARGUMENT...\n"
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
    "  -h, --help                  show this help; after a command, its own\n"
    "      --version               show the version\n"
    "\n"
    "Exit status:\n"
    "  0      success\n"
    "  1      flange: a file could not be opened, or OUT is IN (no output written)\n"
    "  2      usage error\n"
    "  3      flange: reading or writing failed (output incomplete)\n"
    "  4      flange: IN refused by the input check (no output written);\n"
    "         record: stopped early, the input stopped or writing failed\n"
    "  11-15  record: the recording did not start (see 'pendrax help record')\n"
    "\n"
    "Messages go to standard error as 'pendrax: ...'. See pendrax(1).\n";

constexpr const char* kFlangeHelp =
    "Usage: pendrax flange [--force] IN OUT\n"
    "Apply the flanger (a delay sweeping between 2 and 37 samples, one cycle\n"
    "every 2 s at 8000 Hz) to the WAV file IN, writing OUT. '-' as IN reads\n"
    "standard input; '-' as OUT writes standard output, and the module's status\n"
    "line then goes to standard error.\n"
    "\n"
    "IN is checked first. A canonical WAV (RIFF/WAVE, 16-bit PCM, mono, samples\n"
    "from byte 44) is flanged; at a rate other than 8000 Hz it is flanged with a\n"
    "warning, since the sweep's timing assumes 8000 Hz. Anything else is refused\n"
    "with status 4, no output and a sox command that converts it.\n"
    "\n"
    "Options:\n"
    "      --force     flange any input as it is, unchecked\n"
    "  -h, --help      show this help\n"
    "      --          end of options\n"
    "\n"
    "Exit status: 0 written; 1 a file could not be opened, or OUT is IN (no\n"
    "output); 2 usage error; 3 reading or writing failed (output incomplete);\n"
    "4 IN refused by the check (no output).\n";

constexpr const char* kRecordHelp =
    "Usage: pendrax record [-D DEVICE] [--seconds N] OUT\n"
    "Record the audio input at 8000 Hz, mono, 16-bit into the WAV file OUT in\n"
    "one-second blocks, until N seconds have passed, Ctrl-C or SIGTERM\n"
    "(Ctrl-Break or closing the console on Windows), or no block has arrived for\n"
    "3 s. The header is finished in every case; on a terminal a live line shows\n"
    "the progress.\n"
    "\n"
    "Options:\n"
    "  -D, --device=DEVICE   the ALSA capture device (Linux; default:\n"
    "                        $PENDRAX_CAPTURE_DEVICE, else 'default')\n"
    "  -d, --seconds=N       stop after N seconds (1 to 268435)\n"
    "  -h, --help            show this help\n"
    "      --                end of options\n"
    "\n"
    "Exit status: 0 recorded; 2 usage error; 4 stopped early: no audio arrived\n"
    "for 3 s (the device stopped) or writing OUT failed, the blocks so far kept;\n"
    "11 the capture device did not open; 12 the capture buffer was not queued;\n"
    "13 capture did not start; 14 OUT could not be created; 15 a recording is\n"
    "already in progress.\n";

int Main(const Args& args) {
    PrepareProcess();
    if (args.empty()) {
        return UsageError("missing command");
    }
    const std::string& command = args[0].text;
    const Args rest(args.begin() + 1, args.end());
    if (command == "--help" || command == "-h") {
        PrintHelp("", stdout);
        return kExitSuccess;
    }
    if (command == "--version") {
        std::puts("pendrax 1.0.0.1");
        return kExitSuccess;
    }
    if (command == "help") {
        if (rest.size() > 1) {
            return UsageError("help takes at most one command");
        }
        const std::string topic = rest.empty() ? std::string() : rest[0].text;
        if (!PrintHelp(topic, stdout)) {
            return UsageError("no command '" + topic + "'");
        }
        return kExitSuccess;
    }
    if (command == "flange") {
        return RunFlange(rest);
    }
    if (command == "record") {
        return RunRecord(rest);
    }
    if (!command.empty() && command[0] == '-') {
        return UsageError("unknown option '" + command + "'");
    }
    return UsageError("unknown command '" + command + "'");
}

}  // namespace

int UsageError(const std::string& problem) {
    std::fprintf(stderr, "pendrax: %s\nTry 'pendrax --help'.\n", problem.c_str());
    return kExitUsage;
}

bool PrintHelp(const std::string& command, std::FILE* stream) {
    const char* text = nullptr;
    if (command.empty()) {
        text = kHelp;
    } else if (command == "flange") {
        text = kFlangeHelp;
    } else if (command == "record") {
        text = kRecordHelp;
    } else {
        return false;
    }
    (void)std::fputs(text, stream);
    return true;
}

bool OptionScanner::Next() {
    index_ = started_ ? index_ + 1 : 0;
    started_ = true;
    if (index_ >= args_.size()) {
        return false;
    }
    const std::string& text = args_[index_].text;
    if (!optionsEnded_ && text == "--") {
        optionsEnded_ = true;
        return Next();
    }
    option_ = !optionsEnded_ && text.size() > 1 && text[0] == '-';
    name_ = option_ ? text.substr(0, text.find('=')) : std::string();
    return true;
}

bool OptionScanner::Is(const char* shortName, const char* longName) const {
    if (!option_) {
        return false;
    }
    if (longName != nullptr && name_ == longName) {
        return true;
    }
    // A short option may carry its value: -Dhw:1, -d5.
    return shortName != nullptr && name_.compare(0, 2, shortName) == 0 && name_[1] != '-';
}

bool OptionScanner::TakeValue(std::string& value) {
    const std::string& text = args_[index_].text;
    if (name_.size() > 2 && name_[1] != '-') {
        value = text.substr(2);
        return true;
    }
    const std::size_t equals = text.find('=');
    if (equals != std::string::npos && name_[1] == '-') {
        value = text.substr(equals + 1);
        return true;
    }
    if (index_ + 1 >= args_.size()) {
        return false;
    }
    value = args_[++index_].text;
    return true;
}

}  // namespace pendrax_host

#if defined(_WIN32)
// The UTF-16 arguments go to the module as they are; their UTF-8 form is
// for options and messages.
int wmain(int argc, wchar_t** argv) {
    pendrax_host::Args args;
    for (int k = 1; k < argc; ++k) {
        pendrax_host::Arg arg;
        arg.wide = argv[k];
        arg.text = pendrax_host::WideToUtf8(arg.wide);
        args.push_back(arg);
    }
    return pendrax_host::Main(args);
}
#else
int main(int argc, char** argv) {
    pendrax_host::Args args;
    for (int k = 1; k < argc; ++k) {
        pendrax_host::Arg arg;
        arg.text = argv[k];
        arg.valid = pendrax_host::Utf8ToWide(arg.text, arg.wide);
        args.push_back(arg);
    }
    return pendrax_host::Main(args);
}
#endif
