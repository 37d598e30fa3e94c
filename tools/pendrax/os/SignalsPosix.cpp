#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "os/Signals.h"

// The flange's interrupt. The handler does only what POSIX lists as
// async-signal-safe (stat, unlink, write, _exit), on texts made beforehand.
namespace pendrax_host {
namespace {

struct FlangeOutput {
    std::string path;
    bool removable = false;
    bool existed = false;
    struct stat before {};
    std::string removed;  // "pendrax: interrupted; removed the incomplete output 'x'\n"
    std::string left;     // "pendrax: interrupted; ..."
};
FlangeOutput* flangeOutput = nullptr;

bool Touched(const struct stat& before, const struct stat& now) {
    return before.st_ino != now.st_ino || before.st_size != now.st_size ||
           before.st_mtim.tv_sec != now.st_mtim.tv_sec ||
           before.st_mtim.tv_nsec != now.st_mtim.tv_nsec;
}

extern "C" void OnFlangeInterrupt(int signal) {
    const FlangeOutput& output = *flangeOutput;
    struct stat now {};
    const bool remove = output.removable && ::stat(output.path.c_str(), &now) == 0 &&
                        S_ISREG(now.st_mode) && (!output.existed || Touched(output.before, now));
    const std::string& text =
        remove && ::unlink(output.path.c_str()) == 0 ? output.removed : output.left;
    (void)!::write(STDERR_FILENO, text.data(), text.size());
    ::_exit(128 + signal);
}

}  // namespace

void InstallFlangeInterrupt(const Arg& output, bool removable) {
    static FlangeOutput kept;
    kept.path = output.text;
    kept.removable = removable;
    kept.existed = removable && ::stat(output.text.c_str(), &kept.before) == 0;
    kept.removed = "pendrax: interrupted; removed the incomplete output '" + output.text + "'\n";
    kept.left = removable ? "pendrax: interrupted; '" + output.text + "' was left as it was\n"
                          : "pendrax: interrupted; the output is incomplete\n";
    flangeOutput = &kept;
    struct sigaction action {};
    action.sa_handler = OnFlangeInterrupt;
    sigfillset(&action.sa_mask);  // one handler at a time
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        // A signal the caller ignores (nohup, a background job) stays ignored.
        struct sigaction before {};
        if (sigaction(signal, nullptr, &before) == 0 && before.sa_handler != SIG_IGN) {
            sigaction(signal, &action, nullptr);
        }
    }
}

int EndFlangeInterrupt() {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction now {};
        if (sigaction(signal, nullptr, &now) == 0 && now.sa_handler == OnFlangeInterrupt) {
            (void)::signal(signal, SIG_DFL);
        }
    }
    return 0;
}

}  // namespace pendrax_host
