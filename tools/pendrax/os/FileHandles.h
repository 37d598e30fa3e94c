// The open files of a recording: the module's file read while it grows,
// and the stream a copy goes to.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "Cli.h"

namespace pendrax_host {

// A file read while another handle (the module's) writes it.
class GrowingFile {
public:
    GrowingFile() = default;
    GrowingFile(const GrowingFile&) = delete;
    GrowingFile& operator=(const GrowingFile&) = delete;
    ~GrowingFile() { Close(); }

    bool Open(const Arg& path);
    std::int64_t Size() const;  // -1 when unknown
    bool ReadAt(std::int64_t offset, unsigned char* bytes, std::size_t count) const;
    void Close();

private:
    std::intptr_t handle_ = -1;
};

// Where a stream goes: standard output for "-", otherwise OUT opened for
// writing as it is (nothing is created).
class StreamSink {
public:
    StreamSink() = default;
    StreamSink(const StreamSink&) = delete;
    StreamSink& operator=(const StreamSink&) = delete;
    ~StreamSink();

    bool Open(const Arg& out, std::string& reason);
    bool Write(const unsigned char* bytes, std::size_t count, std::string& reason);
    // Writes `head` over the start when the stream is a regular file that
    // can be rewound (standard output redirected to a file); else nothing.
    void RewriteHead(const unsigned char* head, std::size_t bytes);

private:
    std::intptr_t handle_ = -1;
    bool owned_ = false;
};

}  // namespace pendrax_host
