// pendrax: a command-line host for the PendraxWAVFlanger module.
#include <cstdio>
#include <cstring>

#include "Commands.h"
#include "PendraxWAVFlanger.h"

namespace pendrax_host {
namespace {

constexpr const char* kUsage =
    "Usage:\n"
    "  pendrax flange IN.wav OUT.wav     apply the flanger to IN.wav, writing OUT.wav\n"
    "  pendrax record OUT.wav [--seconds N]\n"
    "                                    record the default audio input (8000 Hz mono\n"
    "                                    16-bit) until N seconds pass or Ctrl-C\n"
    "  pendrax --help                    show this help\n"
    "  pendrax --version                 show the version\n"
    "\n"
    "Exit status of flange: 0 written; 1 a file could not be opened (or the output\n"
    "is the input itself), no output written; 3 reading or writing failed, output\n"
    "incomplete. Exit status of record: 0 recorded; 11 the capture device did not\n"
    "open; 12 the capture buffer was not queued; 13 capture did not start; 14 the\n"
    "file could not be created; 15 a recording is already running. 2 is a usage\n"
    "error for every command.\n";

}  // namespace

int UsageError(const char* problem) {
    std::fprintf(stderr, "pendrax: %s\n%s", problem, kUsage);
    return kExitUsage;
}

}  // namespace pendrax_host

int main(int argc, char** argv) {
    using namespace pendrax_host;
    if (argc < 2) {
        return UsageError("missing command");
    }
    const char* command = argv[1];
    if (std::strcmp(command, "--help") == 0 || std::strcmp(command, "-h") == 0) {
        std::fputs(kUsage, stdout);
        return kExitSuccess;
    }
    if (std::strcmp(command, "--version") == 0) {
        std::puts("pendrax 1.0.0.1");
        return kExitSuccess;
    }
    if (std::strcmp(command, "flange") == 0) {
        return RunFlange(argc - 2, argv + 2);
    }
    if (std::strcmp(command, "record") == 0) {
        return RunRecord(argc - 2, argv + 2);
    }
    std::fprintf(stderr, "pendrax: unknown command '%s'\n", command);
    return UsageError("see the commands below");
}
