// The standard streams: input and output handed to the module by a path,
// and whether standard error is a terminal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "cli/Args.h"

namespace pendrax_host {

// Reads up to `want` bytes from standard input (in binary mode), unbuffered
// so the rest of the stream is left for StdinFeed.
bool ReadStdinHead(unsigned char* bytes, std::size_t want, std::size_t& got, std::string& reason);

bool StderrIsTerminal();

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
