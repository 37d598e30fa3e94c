// The line that shows a recording's progress on a terminal, redrawn in
// place: the seconds written (of the asked length) and the level of the
// latest second, so a silent or muted input shows at once.
#pragma once

#include <cstddef>
#include <string>
#include <utility>

namespace pendrax_host {

class LiveLine {
public:
    // Shown only when standard error is a terminal; seconds 0 for no limit.
    LiveLine(std::string name, long seconds);
    void Level(std::string level) { level_ = std::move(level); }
    void Show(long written);
    // Ends the line, so that the report starts on a line of its own.
    void End() const;

    // The line's text: "recording 'X': 3 of 10 s, peak -6.0 dBFS".
    static std::string Text(const std::string& name, long written, long seconds,
                            const std::string& level);

    // The line cut to fit a terminal `columns` wide (0: as it is): the
    // name goes first, the figures last.
    static std::string Fit(const std::string& text, std::size_t columns);

private:
    std::string name_;
    long seconds_;
    bool live_;
    std::string level_;
    std::size_t shown_ = 0;
};

}  // namespace pendrax_host
