// The recorder: SoundRecorderStart, the capture callback, SoundRecorderStop.
//
// One module-wide RecorderState. The exports run on the host's thread and the
// callback on a thread of the capture service; a mutex keeps them apart.
// The callback holds it for its whole body, and SoundRecorderStop releases
// it while it stops and closes the device, because the service delivers
// what it captured before the stop, and hands back the block in progress,
// through the callback before the stop returns. A whole block is queued
// again even then, since samples may follow it; the last, partial block is
// written padded with silence and not queued again. Once the device is
// closed no callback can come, and only then is the header finalised and
// the file closed.
#include "WaveIn.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "Files.h"
#include "PendraxWAVFlanger.h"
#include "WavHeader.h"

namespace pendrax::recorder {

namespace wavein = pendrax::wavein;
int OpenCaptureDevice();
void OnCaptureBlock(wavein::HWAVEIN device, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                    DWORD_PTR param2);
using wav::Finalise;
using wav::kBlockBytes;
using wav::kMaxBlocks;
using wav::kSampleRate;
using wav::kWavHeaderBytes;
using wav::SerialiseWavHeader;
using wav::WavHeader;

namespace {

enum class Phase {
    Idle,       // no recording; start is accepted
    Recording,  // started (successfully or not) and not yet stopped
    Stopping,   // a stop has begun: the last, partial block is not queued again
};

struct RecorderState {
    std::FILE* file = nullptr;
    wavein::HWAVEIN device = nullptr;  // null while no device is open
    WAVEHDR bufferHeader{};
    char captureBuffer[kBlockBytes] = {};
    char writeBuffer[kBlockBytes] = {};
    std::int32_t blockCount = 0;
    const std::int32_t captureRate = kSampleRate;

