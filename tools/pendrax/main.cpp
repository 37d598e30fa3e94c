// pendrax: a command-line host for the PendraxWAVFlanger module. This file
// only turns the command line into arguments and hands them to a command.
#include <cstddef>
#include <cstdio>
#include <string>

#include "PendraxVersion.h"
#include "cli/Args.h"
#include "cli/ExitCodes.h"
#include "cli/Help.h"
#include "cli/Messages.h"
#include "cli/OptionScanner.h"
#include "commands/Commands.h"
#include "os/Console.h"
#include "os/Io.h"
#include "os/Process.h"

namespace pendrax_host {
namespace {

int Dispatch(const Args& args) {
    // The host's own options come before the command.
    std::size_t first = 0;
    for (; first < args.size() && args[first].text.size() > 1 && args[first].text[0] == '-';
         ++first) {
        std::string problem;
        const std::string& text = args[first].text;
        const std::string name =
            text[1] == '-' ? ExpandLongOption(text, {"--help", "--quiet", "--version"}, problem)
                           : text;
        if (!problem.empty()) {
            return UsageError(problem);
        }
        if (name == "--help" || name == "-h") {
            PrintHelp("", stdout);
            return kExitSuccess;
        }
        if (name == "--version") {
            std::puts("pendrax " PENDRAX_VERSION_STRING);
            return kExitSuccess;
        }
        if (name != "-q" && name != "--quiet") {
            return UsageError("unknown option '" + text + "'");
        }
        SetQuiet(true);
    }
    if (first == args.size()) {
        PrintHelp("", stdout);  // the synopsis allows the host alone
        return kExitSuccess;
    }
    const std::string& command = args[first].text;
    const Args rest(args.begin() + static_cast<std::ptrdiff_t>(first) + 1, args.end());
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
    return UsageError("unknown command '" + command + "'");
}

// What any command printed on standard output must have reached it: help
// and version into a full disk fail as every other write does.
int Main(const Args& args) {
    PrepareProcess();
    int status = Dispatch(args);
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        Say("pendrax: write error: %s\n", LastError().c_str());
        status = status == kExitSuccess ? kExitIoFailed : status;
    }
    return status;
}

}  // namespace
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
