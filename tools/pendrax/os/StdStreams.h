// The streams the module cannot open by name on its own: an input read once
// (standard input, a pipe, a FIFO, a device) handed on through a feed, and
// standard output as the output.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "Cli.h"

namespace pendrax_host {


// An input read once, in binary mode: "-" is standard input, any other
// path is opened here (a FIFO waits for its writer, as for any reader).
class StreamSource {
public:
    bool Open(const Arg& input, std::string& reason);
    // Reads until `want` bytes or the end; false with the reason on an error.
    bool Read(unsigned char* bytes, std::size_t want, std::size_t& got, std::string& reason);
    StreamSource();
    StreamSource(const StreamSource&) = delete;
    StreamSource& operator=(const StreamSource&) = delete;
    ~StreamSource();

private:
    friend class StreamFeed;
    struct State;
    std::unique_ptr<State> state_;
};

// The module's input: the first bytes (read already, perhaps mended), then
// the rest of the source, up to `limit` bytes in all (-1: to its end). What
// the source holds past the limit is read and kept out; its first bytes
// and its length are noted. Begin gives the path to hand to the module;
// Finish waits for the copy.
class StreamFeed {
public:
    bool Begin(StreamSource& source, const unsigned char* head, std::size_t count,
               std::int64_t limit, Arg& path, std::string& reason);
    struct Result {
        std::int64_t passed = 0;          // bytes handed to the module
        std::int64_t leftOut = 0;         // bytes past the limit
        unsigned char leftHead[12] = {};  // their first bytes
    };
    Result Finish();
    // Of `size` bytes read, how many go to the module while `room` lasts;
    // the rest is noted in `result` as left out.
    static std::int64_t Take(Result& result, std::int64_t& room, const unsigned char* bytes,
                             std::int64_t size) {
        const std::int64_t taken = size < room ? size : room;
        const std::int64_t over = size - taken;
        if (over > 0 && result.leftOut == 0) {
            const std::int64_t kept = over < 12 ? over : 12;
            std::memcpy(result.leftHead, bytes + taken, static_cast<std::size_t>(kept));
        }
        room -= taken;
        result.passed += taken;
        result.leftOut += over;
        return taken;
    }
    StreamFeed();
    StreamFeed(const StreamFeed&) = delete;
    StreamFeed& operator=(const StreamFeed&) = delete;
    ~StreamFeed();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Standard output for the module, by a path of its own.
class StdoutSink {
public:
    bool Begin(Arg& path, std::string& reason);
    // False with the reason if the WAV could not be delivered.
    bool Finish(std::string& reason);
    // True when delivery failed because the reader closed its end early.
    bool ReaderGone() const { return readerGone_; }
    StdoutSink();
    StdoutSink(const StdoutSink&) = delete;
    StdoutSink& operator=(const StdoutSink&) = delete;
    ~StdoutSink();

private:
    struct State;
    std::unique_ptr<State> state_;
    bool readerGone_ = false;
};

}  // namespace pendrax_host
