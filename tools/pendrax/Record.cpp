// pendrax record OUT.wav [--seconds N]
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Commands.h"
#include "PendraxWAVFlanger.h"
#include "Utf8.h"

namespace pendrax_host {
namespace {

constexpr int kExitStartFailedBase = 10;  // plus SoundRecorderStart's code
// Once N seconds have passed, how long to wait for the N-th block to land.
constexpr double kLastBlockGraceSeconds = 0.6;
constexpr long kMaxSeconds = 268435;  // the most blocks a WAV header describes

volatile sig_atomic_t stopRequested = 0;

extern "C" void RequestStop(int) { stopRequested = 1; }

const char* StartFailure(int code) {
    switch (code) {
        case PENDRAX_RECORDER_DEVICE_OPEN_FAILED:
            return "the capture device did not open (is there an audio input? "
                   "PENDRAX_CAPTURE_DEVICE names another ALSA device)";
        case PENDRAX_RECORDER_QUEUE_FAILED: return "the capture buffer could not be queued";
        case PENDRAX_RECORDER_START_FAILED: return "capture did not start";
        case PENDRAX_RECORDER_FILE_FAILED: return "the output file could not be created";
        case PENDRAX_RECORDER_BUSY: return "a recording is already in progress";
        default: return "unknown failure";
    }
}

bool ParseSeconds(const char* text, long& seconds) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < 1 || value > kMaxSeconds) {
        return false;
    }
    seconds = value;
    return true;
}

// Whole blocks in the file so far, from its size.
long BlocksWritten(const char* path) {
    struct stat info {};
    if (::stat(path, &info) != 0 || info.st_size < PENDRAX_WAV_HEADER_BYTES) {
        return 0;
    }
    return static_cast<long>((info.st_size - PENDRAX_WAV_HEADER_BYTES) / PENDRAX_BLOCK_BYTES);
}

void InstallStopHandlers() {
    struct sigaction action {};
    action.sa_handler = RequestStop;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no restart: the wait below wakes at once
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

}  // namespace

int RunRecord(int argc, char** argv) {
    const char* output = nullptr;
    long seconds = 0;
    for (int k = 0; k < argc; ++k) {
        if (std::strcmp(argv[k], "--seconds") == 0) {
            if (k + 1 >= argc || !ParseSeconds(argv[k + 1], seconds)) {
                return UsageError("--seconds needs a whole number of seconds, 1 or more");
            }
            ++k;
        } else if (output == nullptr) {
            output = argv[k];
        } else {
            return UsageError("record takes one path");
        }
    }
    if (output == nullptr) {
        return UsageError("record needs OUT.wav");
    }
    WidePath path;
    if (!Utf8ToWide(output, path)) {
        std::fprintf(stderr, "pendrax: the path '%s' is not valid UTF-8; choose another name\n",
                     output);
        return kExitUsage;
    }

    InstallStopHandlers();
    const int started = SoundRecorderStart(path.c_str());
    if (started != PENDRAX_SUCCESS) {
        std::fprintf(stderr, "pendrax: recording failed: %s\n", StartFailure(started));
        // Finishes the empty file a device failure leaves; does nothing otherwise.
        SoundRecorderStop();
        return kExitStartFailedBase + started;
    }

    const bool live = ::isatty(STDOUT_FILENO) == 1;
    const auto begin = std::chrono::steady_clock::now();
    for (;;) {
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        const long written = BlocksWritten(output);
        if (live) {
            std::printf("\rrecording %s: %.1f s elapsed, %ld s written ", output, elapsed, written);
            (void)std::fflush(stdout);  // a live line that does not show is no failure
        }
        if (stopRequested) {
            break;
        }
        if (seconds > 0 && elapsed >= static_cast<double>(seconds) &&
            (written >= seconds ||
             elapsed >= static_cast<double>(seconds) + kLastBlockGraceSeconds)) {
            break;
        }
        const timespec pause{0, 100L * 1000 * 1000};
        ::nanosleep(&pause, nullptr);
    }
    const int blocks = SoundRecorderStop();
    if (live) {
        std::printf("\n");
    }
    std::printf("%d one-second block%s recorded to %s\n", blocks, blocks == 1 ? "" : "s", output);
    return kExitSuccess;
}

}  // namespace pendrax_host
