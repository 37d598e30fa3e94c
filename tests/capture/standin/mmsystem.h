// The winmm declarations the capture service uses, as the winmm stand-in
// provides them: the types and constants are the ones the wave-in interface
// declares natively, and winmm's own device handle is a type apart.
#pragma once

#include "WaveIn.h"

struct StandInWaveIn;
using HWAVEIN = StandInWaveIn*;
constexpr DWORD CALLBACK_EVENT = 0x00050000;

MMRESULT waveInOpen(HWAVEIN* device, UINT deviceId, const WAVEFORMATEX* format, DWORD_PTR callback,
                    DWORD_PTR instance, DWORD flags);
MMRESULT waveInPrepareHeader(HWAVEIN device, WAVEHDR* header, UINT headerSize);
MMRESULT waveInUnprepareHeader(HWAVEIN device, WAVEHDR* header, UINT headerSize);
MMRESULT waveInAddBuffer(HWAVEIN device, WAVEHDR* header, UINT headerSize);
MMRESULT waveInStart(HWAVEIN device);
MMRESULT waveInStop(HWAVEIN device);
MMRESULT waveInReset(HWAVEIN device);
MMRESULT waveInClose(HWAVEIN device);
