#include "FuzzSupport.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "FlangerKernel.h"
#include "Utf.h"

namespace pendrax_fuzz {
namespace {

constexpr std::size_t kHeaderBytes = 44;
constexpr std::size_t kBlockSamples = 1024;

std::string stdoutPath;

void RemoveScratch() {
    // Only this process's files are in it; its names are ours and plain.
    const std::string command = "rm -rf '" + ScratchDirectory() + "'";
    (void)std::system(command.c_str());
}

}  // namespace

void Fail(const char* what) {
    std::fprintf(stderr, "FINDING: %s\n", what);
    std::abort();
}

const std::string& ScratchDirectory() {
    // Never destroyed: the exit handler that removes the directory needs it.
    static const std::string& path = *new std::string([] {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/pendrax-fuzz-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            Fail("cannot create a scratch directory");
        }
        for (const char c : pattern) {
            if (static_cast<unsigned char>(c) >= 0x80 || c == '\'') {
                Fail("TMPDIR must be a plain ASCII path");
            }
        }
        if (std::atexit(RemoveScratch) != 0) {
            Fail("cannot register the scratch directory's removal");
        }
        return pattern;
    }());
    return path;
}

WideString Widen(const std::string& utf8) {
    WideString wide;
    if (!pendrax::text::Utf8ToWide(utf8, wide)) {
        Fail("a path is not UTF-8");
    }
    return wide;
}

Bytes ReadFile(const std::string& path) {
    Bytes bytes;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        Fail("cannot read back a file");
    }
    unsigned char chunk[8192];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    (void)std::fclose(file);
    return bytes;
}

void WriteFile(const std::string& path, const unsigned char* data, std::size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr || (size > 0 && std::fwrite(data, 1, size, file) != size) ||
        std::fclose(file) != 0) {
        Fail("cannot write an input file");
    }
}

void CaptureStdout() {
    stdoutPath = ScratchDirectory() + "/stdout";
    if (std::freopen(stdoutPath.c_str(), "w+", stdout) == nullptr) {
        Fail("cannot capture standard output");
    }
}

void ClearStdout() {
    if (std::fflush(stdout) != 0) {
        Fail("cannot flush the captured output");
    }
    if (::ftruncate(::fileno(stdout), 0) != 0) {
        Fail("cannot clear the captured output");
    }
    if (std::fseek(stdout, 0, SEEK_SET) != 0) {
        Fail("cannot rewind the captured output");
    }
}

std::string CapturedStdout() {
    if (std::fflush(stdout) != 0) {
        Fail("cannot flush the captured output");
    }
    const Bytes bytes = ReadFile(stdoutPath);
    return std::string(bytes.begin(), bytes.end());
}

Bytes ExpectedFlangerOutput(const unsigned char* data, std::size_t size) {
    Bytes expected(kHeaderBytes, 0);
    std::copy_n(data, std::min(size, kHeaderBytes), expected.begin());
    std::vector<std::int16_t> samples;
    for (std::size_t k = kHeaderBytes; k + 1 < size; k += 2) {
        samples.push_back(static_cast<std::int16_t>(data[k] | (data[k + 1] << 8)));
    }
    for (std::size_t start = 0; start < samples.size(); start += kBlockSamples) {
        const auto count =
            static_cast<std::int32_t>(std::min(kBlockSamples, samples.size() - start));
        pendrax::ApplyFlangerReference(samples.data() + start, count, pendrax::kFlangerRate,
                                       pendrax::kFlangerDepth, pendrax::kFlangerMaxDelaySeconds,
                                       static_cast<std::int32_t>(start));
    }
    for (const std::int16_t sample : samples) {
        const auto bits = static_cast<std::uint16_t>(sample);
        expected.push_back(static_cast<unsigned char>(bits & 0xFF));
        expected.push_back(static_cast<unsigned char>(bits >> 8));
    }
    return expected;
}

}  // namespace pendrax_fuzz
