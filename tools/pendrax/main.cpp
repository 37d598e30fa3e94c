// pendrax: the command-line host. This file only turns the command line
// into arguments and hands them to a command.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "Cli.h"
#include "FlangeCommand.h"
#include "Os.h"
#include "Quote.h"
#include "RecordCommand.h"

namespace pendrax_host {
namespace {

int Dispatch(const Args& args) {
    // The host's own options come before the command.
    OptionScanner scan(args,
                       {{'q', "--quiet", false}, {'h', "--help", false}, {0, "--version", false}});
    while (scan.Next()) {
        if (!scan.Problem().empty()) {
            return UsageError(scan.Problem());
        }
        if (scan.Is("--help")) {
            PrintHelp("");
            return kExitSuccess;
        }
        if (scan.Is("--version")) {
            std::printf("pendrax %s\n", Version());
            return kExitSuccess;
        }
        if (scan.Is("--quiet")) {
            SetQuiet(true);
            continue;
        }
        const std::string& command = scan.Operand().text;
        const Args rest(args.begin() + static_cast<std::ptrdiff_t>(scan.OperandIndex()) + 1,
                        args.end());
        if (command == "help") {
            if (rest.size() > 1) {
                return UsageError("help takes at most one command");
            }
            const std::string topic = rest.empty() ? std::string() : rest[0].text;
            return PrintHelp(topic) ? kExitSuccess : UsageError("no command " + QuoteName(topic));
        }
        if (command == "flange") {
            return RunFlange(rest);
        }
        if (command == "record") {
            return RunRecord(rest);
        }
        return UsageError("unknown command " + QuoteName(command));
    }
    PrintUsage();
    return kExitUsage;
}

// What any command printed on standard output must have reached it: help
// and version into a full disk fail as every other write does.
int Main(const Args& args) {
    PrepareProcess();
    int status = Dispatch(args);
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        // NOLINTNEXTLINE(concurrency-mt-unsafe): one thread by now
        Say("pendrax: write error: %s\n", std::strerror(errno));
        status = status == kExitSuccess ? kExitIoFailed : status;
    }
    return status;
}

}  // namespace
}  // namespace pendrax_host

#if defined(_WIN32)
// The UTF-16 arguments are the names files are opened by; their UTF-8 form
// is for options and messages.
int wmain(int argc, wchar_t** argv) {
#else
int main(int argc, char** argv) {
#endif
    pendrax_host::Args args;
    for (int k = 1; k < argc; ++k) {
        pendrax_host::Arg arg;
#if defined(_WIN32)
        arg.wide = argv[k];
        arg.text = pendrax_host::WideToUtf8(arg.wide);
#else
        arg.text = argv[k];
#endif
        args.push_back(arg);
    }
    return pendrax_host::Main(args);
}
