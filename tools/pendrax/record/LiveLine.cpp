#include "record/LiveLine.h"

#include <cstdio>
#include <utility>

#include "os/StdStreams.h"

namespace pendrax_host {

LiveLine::LiveLine(std::string name) : name_(std::move(name)), live_(StderrIsTerminal()) {}

void LiveLine::Show(double elapsed, long written) const {
    if (live_) {
        std::fprintf(stderr, "\rrecording %s: %.1f s elapsed, %ld s written ", name_.c_str(),
                     elapsed, written);
    }
}

void LiveLine::End() const {
    if (live_) {
        std::fputs("\n", stderr);
    }
}

}  // namespace pendrax_host
