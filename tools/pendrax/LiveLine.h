// The line that shows a recording's progress on a terminal, redrawn in
// place and fitted to its width: the seconds written (of the asked length),
// the level of the latest second, so a silent or muted input shows at once,
// and any seconds lost.
#pragma once

#include <cstddef>
#include <string>

namespace pendrax_host {

// "peak -6.0 dBFS" for a block whose largest sample is `peak` (0-32768),
// or "no signal" for digital silence (a muted or missing input).
std::string LevelText(int peak);

class LiveLine {
public:
    // Shown only when standard error is a terminal and not -q; seconds 0
    // for no limit.
    LiveLine(std::string name, long seconds);
    // `level` and `lost` may be empty.
    void Show(long written, const std::string& level, const std::string& lost);
    // Ends the line, so that a message starts on a line of its own.
    void Break();

    // The line's text: "recording 'X': 3 of 10 s, peak -6.0 dBFS, 2 s lost (disk stalled)".
    static std::string Text(const std::string& name, long written, long seconds,
                            const std::string& level, const std::string& lost);
    // The line cut to fit a terminal `columns` wide (0: as it is): the name
    // goes first, then the tail, counting UTF-8 characters as columns.
    static std::string Fit(const std::string& text, std::size_t columns);

private:
    std::string name_;
    long seconds_;
    bool live_;
    std::size_t shown_ = 0;
};

}  // namespace pendrax_host
