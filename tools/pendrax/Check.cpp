#include "Check.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "Os.h"
#include "Quote.h"
#include "WavHeader.h"

namespace pendrax_host {
namespace wav = pendrax::wav;
namespace {

// A name that starts with '-' would be read as an option.
std::string NotAnOption(const std::string& name, Shell shell) {
    if (name.empty() || name[0] != '-') {
        return name;
    }
    return (shell == Shell::Cmd ? ".\\" : "./") + name;
}

std::string ConvertedName(const Arg& input, bool stream) {
    // A stream, or a name for one (/dev/stdin, /proc/self/fd/0), has no
    // folder to put a converted file beside.
    if (stream || IsStream(input) || input.text.rfind("/dev/", 0) == 0 ||
        input.text.rfind("/proc/", 0) == 0) {
        return "converted.wav";
    }
    const std::string& name = input.text;
    const std::size_t slash = name.find_last_of("/\\");
    const std::size_t dot = name.rfind('.');
    const bool hasExtension =
        dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return (hasExtension ? name.substr(0, dot) : name) + "-8000.wav";
}

// The formats sox reads inside a WAV file.
bool SoxReadsTag(unsigned tag) {
    return tag == wav::kPcmFormat || tag == 2 || tag == 3 || tag == 6 || tag == 7 || tag == 0x11 ||
           tag == 0x31;
}

// sox's name for a file type it reads, from the magic; "" when it reads none.
std::string OtherSoxType(const unsigned char* bytes, std::size_t count) {
    if (count >= 12 && std::memcmp(bytes, "FORM", 4) == 0 &&
        (std::memcmp(bytes + 8, "AIFF", 4) == 0 || std::memcmp(bytes + 8, "AIFC", 4) == 0)) {
        return "aiff";
    }
    if (count >= 4 && std::memcmp(bytes, "fLaC", 4) == 0) {
        return "flac";
    }
    if (count >= 4 && std::memcmp(bytes, ".snd", 4) == 0) {
        return "au";
    }
    return std::string();
}

std::string ChunkText(const wav::Chunk& chunk) {
    std::string id(chunk.id, sizeof chunk.id);
    const auto unprintable = [](char c) { return c < 0x20 || c >= 0x7F; };
    std::replace_if(id.begin(), id.end(), unprintable, '?');
    return "'" + id + "' (" + std::to_string(chunk.size) + " bytes)";
}

std::string TrailerText(const unsigned char* bytes, std::size_t count, std::uint64_t total) {
    const wav::Trailer trailer = wav::WalkTrailer(bytes, count);
    switch (trailer.kind) {
        case wav::Trailer::Kind::kId3Tag: return "an ID3 tag";
        case wav::Trailer::Kind::kChunk: return "chunk " + ChunkText(trailer.chunk);
        case wav::Trailer::Kind::kBytes: break;
    }
    return std::to_string(total) + " bytes";
}

// What the walk found, and why the flanger would misread it ("" after the
// colon when it would not).
std::string Found(const wav::HeaderWalk& walk) {
    const wav::Format& format = walk.format;
    std::string found = walk.hasFormat ? FormatName(format.tag, format.bitsPerSample) + ", " +
                                             std::to_string(format.channels) + " channel" +
                                             (format.channels == 1 ? "" : "s") + ", " +
                                             std::to_string(format.sampleRate) + " Hz"
                                       : std::string("a WAV file of unknown format");
    std::string problems;
    const auto add = [&problems](const std::string& problem) {
        problems += (problems.empty() ? "" : "; ") + problem;
    };
    if ((walk.problems & wav::kNotPcm16) != 0) {
        add("the flanger reads 16-bit PCM");
    }
    if ((walk.problems & wav::kNotMono) != 0) {
        add("the flanger reads one channel");
    }
    if (!walk.hasFormat && walk.beforeCount == 0) {
        add("no format chunk");
    }
    const std::string at44 = std::to_string(wav::kWavHeaderBytes);
    if (walk.beforeCount > 0) {
        std::string chunks;
        for (std::size_t k = 0; k < walk.beforeCount && k < wav::HeaderWalk::kKeptChunks; ++k) {
            chunks += (k == 0 ? "" : ", ") + ChunkText(walk.before[k]);
        }
        add(std::string(walk.beforeCount == 1 ? "chunk " : "chunks ") + chunks +
            " before the data, where the flanger takes samples from byte " + at44);
    } else if (walk.hasFormat && format.chunkBytes != wav::kCanonicalFormatBytes) {
        add(WithArticle(format.chunkBytes) + "-byte format chunk moves the samples past byte " +
            at44);
    } else if ((walk.problems & wav::kSamplesNotAt44) != 0) {
        add("no data chunk at byte " + std::to_string(wav::kDataChunkAt));
    }
    return problems.empty() ? found : found + ": " + problems;
}

int Refuse(const Arg& input, bool stream, const std::string& found, const std::string& soxType) {
    Say("pendrax: refusing %s: %s\n", InputName(input).c_str(), found.c_str());
    if (!soxType.empty()) {
        Say("pendrax: convert it first: %s\n",
            SoxCommand(input, stream, soxType, kHostShell).c_str());
    }
    Say("pendrax: or flange it as it is with --force: the flanger then copies its first %u "
        "bytes and takes every byte after them for 16-bit mono samples\n",
        static_cast<unsigned>(wav::kWavHeaderBytes));
    return kExitInputRefused;
}

// What the sizes say against the length, for the warning.
std::string SizeProblem(const CheckedInput& in, std::uint64_t length) {
    const std::string held = std::to_string(in.sizes.held);
    char hex[16];
    (void)std::snprintf(hex, sizeof hex, "0x%08" PRIX32, in.walk.dataSize);
    switch (in.sizes.state) {
        case wav::SizeState::kZero:
            return length == wav::kUnknownLength
                       ? "a data size of 0"
                       : "a data size of 0 where the file holds " + held + " bytes";
        case wav::SizeState::kPlaceholder:
            return "a stream's placeholder size (" + std::string(hex) + ") in a file of " + held +
                   " bytes of samples";
        case wav::SizeState::kCutShort:
            return "its header gives " + std::to_string(in.walk.dataSize) +
                   " bytes of samples, but the file holds " + held + ": it is cut short";
        case wav::SizeState::kRiffSizeDiffers:
            return "a RIFF size of " + std::to_string(in.walk.riffSize) + " where the file holds " +
                   std::to_string(length - wav::kChunkHeaderBytes) + " bytes after it";
        default: return std::string();
    }
}

}  // namespace

void MendSizes(unsigned char* header, std::uint64_t dataBytes) {
    unsigned char mended[wav::kWavHeaderBytes];
    std::memcpy(mended, header, sizeof mended);
    wav::SetSizes(mended, dataBytes);
    std::memcpy(header, mended, sizeof mended);
}

std::string ForShell(const std::string& text, Shell shell) {
    const char* plain = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_./:+,@\\";
    if (!text.empty() && text.find_first_not_of(plain) == std::string::npos &&
        (shell == Shell::Cmd || text.find('\\') == std::string::npos)) {
        return text;
    }
    if (shell == Shell::Cmd) {
        // cmd.exe takes everything between double quotes as one word, its
        // specials included; a Windows name never holds a double quote.
        return "\"" + text + "\"";
    }
    return QuoteName(text);
}

std::string SoxCommand(const Arg& input, bool stream, const std::string& soxType, Shell shell) {
    std::string source;
    if (IsStream(input)) {
        source = "-t " + soxType + " -";
    } else {
        source = (stream ? "-t " + soxType + " " : std::string()) +
                 ForShell(NotAnOption(input.text, shell), shell);
    }
    return "sox " + source + " -r " + std::to_string(wav::kSampleRate) +
           " -c 1 -b 16 -e signed-integer " +
           ForShell(NotAnOption(ConvertedName(input, stream), shell), shell);
}

std::string FormatName(unsigned tag, unsigned bits) {
    // Sample formats carry their width; coded ones are named alone.
    const std::string width = std::to_string(bits) + "-bit ";
    switch (tag) {
        case wav::kPcmFormat: return width + "PCM";
        case 3: return width + "floating-point";
        case 6: return width + "A-law";
        case 7: return width + "u-law";
        case 2: return "Microsoft ADPCM";
        case 0x11: return "IMA ADPCM";
        case 0x31: return "GSM 6.10";
        case 0x40: return "G.721 ADPCM";
        case 0x50: return "MPEG audio";
        case 0x55: return "MP3";
        case wav::kExtensibleFormat: return "extensible format";
        default: return "format " + std::to_string(tag);
    }
}

std::string WithArticle(std::size_t number) {
    // "an" where the number is said with a vowel first: 8, 11, 18, 80-89,
    // 800-899, 11000, 18000, ...
    const std::string digits = std::to_string(number);
    const bool eleven =
        digits.size() % 3 == 2 && (digits.rfind("11", 0) == 0 || digits.rfind("18", 0) == 0);
    return (digits[0] == '8' || eleven ? "an " : "a ") + digits;
}

int CheckInput(const Arg& input, bool stream, unsigned char* head, std::size_t count,
               std::uint64_t length, const unsigned char* trailer, std::size_t trailerCount,
               CheckedInput& in) {
    in.walk = wav::WalkHeader(head, count);
    if (!in.walk.riffWave) {
        return Refuse(input, stream, "not a RIFF/WAVE file", OtherSoxType(head, count));
    }
    // sox needs the data chunk, which a file shorter than the view lacks.
    const bool soxReads = in.walk.hasFormat && SoxReadsTag(in.walk.format.tag) &&
                          (in.walk.hasData || count >= wav::kWalkBytes);
    const std::string soxType = soxReads ? "wav" : "";
    if (!in.walk.Flangeable()) {
        return Refuse(input, stream, Found(in.walk), soxType);
    }
    in.sizes = wav::CheckSizes(in.walk, length);
    if (in.sizes.state == wav::SizeState::kTrailing) {
        return Refuse(input, false,
                      Found(in.walk) + ": " +
                          TrailerText(trailer, trailerCount, length - in.sizes.trailingAt) +
                          " after the data, which the flanger would take for samples",
                      "wav");
    }
    if (in.walk.format.sampleRate != wav::kSampleRate) {
        Say("pendrax: warning: %s is at %" PRIu32 " Hz; the flanger's sweep assumes %" PRIu32
            " Hz, so it runs %.2f times as fast\n"
            "pendrax: to flange it at %" PRIu32 " Hz, convert it first: %s\n",
            InputName(input).c_str(), in.walk.format.sampleRate, wav::kSampleRate,
            static_cast<double>(in.walk.format.sampleRate) / wav::kSampleRate, wav::kSampleRate,
            SoxCommand(input, stream, "wav", kHostShell).c_str());
    }
    const std::string problem = SizeProblem(in, length);
    if (!problem.empty()) {
        Say("pendrax: warning: %s: %s; the output's header is mended\n", InputName(input).c_str(),
            problem.c_str());
        in.mended = true;
    }
    if (stream) {
        // A stream's samples end where its header says; readers take a
        // zero size as empty, so it goes out as a stream's own.
        if (in.sizes.realSize) {
            in.limit = wav::kWavHeaderBytes + std::uint64_t{in.walk.dataSize};
            // The flanger keeps whole samples: an odd last byte is not output.
            if ((in.walk.dataSize & 1U) != 0) {
                MendSizes(head, in.walk.dataSize & ~std::uint64_t{1});
            }
        }
        if (in.walk.dataSize == 0) {
            wav::SetStreamedSizes(head);
        }
    } else if (in.mended || (in.sizes.held & 1U) != 0) {
        MendSizes(head, in.sizes.held & ~std::uint64_t{1});
    }
    return kExitSuccess;
}

void WarnStreamEnd(const Arg& input, const CheckedInput& in, std::uint64_t passed,
                   std::uint64_t leftOut, const unsigned char* after, std::size_t afterCount) {
    if (in.limit != ~std::uint64_t{0} && passed < in.limit) {
        Say("pendrax: warning: %s: its header gives %" PRIu32
            " bytes of samples, but it held "
            "only %llu: it was cut short\n",
            InputName(input).c_str(), in.walk.dataSize,
            static_cast<unsigned long long>(
                passed > wav::kWavHeaderBytes ? passed - wav::kWavHeaderBytes : 0));
    }
    if (leftOut > 0) {
        Say("pendrax: warning: %s: %s after the data was left out\n", InputName(input).c_str(),
            TrailerText(after, afterCount, leftOut).c_str());
    }
}

}  // namespace pendrax_host
