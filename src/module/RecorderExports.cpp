// SoundRecorderStart and SoundRecorderStop: the recorder on a file, its
// header kept up to date after every block, mapped to the documented
// numbers. A start that failed after the file was created still needs its
// stop, which finishes the file, as it always has.
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <new>

#include "Files.h"
#include "PendraxWAVFlanger.h"
#include "Recorder.h"

namespace {

using namespace pendrax;

// An unbuffered file: every block reaches it at once, and a failed write
// leaves nothing pending that a later flush could add after the cut.
class FileSink final : public io::Sink {
public:
    explicit FileSink(std::FILE* file) : file_(file) {
        (void)std::setvbuf(file_, nullptr, _IONBF, 0);
    }
    ~FileSink() override { (void)std::fclose(file_); }
    FileSink(const FileSink&) = delete;
    FileSink& operator=(const FileSink&) = delete;

    io::Transfer Write(const void* data, std::size_t size) override {
        std::clearerr(file_);
        errno = 0;
        const std::size_t written =
            Seek(0, SEEK_END) ? std::fwrite(data, 1, size, file_) : std::size_t{0};
        return io::Transfer{written, written == size ? 0U : Error()};
    }
    bool Seekable() const override { return true; }
    io::OsError WriteAt(std::uint64_t offset, const void* data, std::size_t size) override {
        std::clearerr(file_);
        errno = 0;
        const bool written = Seek(static_cast<std::int64_t>(offset), SEEK_SET) &&
                             std::fwrite(data, 1, size, file_) == size;
        return written ? 0U : Error();
    }
    io::OsError Truncate(std::uint64_t size) override {
        std::clearerr(file_);
        return platform::TruncateFile(file_, size) ? 0U : Error();
    }

private:
    // 64-bit positions: Windows' fseek takes a 32-bit long, 2 GiB at most.
    bool Seek(std::int64_t offset, int origin) {
#if defined(_WIN32)
        return _fseeki64(file_, offset, origin) == 0;
#else
        return fseeko(file_, static_cast<off_t>(offset), origin) == 0;
#endif
    }
    static io::OsError Error() { return errno != 0 ? static_cast<io::OsError>(errno) : EIO; }

    std::FILE* file_;
};

struct RecorderState {
    std::mutex lock;  // Start against Start; a stop waits in the recorder, not here
    recorder::Recorder recorder;
    bool failedStart = false;  // a start failed after creating its file: a stop is owed
};

RecorderState& State() {
    static RecorderState* state = new RecorderState;  // outlives the unload's stop
    return *state;
}

// Whether the state was ever made: a stop before any start (the unload's,
// for one) then has nothing to stop and makes nothing that would outlive it.
std::atomic<bool> stateMade{false};

}  // namespace

extern "C" PENDRAX_API int SoundRecorderStart(const PendraxWideChar* path) {
    RecorderState& state = State();
    stateMade = true;
    std::lock_guard<std::mutex> guard(state.lock);
    if (state.failedStart || state.recorder.Recording()) {
        return PENDRAX_RECORDER_BUSY;
    }
    std::FILE* file = platform::OpenWideForWriting(path);
    if (file == nullptr) {
        return PENDRAX_RECORDER_FILE_FAILED;
    }
    std::shared_ptr<io::Sink> sink(new (std::nothrow) FileSink(file));
    if (sink == nullptr) {
        (void)std::fclose(file);
        return PENDRAX_RECORDER_DEVICE_OPEN_FAILED;
    }
    recorder::Options options;
#if !defined(_WIN32)
    // Read on the caller's thread; nothing here sets it.
    const char* device = std::getenv("PENDRAX_CAPTURE_DEVICE");  // NOLINT(concurrency-mt-unsafe)
    options.device = device != nullptr ? device : "";
#endif
    switch (state.recorder.Start(std::move(sink), options).result) {
        case recorder::StartResult::Started: return PENDRAX_SUCCESS;
        case recorder::StartResult::WriteFailed: return PENDRAX_RECORDER_FILE_FAILED;
        case recorder::StartResult::Busy: return PENDRAX_RECORDER_BUSY;
        case recorder::StartResult::StartFailed:
            state.failedStart = true;
            return PENDRAX_RECORDER_START_FAILED;
        case recorder::StartResult::DeviceOpenFailed:
        case recorder::StartResult::OutOfResources: break;
    }
    state.failedStart = true;
    return PENDRAX_RECORDER_DEVICE_OPEN_FAILED;
}

extern "C" PENDRAX_API int SoundRecorderStop(void) {
    if (!stateMade) {
        return 0;
    }
    RecorderState& state = State();
    {
        std::lock_guard<std::mutex> guard(state.lock);
        if (state.failedStart) {
            state.failedStart = false;  // its file holds the header for no blocks
            return 0;
        }
    }
    return static_cast<int>(state.recorder.Stop().counts.blocks);
}
