// The recorder's file access for the capture tests: a real file, or a sink
// in memory, whose writes stall while the test holds them, as on a slow disk.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "CaptureTest.h"
#include "Files.h"
#include "StandIn.h"

namespace {

std::mutex writes;  // held across a write, so a reader sees none half done
std::condition_variable released;
bool held = false;
int openFd = -1;  // the recording's; one at a time

int Fd(void* cookie) { return static_cast<int>(reinterpret_cast<std::intptr_t>(cookie)); }

ssize_t Write(void* cookie, const char* bytes, std::size_t size) {
    std::unique_lock<std::mutex> guard(writes);
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

namespace {

class MemorySink final : public pendrax::io::Sink {
public:
    pendrax::io::Transfer Write(const void* data, std::size_t size) override {
        std::unique_lock<std::mutex> guard(writes);
        released.wait(guard, [] { return !held; });
        const auto* bytes = static_cast<const unsigned char*>(data);
        written.insert(written.end(), bytes, bytes + size);
        return {size, 0};
    }
    bool Seekable() const override { return true; }
    pendrax::io::OsError WriteAt(std::uint64_t offset, const void* data,
                                 std::size_t size) override {
        const std::lock_guard<std::mutex> guard(writes);
        written.resize(std::max<std::size_t>(written.size(), offset + size));
        std::memcpy(written.data() + offset, data, size);
        return 0;
    }
    pendrax::io::OsError Truncate(std::uint64_t size) override {
        const std::lock_guard<std::mutex> guard(writes);
        written.resize(size);
        return 0;
    }
    pendrax_test::Bytes written;
};

}  // namespace

capture_test::Core::Core() : sink(std::make_shared<MemorySink>()) {}

pendrax_test::Bytes capture_test::Core::Written() const {
    const std::lock_guard<std::mutex> guard(writes);
    return static_cast<const MemorySink&>(*sink).written;
}

void standin::HoldWrites(bool hold) {
    std::lock_guard<std::mutex> guard(writes);
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
