#include <cstdio>

#include "Commands.h"
#include "PendraxWAVFlanger.h"
#include "Utf8.h"

namespace pendrax_host {

namespace {
constexpr int kExitOpenFailed = 1;
constexpr int kExitIoFailed = 3;
}  // namespace

int RunFlange(int argc, char** argv) {
    if (argc != 2) {
        return UsageError(argc < 2 ? "flange needs IN.wav and OUT.wav" : "flange takes two paths");
    }
    WidePath input;
    WidePath output;
    for (int k = 0; k < 2; ++k) {
        if (!Utf8ToWide(argv[k], k == 0 ? input : output)) {
            std::fprintf(stderr, "pendrax: the path '%s' is not valid UTF-8; rename the file\n",
                         argv[k]);
            return kExitUsage;
        }
    }
    const int result = WAVFlanger(input.c_str(), output.c_str());
    (void)std::fflush(stdout);
    switch (result) {
        case PENDRAX_SUCCESS: return kExitSuccess;
        case PENDRAX_FLANGER_OPEN_FAILED: return kExitOpenFailed;
        default: return kExitIoFailed;
    }
}

}  // namespace pendrax_host
