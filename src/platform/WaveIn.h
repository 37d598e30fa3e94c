// The wave-in capture service the recorder is written against: the system's
// wave-in operations, with their names, types and meanings, provided by a
// service of ours on every system, so that the recorder's callback always
// runs on a thread the module owns and may re-queue and write files there.
//
// - Windows: win32/WaveInWinmm.cpp, over winmm opened with CALLBACK_EVENT,
//   with several short driver buffers always queued.
// - Elsewhere: posix/WaveInAlsa.cpp, over ALSA.
// Both share WaveInService, which keeps 30 s of audio while the callback is
// busy.
// - Tests: fake/FakeWaveIn.cpp, driven by hand.
//
// The types and constants are the system's (mmsystem.h) on Windows and
// declared here, at the same global names, elsewhere. The operations live
// in pendrax::wavein, so they stand clear of winmm's own.
#pragma once

#if defined(_WIN32)

#include <windows.h>
#include <mmsystem.h>

#else

#include <cstdint>

using UINT = unsigned int;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using DWORD_PTR = std::uintptr_t;
using MMRESULT = UINT;
using LPSTR = char*;

struct WAVEFORMATEX {
    WORD wFormatTag;
    WORD nChannels;
    DWORD nSamplesPerSec;
    DWORD nAvgBytesPerSec;
    WORD nBlockAlign;
    WORD wBitsPerSample;
    WORD cbSize;
};

struct WAVEHDR {
    LPSTR lpData;
    DWORD dwBufferLength;
    DWORD dwBytesRecorded;
    DWORD_PTR dwUser;
    DWORD dwFlags;
    DWORD dwLoops;
    WAVEHDR* lpNext;
    DWORD_PTR reserved;
};

constexpr WORD WAVE_FORMAT_PCM = 1;
constexpr UINT WAVE_MAPPER = static_cast<UINT>(-1);
constexpr DWORD CALLBACK_FUNCTION = 0x00030000;

// Messages delivered to the callback.
constexpr UINT WIM_OPEN = 0x3BE;
constexpr UINT WIM_CLOSE = 0x3BF;
constexpr UINT WIM_DATA = 0x3C0;

// WAVEHDR::dwFlags.
constexpr DWORD WHDR_DONE = 0x01;
constexpr DWORD WHDR_PREPARED = 0x02;
constexpr DWORD WHDR_INQUEUE = 0x10;

// Results.
constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_ERROR = 1;
constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
constexpr MMRESULT MMSYSERR_ALLOCATED = 4;
constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
constexpr MMRESULT MMSYSERR_NODRIVER = 6;
constexpr MMRESULT MMSYSERR_NOMEM = 7;
constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
constexpr MMRESULT WAVERR_BADFORMAT = 32;
constexpr MMRESULT WAVERR_STILLPLAYING = 33;
constexpr MMRESULT WAVERR_UNPREPARED = 34;

#endif

namespace pendrax::wavein {

// An open device; each service defines the structure behind it.
struct Device;
using HWAVEIN = Device*;

// The callback's form: device, message, the instance value given at open,
// and two message parameters (for WIM_DATA, param1 is the WAVEHDR*). WIM_DATA
// comes on a thread the service owns, never inside a system callback;
// WIM_OPEN and WIM_CLOSE come on the thread calling waveInOpen and
// waveInClose, before those return.
using WaveInCallback = void (*)(HWAVEIN, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR);

// Opens a capture device (WAVE_MAPPER: the default input) in `format`.
// `callback` is a WaveInCallback cast to DWORD_PTR; with CALLBACK_FUNCTION
// it receives WIM_OPEN, WIM_DATA for every buffer handed back, WIM_CLOSE.
MMRESULT waveInOpen(HWAVEIN* device, UINT deviceId, const WAVEFORMATEX* format, DWORD_PTR callback,
                    DWORD_PTR instance, DWORD flags);
MMRESULT waveInPrepareHeader(HWAVEIN device, WAVEHDR* header, UINT headerSize);
// Queues a prepared buffer. Queued buffers are filled in order, without a
// gap between one and the next; each is handed back through WIM_DATA with
// WHDR_DONE set once full.
MMRESULT waveInAddBuffer(HWAVEIN device, WAVEHDR* header, UINT headerSize);
MMRESULT waveInStart(HWAVEIN device);
// Ends capture. Before it returns, everything captured before it has gone
// into the queued buffers, in order (each one full handed back, and the
// callback may queue it again), and then the buffer in progress has been
// handed back (its callback has run and returned) with the bytes recorded
// so far in dwBytesRecorded; the other queued buffers stay queued. Called
// from the callback, the hand-back follows once the callback returns. A
// capture that ended by itself (the device went away) has already handed
// back its buffer in progress, so a stop then hands back the next one empty.
MMRESULT waveInStop(HWAVEIN device);
// Ends capture and hands back every queued buffer, marked done.
MMRESULT waveInReset(HWAVEIN device);
MMRESULT waveInUnprepareHeader(HWAVEIN device, WAVEHDR* header, UINT headerSize);
// Closes the device; no callback runs after it returns, and none of the
// service's threads is left. Refused with WAVERR_STILLPLAYING while a
// buffer is still queued, and from inside the callback.
MMRESULT waveInClose(HWAVEIN device);

}  // namespace pendrax::wavein
