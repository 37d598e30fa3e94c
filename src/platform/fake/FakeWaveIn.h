// A wave-in layer that tests drive by hand, linked into the recorder's test
// build instead of the ALSA one. It keeps the same rules as the real
// service (a buffer must be prepared to be queued, a queued buffer cannot be
// released, a device holding one cannot be closed, no callback after close)
// and logs every call.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "WaveIn.h"

namespace fake_wave_in {

struct Behaviour {
    MMRESULT openResult = MMSYSERR_NOERROR;
    MMRESULT addResult = MMSYSERR_NOERROR;  // for the first queuing only
    MMRESULT startResult = MMSYSERR_NOERROR;
    // Bytes recorded (0x5A each) in the block that waveInStop hands back;
    // negative: it keeps the buffer.
    int stopHandsBack = 0;
};

// Forgets the log and sets how the next device behaves. No device may be open.
void Reset(const Behaviour& behaviour = Behaviour());

// Every call so far, by name: "open", "prepare", "add", "start", "stop",
// "reset", "unprepare", "close"; a call that failed is suffixed with "!".
std::vector<std::string> Calls();

bool DeviceOpen();
// Whether a buffer is queued now.
bool BufferQueued();
// Every size passed with a WAVEHDR was sizeof(WAVEHDR).
bool HeaderSizesRight();

// Fills the queued buffer's first `count` bytes with `fill` (the rest keeps
// what it held) and hands it back through WIM_DATA on this thread, as the
// service does when a block is complete. False, and nothing delivered, when
// no buffer is queued or capture is not running.
bool DeliverBlock(std::size_t count, unsigned char fill);

// Sends a message other than WIM_DATA to the callback.
void SendMessage(UINT message);

}  // namespace fake_wave_in
