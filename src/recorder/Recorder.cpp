// The recorder: SoundRecorderStart, the capture callback, SoundRecorderStop.
//
// One module-wide RecorderState. The exports run on the host's thread and the
// callback on the capture service's own thread; a mutex keeps them apart.
// The callback holds it for its whole body, and SoundRecorderStop releases
// it while it stops and closes the device, because the service hands back
// the block in progress through the callback before the stop returns. That
// block, the last partial second, is written like any other but not queued
// again; once the device is closed no callback can come, and only then is
// the header finalised and the file closed.
#include "Recorder.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "Files.h"
#include "PendraxWAVFlanger.h"
#include "WavHeader.h"

namespace pendrax::recorder {
namespace {

enum class Phase {
    Idle,       // no recording; start is accepted
    Recording,  // started (successfully or not) and not yet stopped
};

struct RecorderState {
    std::FILE* file = nullptr;
    wavein::HWAVEIN device = nullptr;
    bool deviceOpen = false;
    WAVEHDR bufferHeader{};
    char captureBuffer[kBlockBytes] = {};
    char writeBuffer[kBlockBytes] = {};
    std::int32_t blockCount = 0;
    // The last recording's final header, kept after its file is closed.
    // cppcheck-suppress unusedStructMember
    WavHeader header{};
    const std::int32_t captureRate = kSampleRate;

    Phase phase = Phase::Idle;
    bool stopping = false;     // stop has begun: a block handed back is not queued again
    bool writeFailed = false;  // a block could not be written: no more are
    std::mutex lock;
};

RecorderState state;

constexpr int kSuccess = PENDRAX_SUCCESS;
constexpr std::uint32_t kWholeFileHeader = static_cast<std::uint32_t>(kWavHeaderBytes);

bool WriteAt(std::FILE* file, long offset, const void* bytes, std::size_t count) {
    return std::fseek(file, offset, SEEK_SET) == 0 && std::fwrite(bytes, 1, count, file) == count;
}

// Brings the two size fields in the file up to blockCount, so a recording
// cut short by the host's death is still a valid WAV of every block so far.
bool WriteSizes(std::FILE* file, std::uint32_t blockCount) {
    WavHeader current{};
    Finalise(current, blockCount);
    unsigned char riffSize[4];
    unsigned char dataSize[4];
    PutLittleEndian32(riffSize, current.riffSize);
    PutLittleEndian32(dataSize, current.dataSize);
    return WriteAt(file, kRiffSizeOffset, riffSize, 4) &&
           WriteAt(file, kDataSizeOffset, dataSize, 4) && std::fflush(file) == 0;
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
        std::fseek(file, 0, SEEK_END) == 0 &&
        std::fwrite(state.writeBuffer, 2, kBlockBytes / 2, file) == kBlockBytes / 2 &&
        WriteSizes(file, written + 1);
    if (appended) {
        state.blockCount = static_cast<std::int32_t>(written + 1);
        return;
    }
    state.writeFailed = true;
    std::clearerr(file);
    platform::TruncateFile(file, BytesFor(written));
    WriteSizes(file, written);
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
    state.deviceOpen = true;
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
    if (state.phase != Phase::Recording || !state.deviceOpen || device != state.device) {
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
    if (!state.stopping) {
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
    WavHeader placeholder{};
    Finalise(placeholder, 0);
    unsigned char bytes[kWavHeaderBytes];
    SerialiseWavHeader(placeholder, bytes);
    if (std::fwrite(bytes, sizeof bytes, 1, file) != 1 || std::fflush(file) != 0) {
        (void)std::fclose(file);
        return PENDRAX_RECORDER_FILE_FAILED;
    }
    state.file = file;
    state.blockCount = 0;
    state.writeFailed = false;
    state.stopping = false;
    state.deviceOpen = false;
    state.device = nullptr;
    state.phase = Phase::Recording;
    return OpenCaptureDevice();
}

extern "C" PENDRAX_API int SoundRecorderStop(void) {
    wavein::HWAVEIN device = nullptr;
    bool deviceOpen = false;
    {
        std::lock_guard<std::mutex> guard(state.lock);
        if (state.phase != Phase::Recording || state.stopping) {
            return 0;
        }
        // A callback under way has finished its block; the one the stop
        // hands back is written but not queued again.
        state.stopping = true;
        device = state.device;
        deviceOpen = state.deviceOpen;
    }
    if (deviceOpen) {
        CloseCaptureDevice(device);
    }
    std::lock_guard<std::mutex> guard(state.lock);
    state.deviceOpen = false;
    const std::int32_t blockCount = state.blockCount;
    Finalise(state.header, static_cast<std::uint32_t>(blockCount));
    unsigned char bytes[kWavHeaderBytes];
    SerialiseWavHeader(state.header, bytes);
    std::clearerr(state.file);
    WriteAt(state.file, 0, bytes, sizeof bytes);
    // Unbuffered: every byte was written or refused already, and the count
    // returned is what the file holds either way.
    (void)std::fclose(state.file);
    state.file = nullptr;
    state.stopping = false;
    state.phase = Phase::Idle;
    return blockCount;
}