    Phase phase = Phase::Idle;
    bool writeFailed = false;  // a block could not be written: no more are
    std::mutex lock;
};

RecorderState state;

constexpr int kSuccess = PENDRAX_SUCCESS;
constexpr std::uint32_t kWholeFileHeader = static_cast<std::uint32_t>(kWavHeaderBytes);

// 64-bit positions: Windows' fseek takes a 32-bit long, 2 GiB at most.
bool Seek(std::FILE* file, std::int64_t offset, int origin) {
#if defined(_WIN32)
    return _fseeki64(file, offset, origin) == 0;
#else
    return fseeko(file, static_cast<off_t>(offset), origin) == 0;
#endif
}

// Writes the header for blockCount blocks over the file's first bytes, so a
// recording cut short by the host's death is still a valid WAV of every
// block so far.
bool WriteHeader(std::FILE* file, std::uint32_t blockCount) {
    WavHeader header{};
    Finalise(header, blockCount);
    unsigned char bytes[kWavHeaderBytes];
    SerialiseWavHeader(header, bytes);
    return Seek(file, 0, SEEK_SET) && std::fwrite(bytes, sizeof bytes, 1, file) == 1 &&
           std::fflush(file) == 0;
}

std::uint64_t BytesFor(std::uint32_t blockCount) {
    return kWholeFileHeader + static_cast<std::uint64_t>(blockCount) * kBlockBytes;
}

// Appends writeBuffer as the next block. On any failure the file is cut back
// to its last whole block and writing ends for this recording.
void AppendBlock() {
    const std::uint32_t written = static_cast<std::uint32_t>(state.blockCount);
    std::FILE* file = state.file;
    const bool appended =
        Seek(file, 0, SEEK_END) &&
        std::fwrite(state.writeBuffer, 2, kBlockBytes / 2, file) == kBlockBytes / 2 &&
        WriteHeader(file, written + 1);
    if (appended) {
        state.blockCount = static_cast<std::int32_t>(written + 1);
        return;
    }
    state.writeFailed = true;
    std::clearerr(file);
    platform::TruncateFile(file, BytesFor(written));
    WriteHeader(file, written);
    std::clearerr(file);
}

void ResetBufferHeader() {
    state.bufferHeader = WAVEHDR{};
    state.bufferHeader.lpData = state.captureBuffer;
    state.bufferHeader.dwBufferLength = kBlockBytes;
}

// Stops capture and gives the device back. A platform that keeps a queued
// buffer after a stop refuses to release it; a reset returns it, so the
// device can always be closed.
void CloseCaptureDevice(wavein::HWAVEIN device) {
    wavein::waveInStop(device);
    if (wavein::waveInUnprepareHeader(device, &state.bufferHeader, sizeof(WAVEHDR)) ==
        WAVERR_STILLPLAYING) {
        wavein::waveInReset(device);
        wavein::waveInUnprepareHeader(device, &state.bufferHeader, sizeof(WAVEHDR));
    }
    wavein::waveInClose(device);
}

}  // namespace

int OpenCaptureDevice() {
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 1;
    format.nSamplesPerSec = static_cast<DWORD>(state.captureRate);
    format.nAvgBytesPerSec = static_cast<DWORD>(2 * state.captureRate);
    format.nBlockAlign = 2;
    format.wBitsPerSample = 16;
    format.cbSize = 0;

    wavein::HWAVEIN device = nullptr;
    if (wavein::waveInOpen(&device, WAVE_MAPPER, &format,
                           reinterpret_cast<DWORD_PTR>(&OnCaptureBlock), 0,
                           CALLBACK_FUNCTION) != MMSYSERR_NOERROR) {
        return PENDRAX_RECORDER_DEVICE_OPEN_FAILED;
    }
    state.device = device;
    ResetBufferHeader();
    wavein::waveInPrepareHeader(device, &state.bufferHeader, sizeof(WAVEHDR));
    if (wavein::waveInAddBuffer(device, &state.bufferHeader, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
        return PENDRAX_RECORDER_QUEUE_FAILED;
    }
    if (wavein::waveInStart(device) != MMSYSERR_NOERROR) {
        return PENDRAX_RECORDER_START_FAILED;
    }
    return kSuccess;
}

void OnCaptureBlock(wavein::HWAVEIN device, UINT message, DWORD_PTR, DWORD_PTR, DWORD_PTR) {
    // The open and close notifications may come on the thread that holds the lock.
    if (message != WIM_DATA) {
        return;
    }
    std::lock_guard<std::mutex> guard(state.lock);
    // Nothing to do without a recording, nor for a device that is not ours.
    if (state.phase == Phase::Idle || state.device == nullptr || device != state.device) {
        return;
    }
    DWORD recorded = state.bufferHeader.dwBytesRecorded;
    if (recorded > kBlockBytes) {
        recorded = kBlockBytes;
    }
    recorded -= recorded % 2;  // whole samples only
    std::memcpy(state.writeBuffer, state.captureBuffer, recorded);
    // Silence, not whatever an earlier second left in the buffer.
    std::memset(state.writeBuffer + recorded, 0, kBlockBytes - recorded);
    state.bufferHeader.dwBytesRecorded = 0;
    // Samples may follow a whole block, even during a stop.
    if (state.phase == Phase::Recording || recorded == kBlockBytes) {
        wavein::waveInAddBuffer(device, &state.bufferHeader, sizeof(WAVEHDR));
    }

    if (recorded == 0 || state.writeFailed ||
        static_cast<std::uint32_t>(state.blockCount) >= kMaxBlocks) {
        return;
    }
    AppendBlock();
}

}  // namespace pendrax::recorder

using namespace pendrax::recorder;

extern "C" PENDRAX_API int SoundRecorderStart(const PendraxWideChar* path) {
    std::lock_guard<std::mutex> guard(state.lock);
    if (state.phase != Phase::Idle) {
        return PENDRAX_RECORDER_BUSY;
    }
    std::FILE* file = pendrax::platform::OpenWideForWriting(path);
    if (file == nullptr) {
        return PENDRAX_RECORDER_FILE_FAILED;
    }
    // Unbuffered: every block reaches the file at once, and a failed write
    // leaves nothing pending that a later flush could add after the cut.
    (void)std::setvbuf(file, nullptr, _IONBF, 0);
    if (!WriteHeader(file, 0)) {
        (void)std::fclose(file);
        return PENDRAX_RECORDER_FILE_FAILED;
    }
    state.file = file;
    state.blockCount = 0;
    state.writeFailed = false;
    state.device = nullptr;
    state.phase = Phase::Recording;
    return OpenCaptureDevice();
}

extern "C" PENDRAX_API int SoundRecorderStop(void) {
    wavein::HWAVEIN device = nullptr;
    {
        std::lock_guard<std::mutex> guard(state.lock);
        if (state.phase != Phase::Recording) {
            return 0;
        }
        // A callback under way has finished its block; what the stop hands
        // back is written, and only its last, partial block not queued again.
        state.phase = Phase::Stopping;
        device = state.device;
    }
    if (device != nullptr) {
        CloseCaptureDevice(device);
    }
    std::lock_guard<std::mutex> guard(state.lock);
    state.device = nullptr;
    const std::int32_t blockCount = state.blockCount;
    std::clearerr(state.file);
    WriteHeader(state.file, static_cast<std::uint32_t>(blockCount));
    // Unbuffered: every byte was written or refused already, and the count
    // returned is what the file holds either way.
    (void)std::fclose(state.file);
    state.file = nullptr;
    state.phase = Phase::Idle;
    return blockCount;
}
