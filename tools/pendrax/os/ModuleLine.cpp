#include "os/ModuleLine.h"

namespace pendrax_host {

void ModuleLine::Begin() {
    (void)std::fflush(stdout);
    kept_ = TemporaryStream();
    // Without a place to keep it, the line goes where it would have.
    saved_ = kept_ != nullptr ? PointStdoutAt(fileno(kept_)) : -1;
}

std::string ModuleLine::Finish() {
    std::string text;
    (void)std::fflush(stdout);
    if (saved_ >= 0) {
        RestoreStdout(saved_);
        saved_ = -1;
        // fseek, unlike rewind, says whether the stream went back to its start.
        const bool atStart = std::fseek(kept_, 0, SEEK_SET) == 0;
        char buffer[512];
        std::size_t got = 0;
        while (atStart && (got = std::fread(buffer, 1, sizeof buffer, kept_)) > 0) {
            text.append(buffer, got);
        }
    }
    if (kept_ != nullptr) {
        (void)std::fclose(kept_);
        kept_ = nullptr;
    }
    return text;
}

}  // namespace pendrax_host
