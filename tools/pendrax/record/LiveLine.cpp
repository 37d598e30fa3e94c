#include "record/LiveLine.h"

#include <cstdio>
#include <utility>

#include "cli/Messages.h"
#include "os/Console.h"
#include "os/StdStreams.h"

namespace pendrax_host {

LiveLine::LiveLine(std::string name, long seconds)
    : name_(std::move(name)), seconds_(seconds), live_(StderrIsTerminal() && !Quiet()) {}

std::string LiveLine::Text(const std::string& name, long written, long seconds,
                           const std::string& level) {
    std::string text = "recording " + name + ": " + std::to_string(written);
    if (seconds > 0) {
        text += " of " + std::to_string(seconds);
    }
    text += " s";
    if (!level.empty()) {
        text += ", " + level;
    }
    return text;
}

void LiveLine::Show(long written) {
    if (!live_) {
        return;
    }
    const std::string text = Text(name_, written, seconds_, level_);
    // Spaces over whatever a longer line before left.
    const std::size_t pad = shown_ > text.size() ? shown_ - text.size() : 0;
    WriteText(stderr, "\r" + text + std::string(pad, ' '));
    shown_ = text.size();
}

void LiveLine::End() const {
    if (live_) {
        WriteText(stderr, "\n");
    }
}

}  // namespace pendrax_host
