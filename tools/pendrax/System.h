// What the host needs from the operating system, with one implementation
// for POSIX (SystemPosix.cpp) and one for Windows (SystemWin32.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "Utf8.h"

namespace pendrax_host {

// One command-line argument: its UTF-8 text for messages and options, and
// its 16-bit form for the module (valid is false when it has none).
struct Arg {
    std::string text;
    WidePath wide;
    bool valid = true;
};

// Things every command wants before it starts: SIGPIPE and SIGXFSZ ignored,
// so a closed pipe or a file-size limit fails a write instead of killing us.
void PrepareProcess();

// The system's text for the last failed call (errno; GetLastError on Windows).
std::string LastError();

// Reads up to `want` bytes from the start of the file. Returns false with
// the reason when it cannot be opened (opened false) or read.
bool ReadHead(const Arg& path, unsigned char* bytes, std::size_t want, std::size_t& got,
              bool& opened, std::string& reason);

// Reads up to `want` bytes from standard input (in binary mode), unbuffered
// so the rest of the stream is left for StdinFeed.
bool ReadStdinHead(unsigned char* bytes, std::size_t want, std::size_t& got, std::string& reason);

// Reads the file to its end; false with the reason when that fails.
bool ReadsToEnd(const Arg& path, std::string& reason);

// Why the file cannot be opened for writing, found without creating or
// truncating anything that exists; empty when it can be.
std::string WriteOpenFailure(const Arg& path);

// Why writing to the end of the file fails, by trying one byte that is then
// taken back; empty when the write succeeds.
std::string AppendFailure(const Arg& path);

// True when both paths name one existing file.
bool SameFile(const Arg& first, const Arg& second);

// The file's size in bytes, or -1.
std::int64_t FileSize(const Arg& path);

// Why a file that stopped growing could not grow by `bytes` more: no room
// on its file system or a file-size limit; empty when neither holds.
std::string GrowthFailure(const Arg& path, std::int64_t bytes);

// Selects the capture device for the module; false where the platform's
// recorder always uses the default input.
bool SelectCaptureDevice(const std::string& name);

bool StderrIsTerminal();
void SleepMilliseconds(int milliseconds);

// Ctrl-C, SIGTERM (Ctrl-Break and console close on Windows) set a flag
// instead of ending the process; StopDone tells a waiting console-close
// handler that the file is finished.
void InstallStopHandlers();
bool StopRequested();
void StopDone();

// Standard input for the module: the header bytes already read, then the
// rest of the stream. Begin gives the path to hand to the module; Finish
// waits for the copy and returns the bytes passed on.
class StdinFeed {
public:
    bool Begin(const unsigned char* head, std::size_t count, Arg& path, std::string& reason);
    std::int64_t Finish();
    StdinFeed();
    StdinFeed(const StdinFeed&) = delete;
    StdinFeed& operator=(const StdinFeed&) = delete;
    ~StdinFeed();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Standard output for the module, with the module's own line sent to
// standard error meanwhile so that standard output carries only the WAV.
class StdoutSink {
public:
    bool Begin(Arg& path, std::string& reason);
    // Restores standard output; false with the reason if the WAV could not
    // be delivered to it.
    bool Finish(std::string& reason);
    StdoutSink();
    StdoutSink(const StdoutSink&) = delete;
    StdoutSink& operator=(const StdoutSink&) = delete;
    ~StdoutSink();

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace pendrax_host
