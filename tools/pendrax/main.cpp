// pendrax: a command-line host for the PendraxWAVFlanger module. This file
// only turns the command line into arguments and hands them to a command.
#include <cstdio>
#include <string>

#include "cli/Args.h"
#include "cli/ExitCodes.h"
#include "cli/Help.h"
#include "cli/Messages.h"
#include "commands/Commands.h"
#include "os/Process.h"

namespace pendrax_host {
namespace {

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
