#include <fcntl.h>
#include <unistd.h>

#include "os/ModuleLine.h"

namespace pendrax_host {

std::FILE* TemporaryStream() { return std::tmpfile(); }

int PointStdoutAt(int descriptor) {
    const int saved = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (saved >= 0 && ::dup2(descriptor, STDOUT_FILENO) < 0) {
        ::close(saved);
        return -1;
    }
    return saved;
}

void RestoreStdout(int saved) {
    (void)::dup2(saved, STDOUT_FILENO);
    ::close(saved);
}

}  // namespace pendrax_host
