// What the host needs from the system beyond the core's streams: the
// process's set-up, the requests to stop that come from outside, names and
// reasons, and the capture device.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "Cli.h"
#include "Io.h"
#include "Streams.h"

namespace pendrax_host {

using pendrax::platform::FileName;
using pendrax::platform::NativeFile;

// Things every command wants before it starts: SIGPIPE and SIGXFSZ ignored,
// so a closed pipe or a file-size limit fails a write instead of killing us;
// binary standard streams on Windows.
void PrepareProcess();

// Ctrl-C, SIGTERM, SIGHUP (Ctrl-Break and console close on Windows) set a
// flag instead of ending the process. A signal the host was started with
// ignored (nohup, a background job's SIGINT) stays ignored. StopDone tells
// a waiting console-close handler that the output is finished.
void InstallStopHandlers();
bool StopRequested();
// The host's thread sleeps in WaitForWake until WakeWaiter (from any
// thread), a stop request or `milliseconds` (-1: no limit); a wake-up that
// came while nobody waited ends the next wait at once. Before
// InstallStopHandlers, or where the system gave it nothing to wait on, the
// wait lasts at most a quarter of a second.
void WaitForWake(int milliseconds);
void WakeWaiter();
// The status a shell reports for the signal that asked (129, 130, 143).
int StopStatus();
void StopDone();

// While a flange writes `temporary` (empty for none), the same signals end
// the process at once, even in a read that waits on a pipe: `temporary`
// and, when not empty, `created` (a target the host made) are removed and
// `message` is printed first. On Windows, where a file open for writing
// cannot be removed, they only set the flag, and the flange's sink ends it.
void EndFlangeOnSignal(const FileName& temporary, const FileName& created,
                       const std::string& message);
// Around the commit, so that a signal cannot remove what was just made:
// HoldFlangeSignals(true) keeps the signals waiting; false lets them in again
// (the commit failed: the handler above runs). FlangeCommitted lets them in
// to end the process as they would by default, with nothing removed.
void HoldFlangeSignals(bool hold);
void FlangeCommitted();

// Writes `text` to `stream` (stdout or stderr) as its kind of stream wants
// it: UTF-16 on a Windows console, which shows UTF-8 text only so; the
// UTF-8 bytes anywhere else.
void WriteText(std::FILE* stream, const std::string& text);
// Whether standard error is a terminal, and its width in columns (0 when
// it is not one or does not say).
bool StderrIsTerminal();
std::size_t StderrColumns();
// The columns a terminal gives one character: 0 (a combining mark), 1, or
// 2 (a wide East Asian one); 1 for what the system cannot say.
std::size_t CharacterColumns(char32_t character);

// The name the system opens an argument by.
FileName NameOf(const Arg& arg);
// The system's text for an error number (errno; GetLastError on Windows).
std::string ErrorText(pendrax::io::OsError error);
// EPIPE, or its Windows counterparts: the reader of a pipe went away.
bool IsBrokenPipe(pendrax::io::OsError error);
// Whether the name leads to a file; with `orLink`, whether anything is at
// the name itself (a dangling link too).
bool Exists(const FileName& name, bool orLink = false);

// A name as messages show it.
std::string Utf8Name(const FileName& name);

// A second descriptor of an open file, locked as a replacement locks its
// target, or kNoFile where that cannot be (Windows, which cannot rename a
// file open for writing anyway).
NativeFile LockedCopy(NativeFile file);

// Whether a failure to make `name` is its folder's: the name is free and
// the folder refuses new files.
bool FolderFault(const FileName& name, pendrax::io::OsError error);

// Whether the recorder takes a capture device by name (ALSA does; winmm
// records the default input).
bool NamedCaptureDevices();

}  // namespace pendrax_host
