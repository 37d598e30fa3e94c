// The recorder's file access for the capture tests: a real file, or a sink
// in memory, whose writes stall while the test holds them, as on a slow disk.
#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>

#include "CaptureTest.h"
#include "RecordingFile.h"
#include "StandIn.h"
#include "Streams.h"

namespace {

namespace io = pendrax::io;

std::mutex writes;  // held across a write, so a reader sees none half done
// Never destroyed: a forked child exits without waiting for its parent's waiters.
std::condition_variable& released = *new std::condition_variable;
bool held = false;

void WaitWhileHeld(std::unique_lock<std::mutex>& guard) {
    released.wait(guard, [] { return !held; });
}

// A file whose appending writes wait while held.
class HeldFile final : public io::Sink {
public:
    io::Transfer Write(const void* data, std::size_t size) override {
        std::unique_lock<std::mutex> guard(writes);
        WaitWhileHeld(guard);
        return file.Write(data, size);
    }
    bool Seekable() const override { return file.Seekable(); }
    io::OsError WriteAt(std::uint64_t offset, const void* data, std::size_t size) override {
        const std::lock_guard<std::mutex> guard(writes);
        return file.WriteAt(offset, data, size);
    }
    io::OsError Truncate(std::uint64_t size) override {
        const std::lock_guard<std::mutex> guard(writes);
        return file.Truncate(size);
    }
    pendrax::platform::FileSink file;
};

class MemorySink final : public io::Sink {
public:
    io::Transfer Write(const void* data, std::size_t size) override {
        std::unique_lock<std::mutex> guard(writes);
        WaitWhileHeld(guard);
        const auto* bytes = static_cast<const unsigned char*>(data);
        written.insert(written.end(), bytes, bytes + size);
        return {size, 0};
    }
    bool Seekable() const override { return true; }
    io::OsError WriteAt(std::uint64_t offset, const void* data, std::size_t size) override {
        const std::lock_guard<std::mutex> guard(writes);
        written.resize(std::max<std::size_t>(written.size(), offset + size));
        std::memcpy(written.data() + offset, data, size);
        return 0;
    }
    io::OsError Truncate(std::uint64_t size) override {
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

int pendrax::module::OpenRecordingFile(const PendraxWideChar* path,
                                       std::shared_ptr<io::Sink>& sink) {
    auto file = std::make_shared<HeldFile>();
    if (platform::OpenSink(platform::NativeName(path), platform::Existing::kTruncate, file->file) !=
        0) {
        return PENDRAX_RECORDER_FILE_FAILED;
    }
    sink = std::move(file);
    return PENDRAX_SUCCESS;
}
