// The size fields of a canonical header against the input's real length:
// zero, a stream's placeholder, a body cut short, or bytes after the data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace pendrax_host {

struct SizeCheck {
    std::uint32_t dataSize = 0;    // the header's data size
    bool realSize = false;         // neither 0 nor a stream's placeholder
    std::string found;             // what disagrees with the length; empty when nothing
    std::int64_t trailingAt = -1;  // where bytes after the data begin, or -1
};

// Judges the 44-byte canonical header of an input of `length` bytes (-1 for
// a stream, whose length is not known: only a zero size is then wrong).
SizeCheck CheckSizes(const unsigned char* header, std::int64_t length);

// Sets the RIFF and data sizes for `dataBytes` of samples (at most what
// 32-bit fields hold).
void SetSizes(unsigned char* header, std::uint64_t dataBytes);

// Sets both sizes to the largest value, as a recorder writing to a pipe
// does: readers take the samples to the end of the stream.
void SetStreamSizes(unsigned char* header);

// What a reader takes from `written` bytes of samples under this header:
// all when its sizes are a stream's placeholder, else no more than its
// data size says.
std::uint64_t ReadableBytes(const unsigned char* header, std::uint64_t written);

// Names what follows the data: "chunk 'LIST' (26 bytes)", "an ID3 tag",
// or "N bytes", from its first `count` bytes and its `total` length.
std::string DescribeTrailing(const unsigned char* bytes, std::size_t count, std::int64_t total);

}  // namespace pendrax_host
