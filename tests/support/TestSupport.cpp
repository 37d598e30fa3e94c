#include "TestSupport.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <gtest/gtest.h>

#include "Utf.h"

namespace pendrax_test {

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/pendrax-test-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = pattern;
}

TempDir::~TempDir() {
    const std::string command =
        "chmod -R u+rwx '" + path_ + "' 2>/dev/null; rm -rf '" + path_ + "'";
    (void)std::system(command.c_str());
}

WideString Wide(const std::string& utf8) {
    WideString wide;
    if (!pendrax::text::Utf8ToWide(utf8, wide)) {
        ADD_FAILURE() << "a test's text is not UTF-8";
    }
    return wide;
}

Bytes ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

bool Exists(const std::string& path) {
    struct stat info = {};
    return ::lstat(path.c_str(), &info) == 0;
}

namespace {
void Put32(Bytes& bytes, std::uint32_t value) {
    for (int k = 0; k < 4; ++k) {
        bytes.push_back(static_cast<unsigned char>(value >> (8 * k)));
    }
}
void Put16(Bytes& bytes, std::uint16_t value) {
    bytes.push_back(static_cast<unsigned char>(value));
    bytes.push_back(static_cast<unsigned char>(value >> 8));
}
// Byte by byte: GCC 12's Release build misreads a range insert into an
// empty vector as an overflow (-Wstringop-overflow).
void PutTag(Bytes& bytes, const char* tag) {
    for (int k = 0; k < 4; ++k) {
        bytes.push_back(static_cast<unsigned char>(tag[k]));
    }
}
}  // namespace

Bytes CanonicalHeader(std::uint32_t dataBytes) {
    Bytes header;
    header.reserve(PENDRAX_WAV_HEADER_BYTES);
    PutTag(header, "RIFF");
    Put32(header, dataBytes + 36);
    PutTag(header, "WAVE");
    PutTag(header, "fmt ");
    Put32(header, 16);
    Put16(header, 1);
    Put16(header, 1);
    Put32(header, PENDRAX_SAMPLE_RATE);
    Put32(header, PENDRAX_BLOCK_BYTES);
    Put16(header, 2);
    Put16(header, 16);
    PutTag(header, "data");
    Put32(header, dataBytes);
    return header;
}

void AppendSamples(Bytes& bytes, const std::vector<std::int16_t>& samples) {
    for (const std::int16_t sample : samples) {
        Put16(bytes, static_cast<std::uint16_t>(sample));
    }
}

Bytes MakeWav(const std::vector<std::int16_t>& samples) {
    Bytes bytes = CanonicalHeader(static_cast<std::uint32_t>(samples.size() * 2));
    AppendSamples(bytes, samples);
    return bytes;
}

std::vector<std::int16_t> RandomSamples(std::size_t count, std::uint32_t seed) {
    std::vector<std::int16_t> samples(count);
    std::uint32_t state = seed * 2654435761u + 1;
    for (auto& sample : samples) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        sample = static_cast<std::int16_t>(state & 0xFFFF);
    }
    return samples;
}

std::string CaptureStdout(const std::function<void()>& body) {
    (void)std::fflush(stdout);
    std::FILE* sink = std::tmpfile();
    const int saved = ::dup(1);
    ::dup2(::fileno(sink), 1);
    body();
    (void)std::fflush(stdout);
    ::dup2(saved, 1);
    ::close(saved);
    std::string text;
    // fseek, unlike rewind, says whether the stream went back to its start.
    if (std::fseek(sink, 0, SEEK_SET) != 0) {
        (void)std::fclose(sink);
        throw std::runtime_error("cannot read the captured output back");
    }
    for (int c = std::fgetc(sink); c != EOF; c = std::fgetc(sink)) {
        text.push_back(static_cast<char>(c));
    }
    (void)std::fclose(sink);
    return text;
}

int WithFileSizeLimit(std::size_t limit, const std::function<int()>& body) {
    const pid_t child = ::fork();
    if (child == 0) {
        (void)std::signal(SIGXFSZ, SIG_IGN);
        const rlimit size{limit, limit};
        (void)::setrlimit(RLIMIT_FSIZE, &size);
        ::_exit(body());
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

int RunCommand(const std::string& command, std::string* output) {
    std::FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) {
        return -1;
    }
    std::string text;
    char chunk[4096];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) {
        text.append(chunk, got);
    }
    const int status = ::pclose(pipe);
    if (output != nullptr) {
        *output = text;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace pendrax_test
