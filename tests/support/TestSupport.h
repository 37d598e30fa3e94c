// Helpers shared by the test suites.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "PendraxWAVFlanger.h"

namespace pendrax_test {

using Bytes = std::vector<unsigned char>;
using WideString = std::basic_string<PendraxWideChar>;

// A fresh directory, removed with its contents when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// UTF-8 to the module's wide form (the test's own texts are valid UTF-8).
WideString Wide(const std::string& utf8);

Bytes ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const Bytes& bytes);
bool Exists(const std::string& path);

// A canonical 44-byte header for mono 16-bit PCM at 8000 Hz and dataBytes of data.
Bytes CanonicalHeader(std::uint32_t dataBytes);
// A canonical WAV holding the given samples.
Bytes MakeWav(const std::vector<std::int16_t>& samples);
// Deterministic pseudo-random samples over the whole 16-bit range.
std::vector<std::int16_t> RandomSamples(std::size_t count, std::uint32_t seed);
// Little-endian sample bytes.
void AppendSamples(Bytes& bytes, const std::vector<std::int16_t>& samples);

// Runs `body` with standard output sent to a file and returns what it printed.
std::string CaptureStdout(const std::function<void()>& body);

// Runs `body` in a forked child whose files may grow to `limit` bytes, a
// write past it failing (EFBIG) instead of raising SIGXFSZ. Returns the
// child's exit status, body's result, or -1 when it did not exit.
int WithFileSizeLimit(std::size_t limit, const std::function<int()>& body);

// Runs a shell command; returns its exit status and, if asked, its output.
int RunCommand(const std::string& command, std::string* output = nullptr);

}  // namespace pendrax_test
