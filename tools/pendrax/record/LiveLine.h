// The line that shows a recording's progress on a terminal, redrawn in place.
#pragma once

#include <string>

namespace pendrax_host {

class LiveLine {
public:
    // Shown only when standard error is a terminal.
    explicit LiveLine(std::string name);
    void Show(double elapsed, long written) const;
    // Ends the line, so that the report starts on a line of its own.
    void End() const;

private:
    std::string name_;
    bool live_;
};

}  // namespace pendrax_host
