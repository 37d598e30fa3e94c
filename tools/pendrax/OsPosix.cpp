// The system on POSIX: signals, the terminal, the capture device.
#include <signal.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>

#include "Console.h"
#include "Os.h"

namespace pendrax_host {
namespace {

volatile sig_atomic_t stopSignal = 0;

extern "C" void RequestStop(int signal) { stopSignal = signal; }

}  // namespace

void PrepareProcess() {
    (void)::signal(SIGPIPE, SIG_IGN);
    (void)::signal(SIGXFSZ, SIG_IGN);
}

void InstallStopHandlers() {
    struct sigaction action {};
    action.sa_handler = RequestStop;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no restart: a wait wakes at once
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction before {};
        if (sigaction(signal, nullptr, &before) == 0 && before.sa_handler != SIG_IGN) {
            sigaction(signal, &action, nullptr);
        }
    }
}

bool StopRequested() { return stopSignal != 0; }

int StopStatus() { return 128 + static_cast<int>(stopSignal); }

void StopDone() {}

bool SelectCaptureDevice(const std::string& name) {
    // Set before the recorder starts, while the host has one thread.
    // NOLINTNEXTLINE(concurrency-mt-unsafe)
    return ::setenv("PENDRAX_CAPTURE_DEVICE", name.c_str(), 1) == 0;
}

void SleepMilliseconds(int milliseconds) {
    const timespec pause{milliseconds / 1000, (milliseconds % 1000) * 1000L * 1000};
    ::nanosleep(&pause, nullptr);
}

void WriteText(std::FILE* stream, const std::string& text) {
    (void)std::fwrite(text.data(), 1, text.size(), stream);
}

bool StderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

std::size_t StderrColumns() {
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        return size.ws_col;
    }
    // A terminal that does not say: what the shell exported, if anything.
    const char* columns = std::getenv("COLUMNS");  // NOLINT(concurrency-mt-unsafe)
    return columns != nullptr ? std::strtoul(columns, nullptr, 10) : 0;
}

}  // namespace pendrax_host
