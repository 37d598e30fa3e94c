#include "LiveLine.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

#include "Cli.h"
#include "Os.h"

namespace pendrax_host {

std::string LevelText(int peak) {
    if (peak <= 0) {
        return "no signal";
    }
    char text[32];
    (void)std::snprintf(text, sizeof text, "peak %.1f dBFS", 20.0 * std::log10(peak / 32768.0));
    return text;
}

namespace {

// The character at `at`, moving past it; a stray byte stands for itself.
char32_t DecodeUtf8(const std::string& text, std::size_t& at) {
    const auto byte = [&text](std::size_t index) {
        return static_cast<unsigned char>(text[index]);
    };
    const unsigned char lead = byte(at++);
    const std::size_t more = lead >= 0xF0U ? 3 : lead >= 0xE0U ? 2 : lead >= 0xC0U ? 1 : 0;
    char32_t character = more == 0 ? lead : lead & (0x3FU >> more);
    for (std::size_t i = 0; i < more && at < text.size() && (byte(at) & 0xC0U) == 0x80U; ++i) {
        character = (character << 6) | (byte(at++) & 0x3FU);
    }
    return character;
}

}  // namespace

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
            columns += CharacterColumns(DecodeUtf8(line, at));
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
