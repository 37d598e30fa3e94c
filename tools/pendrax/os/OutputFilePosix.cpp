#include <fcntl.h>
#include <unistd.h>

#include "os/Io.h"
#include "os/OutputFile.h"

namespace pendrax_host {

bool WriteAtStart(const Arg& path, const unsigned char* bytes, std::size_t count,
                  std::string& reason) {
    const int fd = ::open(path.text.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        reason = LastError();
        return false;
    }
    const bool written = ::pwrite(fd, bytes, count, 0) == static_cast<ssize_t>(count);
    if (!written) {
        reason = LastError();
    }
    return ::close(fd) == 0 && written;
}

}  // namespace pendrax_host
