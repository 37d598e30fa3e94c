#include "record/LiveLine.h"

#include <cstdio>
#include <utility>

#include "Cli.h"
#include "Console.h"
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

std::string LiveLine::Fit(const std::string& text, std::size_t columns) {
    // The cursor stays on the line, so one column is kept free; the name
    // goes first, then the tail, counting UTF-8 characters as columns.
    if (columns == 0) {
        return text;
    }
    const auto width = [](const std::string& line) {
        std::size_t count = 0;
        for (const char c : line) {
            count += (static_cast<unsigned char>(c) & 0xC0U) != 0x80U ? 1 : 0;
        }
        return count;
    };
    std::string line = text;
    const std::size_t colon = line.find(": ");
    if (width(line) >= columns && colon != std::string::npos) {
        line = line.substr(colon + 2);
    }
    while (!line.empty() && width(line) >= columns) {
        while ((static_cast<unsigned char>(line.back()) & 0xC0U) == 0x80U) {
            line.pop_back();
        }
        line.pop_back();
    }
    return line;
}

void LiveLine::Show(long written) {
    if (!live_) {
        return;
    }
    const std::string text = Fit(Text(name_, written, seconds_, level_), StderrColumns());
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
