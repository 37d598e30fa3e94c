// The system on POSIX: signals, names and reasons, the terminal.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "Os.h"

namespace pendrax_host {
namespace {

volatile sig_atomic_t stopSignal = 0;
// A pipe to itself: a byte in it wakes the host's thread, and writing one
// is safe in a signal handler.
int wakeRead = -1;
int wakeWrite = -1;
// How long a wait lasts without the pipe, which a stop could not end.
constexpr int kWithoutWakeMilliseconds = 250;

void Wake() {
    const int saved = errno;
    const char byte = 0;
    (void)!::write(wakeWrite, &byte, 1);  // a full pipe wakes the waiter already
    errno = saved;
}

extern "C" void RequestStop(int signal) {
    stopSignal = signal;
    Wake();
}

// The flange's files, made before its handler can run; the handler does
// only what POSIX lists as async-signal-safe (unlink, write, _exit).
struct FlangeFiles {
    FileName temporary;
    FileName created;
    std::string message;
};
FlangeFiles* flangeFiles = nullptr;

extern "C" void EndFlange(int signal) {
    const FlangeFiles& files = *flangeFiles;
    if (!files.temporary.empty()) {
        (void)::unlink(files.temporary.c_str());
    }
    if (!files.created.empty()) {
        (void)::unlink(files.created.c_str());
    }
    (void)!::write(STDERR_FILENO, files.message.data(), files.message.size());
    ::_exit(128 + signal);
}

void Install(void (*handler)(int)) {
    struct sigaction action = {};
    action.sa_handler = handler;
    sigfillset(&action.sa_mask);  // one handler at a time
    action.sa_flags = 0;          // no restart: a wait wakes at once
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction before = {};
        if (sigaction(signal, nullptr, &before) == 0 && before.sa_handler != SIG_IGN) {
            sigaction(signal, &action, nullptr);
        }
    }
}

}  // namespace

void PrepareProcess() {
    // The user's character set, for the widths of the characters in names;
    // set before any thread starts.
    (void)std::setlocale(LC_CTYPE, "");  // NOLINT(concurrency-mt-unsafe)
    // A standard descriptor the process was started without stays unusable
    // for its purpose (reads or writes fail with EBADF), so that no file
    // opened later takes its number and is mistaken for it.
    for (const int standard : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (::fcntl(standard, F_GETFD) < 0 && errno == EBADF) {
            const int held = ::open("/dev/null", standard == STDIN_FILENO ? O_WRONLY : O_RDONLY);
            if (held >= 0 && held != standard) {
                (void)::dup2(held, standard);
                (void)::close(held);
            }
        }
    }
    (void)::signal(SIGPIPE, SIG_IGN);
    (void)::signal(SIGXFSZ, SIG_IGN);
}

void InstallStopHandlers() {
    int ends[2] = {-1, -1};
    if (wakeRead < 0 && ::pipe2(ends, O_CLOEXEC | O_NONBLOCK) == 0) {
        wakeRead = ends[0];
        wakeWrite = ends[1];
    }
    Install(RequestStop);
}

void WaitForWake(int milliseconds) {
    if (wakeRead < 0) {
        const int most = kWithoutWakeMilliseconds;
        (void)::poll(nullptr, 0, milliseconds < 0 || milliseconds > most ? most : milliseconds);
        return;
    }
    pollfd wake = {wakeRead, POLLIN, 0};
    if (::poll(&wake, 1, milliseconds) > 0) {
        char bytes[64];
        while (::read(wakeRead, bytes, sizeof bytes) > 0) {
        }
    }
}

void WakeWaiter() {
    if (wakeWrite >= 0) {
        Wake();
    }
}

bool StopRequested() { return stopSignal != 0; }

int StopStatus() { return 128 + static_cast<int>(stopSignal); }

void StopDone() {}

void EndFlangeOnSignal(const FileName& temporary, const FileName& created,
                       const std::string& message) {
    static FlangeFiles files;
    files = {temporary, created, message};
    flangeFiles = &files;
    Install(EndFlange);
}

void HoldFlangeSignals(bool hold) {
    sigset_t signals;
    sigemptyset(&signals);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&signals, signal);
    }
    // The flange's worker has been joined by now: this thread is the only one.
    (void)::pthread_sigmask(hold ? SIG_BLOCK : SIG_UNBLOCK, &signals, nullptr);
}

void FlangeCommitted() {
    // The output is whole now: a signal that waited, or comes later, ends
    // the process as it would have without the host, removing nothing.
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction now = {};
        if (sigaction(signal, nullptr, &now) == 0 && now.sa_handler == EndFlange) {
            now.sa_handler = SIG_DFL;
            (void)sigaction(signal, &now, nullptr);
        }
    }
    HoldFlangeSignals(false);
}

std::size_t CharacterColumns(char32_t character) {
    const int columns = ::wcwidth(static_cast<wchar_t>(character));
    return columns < 0 ? 1 : static_cast<std::size_t>(columns);
}

FileName NameOf(const Arg& arg) { return arg.text; }

// Called from the host's main thread only.
std::string ErrorText(pendrax::io::OsError error) {
    if (error == pendrax::io::kShortWrite) {
        return pendrax::io::kShortWriteText;
    }
    return std::strerror(static_cast<int>(error));  // NOLINT(concurrency-mt-unsafe)
}

bool IsBrokenPipe(pendrax::io::OsError error) { return error == EPIPE; }

bool Exists(const FileName& name, bool orLink) {
    struct stat status = {};
    return (orLink ? ::lstat(name.c_str(), &status) : ::stat(name.c_str(), &status)) == 0;
}

NativeFile LockedCopy(NativeFile file) {
    const int copy = ::fcntl(file, F_DUPFD_CLOEXEC, 0);
    if (copy >= 0 && pendrax::platform::LockForWriting(copy) != 0) {
        (void)::close(copy);
        return pendrax::platform::kNoFile;
    }
    return copy;
}

bool FolderFault(const FileName& name, pendrax::io::OsError error) {
    return (error == EACCES || error == EROFS) && !Exists(name, true);
}

std::string Utf8Name(const FileName& name) { return name; }

bool NamedCaptureDevices() { return true; }

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
