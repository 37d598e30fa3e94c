#include "LiveLine.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

#include "Cli.h"
#include "Os.h"
#include "Utf8.h"

namespace pendrax_host {

std::string LevelText(int peak) {
    if (peak <= 0) {
        return "no signal";
    }
    char text[32];
    (void)std::snprintf(text, sizeof text, "peak %.1f dBFS", 20.0 * std::log10(peak / 32768.0));
    return text;
}

LiveLine::LiveLine(std::string name, long seconds)
    : name_(std::move(name)), seconds_(seconds), live_(StderrIsTerminal() && !Quiet()) {}

std::string LiveLine::Text(const std::string& name, long written, long seconds,
                           const std::string& level, const std::string& lost) {
    std::string text = "recording " + name + ": " + std::to_string(written);
    if (seconds > 0) {
        text += " of " + std::to_string(seconds);
    }
    text += " s";
    for (const std::string* part : {&level, &lost}) {
        if (!part->empty()) {
            text += ", " + *part;
        }
    }
    return text;
}

std::string LiveLine::Fit(const std::string& text, std::size_t columns) {
    // The cursor stays on the line, so one column is kept free.
    if (columns == 0) {
        return text;
    }
    const auto width = [](const std::string& line) {
        std::size_t columns = 0;
        for (std::size_t at = 0; at < line.size();) {
            char32_t character = 0;
            const std::size_t length = DecodeUtf8(line, at, character);
            columns += length == 0 ? 1 : CharacterColumns(character);  // a stray byte: one
            at += length == 0 ? 1 : length;
        }
        return columns;
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

void LiveLine::Show(long written, const std::string& level, const std::string& lost) {
    if (!live_) {
        return;
    }
    const std::size_t columns = StderrColumns();
    const std::string text = Fit(Text(name_, written, seconds_, level, lost), columns);
    // Spaces over whatever a longer line before left, never past the edge.
    std::size_t pad = shown_ > text.size() ? shown_ - text.size() : 0;
    if (columns > 0) {
        pad = std::min(pad, columns - 1 - std::min(columns - 1, text.size()));
    }
    WriteText(stderr, "\r" + text + std::string(pad, ' '));
    shown_ = text.size();
}

void LiveLine::Break() {
    if (live_ && shown_ > 0) {
        WriteText(stderr, "\n");
        shown_ = 0;
    }
}

}  // namespace pendrax_host
