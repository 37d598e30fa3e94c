/*
 * PendraxWAVFlanger: a flanger for 16-bit mono PCM WAV files and a recorder
 * of the default audio input, as three plain C functions.
 *
 * Paths are null-terminated strings of 16-bit code units (UTF-16) on every
 * platform: wchar_t on Windows, char16_t elsewhere. The module never writes
 * through them.
 */
#ifndef PENDRAX_WAV_FLANGER_H
#define PENDRAX_WAV_FLANGER_H

#if defined(_WIN32)
#include <wchar.h>
typedef wchar_t PendraxWideChar;
#elif defined(__cplusplus)
typedef char16_t PendraxWideChar;
#else
#include <uchar.h>
typedef char16_t PendraxWideChar;
#endif

#if defined(_WIN32)
#if defined(PENDRAX_BUILDING_MODULE)
#define PENDRAX_API __declspec(dllexport)
#else
#define PENDRAX_API __declspec(dllimport)
#endif
#elif defined(PENDRAX_BUILDING_MODULE)
#define PENDRAX_API __attribute__((visibility("default")))
#else
#define PENDRAX_API
#endif

/* The files the module reads and writes: a 44-byte header, then mono
 * signed 16-bit samples at 8000 per second. A recording grows by one block
 * of one second (16000 bytes) at a time. */
#define PENDRAX_WAV_HEADER_BYTES 44
#define PENDRAX_SAMPLE_RATE 8000
#define PENDRAX_BLOCK_BYTES 16000
/* The most blocks a recording holds: the most whose sizes the header's
 * 32-bit fields describe exactly. */
#define PENDRAX_MAX_BLOCKS 268435

/* Success, for WAVFlanger and SoundRecorderStart. */
#define PENDRAX_SUCCESS 999

/* WAVFlanger failures. */
#define PENDRAX_FLANGER_OPEN_FAILED 1 /* input or output could not be opened */
#define PENDRAX_FLANGER_IO_FAILED 2   /* reading, writing or closing failed */

/* SoundRecorderStart failures. */
#define PENDRAX_RECORDER_DEVICE_OPEN_FAILED 1 /* the capture device did not open */
#define PENDRAX_RECORDER_QUEUE_FAILED 2       /* the capture buffer was not queued */
#define PENDRAX_RECORDER_START_FAILED 3       /* capture did not start */
#define PENDRAX_RECORDER_FILE_FAILED 4        /* the output file could not be created */
#define PENDRAX_RECORDER_BUSY 5               /* a recording is already in progress */

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Applies the flanger (a comb whose delay sweeps between 2 and 37 samples,
 * one cycle every 2 seconds at 8000 samples per second) to inputPath and
 * writes the result to outputPath. The first 44 bytes of the input are copied
 * unchanged; everything after them is treated as mono signed 16-bit
 * little-endian samples (a trailing odd byte is dropped). Prints one line to
 * standard output.
 *
 * Returns PENDRAX_SUCCESS (999); PENDRAX_FLANGER_OPEN_FAILED (1) when either
 * file cannot be opened, or the output names the input file itself (no
 * output is created or truncated); PENDRAX_FLANGER_IO_FAILED (2) when reading
 * the input or writing the output fails (the output holds what was written
 * before the failure).
 */
PENDRAX_API int WAVFlanger(const PendraxWideChar* inputPath, const PendraxWideChar* outputPath);

/*
 * Starts recording the default audio input (8000 Hz, mono, 16-bit) into a WAV
 * file at path, created or truncated. Blocks of one second are appended in
 * order, and the header is kept up to date after each one, so the file is a
 * valid WAV whenever it is cut short. A capture thread reads the device into
 * a buffer of 32 seconds and never waits on the file, so a write held up for
 * up to 30 seconds loses nothing. Audio that could not be kept (a write held
 * up longer, the device's own overrun, a suspend) is written as silence of
 * the same length: the file's timeline is the time recorded, never spliced.
 * If capture ends by itself (the device or the sound server goes away), or
 * a write fails, the file stops growing; the blocks written stay, and
 * SoundRecorderStop still finalises it. On Linux the ALSA device is
 * $PENDRAX_CAPTURE_DEVICE when set, else "default".
 *
 * Returns PENDRAX_SUCCESS (999); 1 when the capture device does not open,
 * 3 when capture does not start (in these two cases the file holds the
 * header for no blocks; SoundRecorderStop, or the next start, finishes it);
 * 4 when the file cannot be created or its header
 * not written (nothing is left open); 5 when a recording is already in
 * progress or being stopped (it is left untouched). 2 (the capture buffer
 * could not be queued) is not returned by this version.
 */
PENDRAX_API int SoundRecorderStart(const PendraxWideChar* path);

/*
 * Stops the recording: nothing captured after the call is written. The
 * second in progress is kept, its unrecorded rest set to silence, so the
 * last block may end in silence. The file gets its final header and is
 * closed. Returns the number of one-second blocks in the file; 0 when no
 * recording was started, or it was already stopped. Calls made at the same
 * time all wait for the one stop and return the same count.
 *
 * It returns within milliseconds, unless a write is held up (a stalled disk):
 * then it waits for it 2 seconds at most and returns the blocks the file
 * holds, leaving the held write to finish the block in progress and its
 * header once the system lets it, and the file closed after that.
 *
 * A forked child sees no recording: its stop returns 0 and its exit leaves
 * the parent's recording as it was. On Linux, unloading the library stops a
 * recording still running. On
 * Windows, call SoundRecorderStop before FreeLibrary: the loader lock
 * forbids waiting for the capture thread while the DLL detaches.
 */
PENDRAX_API int SoundRecorderStop(void);

#ifdef __cplusplus
}
#endif

#endif /* PENDRAX_WAV_FLANGER_H */
