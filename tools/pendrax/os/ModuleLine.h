// What the module prints while it runs, kept so that the host decides where
// its line goes (or that it goes nowhere).
#pragma once

#include <cstdio>
#include <string>

namespace pendrax_host {

class ModuleLine {
public:
    // From here on, standard output's descriptor points at a temporary file.
    void Begin();
    // Standard output as it was, and what was printed meanwhile.
    std::string Finish();
    ModuleLine() = default;
    ModuleLine(const ModuleLine&) = delete;
    ModuleLine& operator=(const ModuleLine&) = delete;
    ~ModuleLine() { (void)Finish(); }

private:
    int saved_ = -1;
    std::FILE* kept_ = nullptr;
};

// The platform's part: a temporary file removed once closed, and descriptor
// 1 pointed at a descriptor, returning a copy of the one it replaced (-1
// when that fails), or restored from such a copy (`restore`).
std::FILE* TemporaryStream();
int PointStdoutAt(int descriptor);
void RestoreStdout(int saved);

}  // namespace pendrax_host
