// The recorder's file access for the capture tests: a real file whose
// writes stall while the test holds them, as on a slow disk.
#include <fcntl.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

#include "Files.h"
#include "StandIn.h"

namespace {

std::mutex lock;
std::condition_variable released;
bool held = false;
int openFd = -1;  // the recording's; one at a time

int Fd(void* cookie) { return static_cast<int>(reinterpret_cast<std::intptr_t>(cookie)); }

ssize_t Write(void* cookie, const char* bytes, std::size_t size) {
    std::unique_lock<std::mutex> guard(lock);
    released.wait(guard, [] { return !held; });
    return ::write(Fd(cookie), bytes, size);
}

int Seek(void* cookie, off64_t* offset, int whence) {
    const off_t at = ::lseek(Fd(cookie), static_cast<off_t>(*offset), whence);
    *offset = at;
    return at < 0 ? -1 : 0;
}

int Close(void* cookie) { return ::close(Fd(cookie)); }

}  // namespace

void standin::HoldWrites(bool hold) {
    std::lock_guard<std::mutex> guard(lock);
    held = hold;
    released.notify_all();
}

std::FILE* pendrax::platform::OpenWideForWriting(const PendraxWideChar* path) {
    std::string name;
    for (; *path != 0; ++path) {
        name += static_cast<char>(*path);  // the tests' paths are ASCII
    }
    openFd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const cookie_io_functions_t io{nullptr, Write, Seek, Close};
    return openFd < 0
               ? nullptr
               : fopencookie(reinterpret_cast<void*>(static_cast<std::intptr_t>(openFd)), "wb", io);
}

bool pendrax::platform::TruncateFile(std::FILE* file, std::uint64_t size) {
    return std::fflush(file) == 0 && ::ftruncate(openFd, static_cast<off_t>(size)) == 0;
}
